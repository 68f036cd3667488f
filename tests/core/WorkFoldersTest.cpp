#include "core/WorkFolders.h"
#include "core/AppSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <functional>

#include <unistd.h>

TEST(WorkFolders, MakeTempFileNameGivesFreshUpperCaseHexNames) {
    QTemporaryDir dir;
    const QRegularExpression pattern(
        QStringLiteral("^%1/~Tmp[0-9A-F]+\\.png$").arg(QRegularExpression::escape(dir.path())));
    QSet<QString> seen;
    for (int i = 0; i < 50; ++i) {
        const QString name = MakeTempFileName(dir.path(), QStringLiteral("png"));
        EXPECT_TRUE(pattern.match(name).hasMatch()) << name.toStdString();
        EXPECT_FALSE(QFileInfo::exists(name));
        EXPECT_FALSE(seen.contains(name));
        seen.insert(name);
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)); // taken: the next call must avoid it
    }
}

TEST(WorkFolders, ScaledWatermarkFolderLivesForOneRun) {
    QTemporaryDir temp;
    SetTempPath(temp.path());
    const QString work = temp.path() + "/{B7AE1E92-DF16-425A-A984-453ECE6A6338}/";
    EXPECT_EQ(WorkFolder(), work);
    EXPECT_EQ(ScaledWatermarkFolder(), work + "5EE42FCD6CBC44CB27DE/");

    ASSERT_TRUE(EnsureScaledWatermarkFolder());
    ASSERT_TRUE(EnsureScaledWatermarkFolder()) << "a second call finds it in place";
    EXPECT_EQ(QFileInfo(ScaledWatermarkFolder()).permissions() & 0x0077, 0)
        << "only the user can look inside";
    for (int i = 0; i < 3; ++i) {
        QFile file(MakeTempFileName(ScaledWatermarkFolder(), QStringLiteral("png")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    RemoveScaledWatermarkFolder();
    EXPECT_FALSE(QFileInfo::exists(ScaledWatermarkFolder()));
    EXPECT_TRUE(QFileInfo(work).isDir()) << "the working folder itself stays";
    RemoveScaledWatermarkFolder(); // nothing left to remove: no harm
    ReleaseSettings();
}

TEST(WorkFolders, TheTemporaryFolderIsPrivateToTheUser) {
    QTemporaryDir system;
    const QByteArray savedTmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", system.path().toUtf8());
    const QString named = system.filePath(QStringLiteral("reelcaster-%1").arg(::getuid())) + '/';
    const auto ownerOnly = [](const QString& folder) {
        const QFileInfo info(folder);
        return info.isDir() && !info.isSymLink() && (info.permissions() & 0x0077) == 0;
    };

    EXPECT_EQ(QueryTempPath(), named);
    EXPECT_TRUE(ownerOnly(named));
    EXPECT_EQ(QueryTempPath(), named) << "found again in place";

    // Names that cannot be trusted are not used: another folder of the user's own instead.
    QTemporaryDir elsewhere;
    const struct {
        const char* What;
        std::function<bool()> Plant;
    } untrusted[] = {
        {"others may enter it",
         [&] { return QFile::setPermissions(named, QFileDevice::Permissions(0x7777)); }},
        {"a link to another folder",
         [&] {
             return QDir(named).removeRecursively() &&
                    QFile::link(elsewhere.path(), named.chopped(1));
         }},
        {"a file",
         [&] {
             QFile::remove(named.chopped(1));
             QFile file(named.chopped(1));
             return file.open(QIODevice::WriteOnly);
         }},
    };
    for (const auto& planted : untrusted) {
        SCOPED_TRACE(planted.What);
        ASSERT_TRUE(planted.Plant());
        const QString chosen = QueryTempPath();
        EXPECT_NE(chosen, named);
        EXPECT_TRUE(chosen.startsWith(system.path() + '/'));
        EXPECT_TRUE(ownerOnly(chosen));
    }
    qputenv("TMPDIR", savedTmpdir);
    if (savedTmpdir.isEmpty())
        qunsetenv("TMPDIR");
}
