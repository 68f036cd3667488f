#include "engine/transcoder/FFmpegPartFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// ".name.RANDOM.part" beside the output; a writer first creates ".name.RANDOM.new", locks it
// and only then renames it: a ".part" that nobody holds locked is stale for certain.
constexpr char kPartSuffix[] = ".part";
constexpr char kNewSuffix[] = ".new";
constexpr int kAbandonedNewSeconds = 60;

QString SystemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray NameOf(const QByteArray& path) {
    return path.mid(path.lastIndexOf('/') + 1);
}

// Removes what earlier writers of `final` left: unlocked ".part" files, and ".new" files
// abandoned before they were locked.
void RemoveStaleTemporaries(const QByteArray& final) {
    const QByteArray folder = FolderOf(final);
    const QString prefix = QFile::decodeName("." + NameOf(final) + ".");
    const QDir dir(QFile::decodeName(folder));
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (!name.startsWith(prefix))
            continue;
        const QByteArray path = folder + '/' + QFile::encodeName(name);
        if (name.endsWith(QLatin1String(kPartSuffix))) {
            const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
            if (fd < 0)
                continue;
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
                ::unlink(path.constData());
            ::close(fd);
        } else if (name.endsWith(QLatin1String(kNewSuffix))) {
            struct stat info {};
            if (::lstat(path.constData(), &info) == 0 &&
                ::time(nullptr) - info.st_mtime > kAbandonedNewSeconds)
                ::unlink(path.constData());
        }
    }
}

// Makes a rename or link durable: the folder's entry is written too.
void SyncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Gives `from` the name `to` unless `to` exists; errno EEXIST when it does.
int RenameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
    // A file system without that rename: a hard link fails just as atomically when the name
    // exists; where there are no links either, the best left is a check before the rename.
    if (::link(from.constData(), to.constData()) == 0) {
        ::unlink(from.constData());
        return 0;
    }
    if (errno == EEXIST)
        return -1;
    struct stat info {};
    if (::lstat(to.constData(), &info) == 0) {
        errno = EEXIST;
        return -1;
    }
    return ::rename(from.constData(), to.constData());
}

} // namespace

TPartFile::~TPartFile() {
    Discard();
}

std::optional<QString> TPartFile::CheckTarget(const QString& finalName) {
    const QByteArray final = QFile::encodeName(finalName);
    struct stat info {};
    if (::stat(final.constData(), &info) == 0 && !S_ISREG(info.st_mode))
        return QStringLiteral("%1: Not a regular file").arg(finalName);
    const QByteArray folder = FolderOf(final);
    if (::stat(folder.constData(), &info) != 0)
        return QStringLiteral("%1: %2").arg(finalName, SystemText(errno));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1: %2").arg(finalName, SystemText(ENOTDIR));
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return QStringLiteral("%1: %2").arg(finalName, SystemText(errno));
    return std::nullopt;
}

bool TPartFile::Create(const QString& finalName, QString* error) {
    Discard();
    FFinalName = finalName;
    FFinal = QFile::encodeName(finalName);
    RemoveStaleTemporaries(FFinal);
    const QByteArray folder = FolderOf(FFinal);
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray stem = folder + "/." + NameOf(FFinal) + '.' +
                                QByteArray::number(QRandomGenerator::global()->generate(), 36);
        const QByteArray fresh = stem + kNewSuffix;
        const int fd =
            ::open(fresh.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            *error = QStringLiteral("%1: %2").arg(finalName, SystemText(errno));
            return false;
        }
        const QByteArray part = stem + kPartSuffix;
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || RenameWithoutReplacing(fresh, part) != 0) {
            const int code = errno;
            ::unlink(fresh.constData());
            ::close(fd);
            if (code == EEXIST)
                continue;
            *error = QStringLiteral("%1: %2").arg(finalName, SystemText(code));
            return false;
        }
        FLock = fd;
        FTemporary = part;
        return true;
    }
    *error = QStringLiteral("%1: %2").arg(finalName, SystemText(EEXIST));
    return false;
}

bool TPartFile::Publish(bool overwrite, QString* error) {
    if (!Created()) {
        *error = QStringLiteral("%1: nothing was written").arg(FFinalName);
        return false;
    }
    if (::fsync(FLock) != 0) {
        *error = QStringLiteral("%1: %2").arg(FFinalName, SystemText(errno));
        return false;
    }
    const int result = overwrite ? ::rename(FTemporary.constData(), FFinal.constData())
                                 : RenameWithoutReplacing(FTemporary, FFinal);
    if (result != 0) {
        *error = errno == EEXIST ? QStringLiteral("%1 exists").arg(FFinalName)
                                 : QStringLiteral("%1: %2").arg(FFinalName, SystemText(errno));
        return false;
    }
    SyncFolder(FolderOf(FFinal));
    ::close(FLock);
    FLock = -1;
    FTemporary.clear();
    return true;
}

void TPartFile::Discard() {
    if (!Created())
        return;
    ::unlink(FTemporary.constData());
    ::close(FLock);
    FLock = -1;
    FTemporary.clear();
}
