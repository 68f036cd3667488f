#include "core/MrvLog.h"
#include "core/SysInfoUtils.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Physical lines without their CR LF.
QList<QByteArray> Lines(const QString& fileName) {
    QByteArray text = ReadAll(fileName);
    EXPECT_TRUE(text.isEmpty() || text.endsWith("\r\n"));
    QList<QByteArray> lines = text.split('\n');
    lines.removeLast();
    for (QByteArray& line : lines) {
        EXPECT_TRUE(line.endsWith('\r'));
        line.chop(1);
    }
    return lines;
}

const QRegularExpression kStamp(QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d)"));

} // namespace

TEST(ActivityLog, EntryFormats) {
    QTemporaryDir dir;
    const QString name = dir.filePath("log1.txt");
    TMrvLog log(name);
    EXPECT_TRUE(QFile::exists(name)) << "the constructor creates the file";
    log.WriteInfo("abc");
    log.WriteError("abc");
    log.WriteInfo("first\r\nsecond");
    log.WriteInfo(QString());
    log.WriteInfo(QStringLiteral("Grüße"));

    const QList<QByteArray> lines = Lines(name);
    ASSERT_EQ(lines.size(), 6);
    const struct {
        int Line;
        QByteArray AfterStamp;
    } cases[] = {{0, "    abc"},
                 {1, "  abc"},
                 {2, "    first"},
                 {4, "    "},
                 {5, QStringLiteral("    Grüße").toUtf8()}};
    for (const auto& c : cases) {
        const QString line = QString::fromUtf8(lines[c.Line]);
        EXPECT_TRUE(kStamp.match(line).hasMatch()) << line.toStdString();
        EXPECT_EQ(lines[c.Line].mid(19), c.AfterStamp) << c.Line;
    }
    EXPECT_EQ(lines[3], "second") << "the text after an embedded CR LF has no stamp";
}

TEST(ActivityLog, StampIsLocalTime) {
    QTemporaryDir dir;
    TMrvLog log(dir.filePath("log1.txt"));
    const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
    log.WriteInfo("x");
    const QDateTime after = QDateTime::currentDateTime().addSecs(1);
    const QDateTime stamp =
        QDateTime::fromString(QString::fromUtf8(Lines(dir.filePath("log1.txt")).first().left(19)),
                              QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    EXPECT_LE(before, stamp);
    EXPECT_GE(after, stamp);
}

TEST(ActivityLog, ElevenStartsKeepTenFilesAndTheOldestRunIsGone) {
    QTemporaryDir dir;
    for (int run = 1; run <= 11; ++run) {
        StartActivityLog(dir.path());
        ActivityLog().WriteInfo(QStringLiteral("run %1").arg(run));
    }
    ReleaseActivityLog();

    QStringList expected;
    for (int n = 1; n <= 10; ++n)
        expected << QStringLiteral("log%1.txt").arg(n);
    QStringList actual = QDir(dir.filePath("Log")).entryList(QDir::Files);
    std::sort(actual.begin(), actual.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(actual, expected);
    for (int n = 1; n <= 10; ++n) {
        const QByteArray text = ReadAll(dir.filePath(QStringLiteral("Log/log%1.txt").arg(n)));
        EXPECT_TRUE(text.endsWith(QStringLiteral("    run %1\r\n").arg(12 - n).toUtf8())) << n;
        EXPECT_EQ(text.count('\n'), 1) << "a run never starts with older content";
    }
}

TEST(ActivityLog, RotationSkipsMissingNumbers) {
    QTemporaryDir dir;
    for (int n : {1, 3, 10}) {
        QFile file(dir.filePath(QStringLiteral("log%1.txt").arg(n)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(n));
    }
    RotateLogFiles(dir.path());
    EXPECT_FALSE(QFile::exists(dir.filePath("log1.txt")));
    EXPECT_EQ(ReadAll(dir.filePath("log2.txt")), "1");
    EXPECT_FALSE(QFile::exists(dir.filePath("log3.txt")));
    EXPECT_EQ(ReadAll(dir.filePath("log4.txt")), "3");
    EXPECT_FALSE(QFile::exists(dir.filePath("log10.txt")));
}

TEST(ActivityLog, ARunStartsAFreshFileEvenWhenTheOldOneCannotMove) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.filePath("Log/log2.txt"))); // a folder: the rename fails
    QFile old(dir.filePath("Log/log1.txt"));
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("older run\r\n");
    old.close();
    StartActivityLog(dir.path());
    ActivityLog().WriteInfo(QStringLiteral("this run"));
    ReleaseActivityLog();
    EXPECT_EQ(ReadAll(dir.filePath("Log/log1.txt")).count('\n'), 1);
}

TEST(ActivityLog, AnEntryThatCannotBeWrittenIsDroppedWithoutThrowing) {
    QTemporaryDir dir;
    // A folder where the file should be: every open fails.
    const QString name = dir.filePath("log1.txt");
    ASSERT_TRUE(QDir().mkdir(name));
    TMrvLog log(name);
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(log.WriteInfo("lost"));
    EXPECT_NO_THROW(log.WriteError("lost too"));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("activity log"), std::string::npos);
    EXPECT_EQ(errors.find("activity log"), errors.rfind("activity log")) << "reported once";
}

TEST(ActivityLog, AnUnstartedLogWritesNowhere) {
    ReleaseActivityLog();
    EXPECT_TRUE(ActivityLog().FileName().isEmpty());
    testing::internal::CaptureStderr();
    ActivityLog().WriteInfo("nowhere");
    EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
}

TEST(ActivityLog, SystemInformationBlock) {
    QTemporaryDir dir;
    TMrvLog log(dir.filePath("log1.txt"));
    WriteSystemInformation(log);
    const QList<QByteArray> lines = Lines(dir.filePath("log1.txt"));
    ASSERT_EQ(lines.size(), 10);
    QStringList messages;
    for (const QByteArray& line : lines) {
        EXPECT_TRUE(kStamp.match(QString::fromUtf8(line)).hasMatch());
        EXPECT_EQ(line.mid(19, 4), "    ");
        messages << QString::fromUtf8(line.mid(23));
    }
    const QString rule(69, QLatin1Char('='));
    EXPECT_EQ(messages[0], rule);
    EXPECT_EQ(messages[8], rule);
    EXPECT_EQ(messages[9], QString()) << "the block ends with a line holding only the stamp";
    const char* captions[] = {
        "System Version:  ", "Memory:          ", "Language:        ", "Country:         ",
        "Metrics:         ", "Flash Player:    ", "Program Version: "};
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(messages[i + 1].startsWith(QLatin1String(captions[i]))) << captions[i];
    EXPECT_TRUE(messages[1].contains(QSysInfo::kernelVersion()));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Memory: +[1-9]\d* MB$)"))
                    .match(messages[2])
                    .hasMatch());
    EXPECT_LE(messages[3].size() - 17, 19);
    EXPECT_LE(messages[4].size() - 17, 19);
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Metrics: +\d+ X \d+$)"))
                    .match(messages[5])
                    .hasMatch());
    EXPECT_EQ(messages[6], QStringLiteral("Flash Player:    "));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^Program Version: \d+\.\d+\.\d+\.\d+$)"))
                    .match(messages[7])
                    .hasMatch());
}
