#include "shell/WorkFolders.h"
#include "shell/AppSettings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

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
