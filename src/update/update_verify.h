#pragma once
// Whether a downloaded archive may be installed: size, SHA-256, expansion,
// the developer seal, the release attestation and the version, in that
// order; the first that fails names the error.

#include "update/app_version.h"
#include "update/release_feed.h"
#include "update/seal.h"
#include "update/update_error.h"

#include <QString>

#include <optional>

namespace UpdateVerify {

struct Outcome {
    std::optional<UpdateError> error;
    QString bundle;  // work/expanded/Tavrin.app when error is empty
    bool noSpace = false;  // extractFailed: the work directory's file system is full
};

Outcome verify(const QString& zip, const QString& work, const Release& release, const Release::Download& download,
               const AppVersion& current, const Seal::Keys& keys, const QString& arch = Seal::architecture());

} // namespace UpdateVerify
