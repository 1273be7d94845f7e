#pragma once
// The user-defaults layer: an INI store under ~/.config/Tavrin plus an
// argument domain. "-key value" on the command line overrides the stored
// value of that key for one run and is never written back.

#include <QByteArray>
#include <QHash>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class Defaults {
public:
    // The process-wide defaults: ~/.config/Tavrin/Tavrin.conf and the
    // arguments given to setArguments() (main passes the command line).
    static Defaults& standard();

    // Points the standard defaults at another file and clears the argument
    // domain; tests use it with a temporary path.
    static void useFile(const QString& path);
    static void setArguments(const QStringList& arguments);

    // "-key value" pairs of a command line (the program name excluded).
    static QHash<QString, QString> parseArguments(const QStringList& arguments);

    explicit Defaults(const QString& path);

    bool contains(const QString& key) const;
    bool isArgument(const QString& key) const;

    bool boolValue(const QString& key, bool fallback = false) const;
    qint64 intValue(const QString& key, qint64 fallback = 0) const;
    double doubleValue(const QString& key, double fallback = 0) const;
    QString stringValue(const QString& key, const QString& fallback = {}) const;
    std::optional<QByteArray> data(const QString& key) const;

    // Each write reports whether the change reached the file. One that did
    // not stays in effect for this run and is tried again with the next.
    bool set(const QString& key, const QVariant& value);
    bool remove(const QString& key);
    void sync();

    // Another running copy of the program may write the same file. The
    // value under `key` as the file holds it now, which may differ from the
    // one this copy read: nothing when the key is absent there, or the file
    // cannot be read.
    std::optional<QByteArray> storedData(const QString& key);
    // Writes `key` from what the file holds now, so that a value built from
    // another copy's changes never undoes them: under a lock every copy
    // takes for this, `change` is given storedData(key) and returns the
    // value to write (nothing writes nothing, and counts as a failed
    // write). True when the value reached the file.
    using Change = std::function<std::optional<QVariant>(const std::optional<QByteArray>& stored)>;
    bool update(const QString& key, const Change& change);
    // The file the copies take that lock on, beside the settings.
    QString lockPath() const;

    // Why the last write did not reach the file; none after one that did.
    // notKept: the file could not be read and no copy of it could be made
    // beside it, so nothing is written over it.
    enum class Failure { none, notWritable, diskFull, notKept };
    Failure lastFailure() const;

    // A value under `key` was found but could not be understood. The file
    // is copied as it stands beside it before anything is written over it;
    // until that copy is made, writes wait in memory.
    void keepUnread(const QString& key);

    // The file, or a value keepUnread() named, could not be read this run,
    // so what it held is not in use.
    bool unreadable() const;
    // Sets such a file aside now rather than before the first write; true
    // once it is kept, or when there is nothing to keep.
    bool keepAside();
    // Where it is kept this run, once it is.
    QString keptAs() const;

    QString fileName() const;
    // The first name tried for a settings file that cannot be read, or that
    // holds a value that cannot be; when it is taken, "-2", "-3" and on
    // follow it, and no earlier copy is ever replaced.
    QString unreadablePath() const;
    // The largest settings file read; a larger one counts as unreadable.
    static constexpr uint64_t maxBytes = 8 << 20;

    // Text conversions shared by the argument domain and the INI store.
    static std::optional<bool> parseBool(const QString& text);
    static std::optional<qint64> parseInt(const QString& text);
    static std::optional<double> parseDouble(const QString& text);
    // Whether a settings file's bytes are UTF-8 throughout.
    static bool isUtf8(const QByteArray& bytes);

private:
    std::optional<QVariant> lookup(const QString& key) const;
    // Before the first write over a file that did not parse, or that holds
    // a value that did not: moves or copies it aside and opens the store.
    // False while that cannot be done.
    bool writable();
    // Writes `pending_` to the file; true when every change landed.
    bool commit();
    Failure diagnose() const;
    // Reads the file's bytes again and, when they differ from the last
    // seen, the values in them. False when there is nothing to read.
    bool refreshSeen();
    std::optional<QByteArray> readBack(const QString& key);
    Failure asideFailure() const;

    enum class Aside { none, move, copy };

    mutable std::mutex lock_;
    QString path_;
    Aside aside_ = Aside::none;
    QString unreadKey_;
    QString keptAs_;
    int asideError_ = 0;
    // Absent while an unreadable file still sits at the path: QSettings
    // would block on a FIFO, and its first sync would replace the file.
    std::unique_ptr<QSettings> store_;
    // The store's status stays at its first error; after one a fresh store
    // tells whether the next write landed.
    bool storeFailed_ = false;
    // Changes not yet in the file (an invalid value removes the key): they
    // are read from here and written again with the next change.
    QHash<QString, QVariant> pending_;
    Failure failure_ = Failure::none;
    QHash<QString, QString> arguments_;
    // The file as this copy last read it for storedData(): QSettings tells
    // a changed file by its size and time alone, which two writes in one
    // clock tick can share, so the bytes themselves are compared.
    std::optional<std::string> seenBytes_;
    QHash<QString, QVariant> seenValues_;
};
