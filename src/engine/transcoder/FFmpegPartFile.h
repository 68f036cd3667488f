#pragma once

// An output written under a hidden temporary name in its own folder and published under its
// final name only once it is complete, so that no half-written file ever carries a finished
// name and an earlier file of that name survives a failed or stopped run.
//
// The temporary is created exclusively (no two writers share one) and stays locked while its
// writer lives; one that a killed run left behind is unlocked, and the next writer of the same
// output removes it. Owned by the job's thread; not copyable.

#include <QByteArray>
#include <QString>

#include <optional>

class TPartFile {
public:
    TPartFile() = default;
    ~TPartFile(); // discards an unpublished temporary
    TPartFile(const TPartFile&) = delete;
    TPartFile& operator=(const TPartFile&) = delete;

    // Why `finalName` cannot be written to, if so: its folder is missing or not writable, or
    // what already has the name is not a regular file. Touches nothing.
    static std::optional<QString> CheckTarget(const QString& finalName);

    // Removes stale temporaries of `finalName`, then creates and locks a fresh one. False with
    // the reason in `error`.
    bool Create(const QString& finalName, QString* error);
    bool Created() const { return FLock >= 0; }
    // The temporary's name, for the muxer to open.
    const QByteArray& TemporaryName() const { return FTemporary; }

    // Flushes the temporary to disk and gives it the final name. Without `overwrite`, a file
    // that has the final name by now is kept and this fails with "… exists".
    bool Publish(bool overwrite, QString* error);
    // Removes the temporary; nothing of the final name changes.
    void Discard();

private:
    QString FFinalName;
    QByteArray FFinal;
    QByteArray FTemporary;
    int FLock = -1; // the temporary, opened and locked while this writer lives
};
