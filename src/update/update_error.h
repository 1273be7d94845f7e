#pragma once
// Why an update step stopped. Each case has one message in each language;
// only the message ever reaches the user.

#include <QString>

enum class UpdateError {
    feedUnreachable,
    feedInvalid,
    downloadURLNotAllowed,
    downloadFailed,
    sizeMismatch,
    checksumMismatch,
    extractFailed,
    signatureInvalid,
    notarizationFailed,
    versionMismatch,
    replaceFailed,
};

namespace UpdateErrors {

// The text in the interface language of the moment.
QString message(UpdateError error);
// The work folder's file system, or the user's quota on it, has no room
// for the archive or its expansion; `folder` is where it lies.
QString notEnoughSpace(const QString& folder);
// A local feed at `path` that is a pipe, a device or a folder.
QString feedNotAFile(const QString& path);
// The case's own name, for tools and logs of tests.
const char* name(UpdateError error);

} // namespace UpdateErrors
