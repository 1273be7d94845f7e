#pragma once
// The incident store: one JSON array of incidents, newest first, in one
// file that is replaced whole and atomically on every write.

#include "core/incident.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class IncidentStore {
public:
    // An empty path keeps the list in memory only.
    explicit IncidentStore(QString path);

    // $XDG_DATA_HOME (when absolute), else ~/.local/share, joined with
    // "Tavrin/incidents.json"; empty when there is no home folder.
    static QString defaultPath();

    // Far above what 400 incidents take; anything larger is not ours.
    static constexpr uint64_t maxBytes = 8 << 20;

    // The stored list in its stored order, incidents left open by an earlier
    // run closed at their own start. Empty when the file is missing or does
    // not decode, and when it is not a regular file or is larger than
    // maxBytes; such a file is set aside at once, or when that fails,
    // before the first write.
    std::vector<Incident> load();

    // Where load() set the file it could not read aside, so that the user
    // can be told; empty when it set nothing aside, or found it kept by an
    // earlier run already. Unchanged after load().
    const QString& keptAs() const { return keptAs_; }

    // Replaces the file with the list. On any failure the file stays as it
    // was and false comes back; the next write tries again.
    bool save(const std::vector<Incident>& incidents);

    const QString& path() const { return path_; }
    // The first name an unreadable store is kept under before it is
    // replaced; a taken name is never replaced, "-2", "-3" and on follow.
    QString unreadablePath() const { return path_ + QStringLiteral(".unreadable"); }

    // Strict: any record that does not decode rejects the whole list.
    static std::optional<std::vector<Incident>> decode(const QByteArray& data);
    // Compact JSON array.
    static QByteArray encode(const std::vector<Incident>& incidents);

private:
    bool setAsideUnreadable(QString* keptAs = nullptr);

    QString path_;
    QString keptAs_;
    enum class Aside { none, copy, move };
    // What the file found at load needs before it may be replaced: a file
    // that did not decode is copied aside; one that was refused unread (a
    // FIFO, a device, a link to one, a huge file) is moved, never read.
    Aside aside_ = Aside::none;
};
