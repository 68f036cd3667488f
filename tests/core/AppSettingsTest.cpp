#include "core/AppSettings.h"
#include "core/IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray ReadAll(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& fileName, const QByteArray& text) {
    QFile file(fileName);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

class SettingsTest : public ::testing::Test {
protected:
    void TearDown() override { ReleaseSettings(); }
    QString Folder() const { return dir.path() + QLatin1Char('/'); }
    QString IniName() const { return dir.filePath(QLatin1String(kSettingsFileName)); }
    QTemporaryDir dir;
};

} // namespace

TEST_F(SettingsTest, FirstStartWritesTheFiveKeysEmptyAndUsesDefaultsInMemory) {
    LoadSettings(dir.path());
    EXPECT_EQ(ReadAll(IniName()), "[Output]\nSnapshotPath=\nOutputPath=\nSnapshotExt=\n"
                                  "SourcePath=\nSourceImgPath=\n");
    EXPECT_EQ(AppSettings().SnapshotPath, Folder() + "Snapshot/");
    EXPECT_EQ(AppSettings().OutputPath, Folder() + "Output/");
    EXPECT_EQ(AppSettings().SnapshotExt, "bmp");
    EXPECT_TRUE(AppSettings().SourcePath.isEmpty());
    EXPECT_TRUE(AppSettings().SourceImgPath.isEmpty());

    // The defaults stay in memory only: the next start computes them again.
    ReleaseSettings();
    LoadSettings(dir.path());
    EXPECT_EQ(AppSettings().OutputPath, Folder() + "Output/");
    EXPECT_EQ(ReadAll(IniName()).count('='), 5);
}

TEST_F(SettingsTest, KeptValuesAndRepairedKeys) {
    WriteAll(IniName(), "; written by hand\n[Other]\nOutputPath=/elsewhere/\n\n"
                        "[output]\noutputpath = /videos/out\nSnapshotExt=jpg\n");
    LoadSettings(dir.path());
    EXPECT_EQ(AppSettings().OutputPath, "/videos/out/") << "trailing separator restored";
    EXPECT_EQ(AppSettings().SnapshotExt, "jpg");
    EXPECT_EQ(AppSettings().SnapshotPath, Folder() + "Snapshot/");

    const QByteArray text = ReadAll(IniName());
    EXPECT_TRUE(text.startsWith("; written by hand\n[Other]\nOutputPath=/elsewhere/\n"));
    const TIniFile ini(IniName());
    for (const char* key : {"SnapshotPath", "SourcePath", "SourceImgPath"}) {
        EXPECT_TRUE(text.contains(QByteArray(key) + "=\n")) << key;
        EXPECT_TRUE(ini.ReadString("Output", key, "missing").isEmpty()) << key;
    }
    EXPECT_EQ(ini.ReadString("Output", "OutputPath"), "/videos/out") << "the file is not rewritten";
    EXPECT_EQ(ini.ReadString("Other", "OutputPath"), "/elsewhere/");
}

TEST_F(SettingsTest, StoreSettingWritesThroughAtOnce) {
    LoadSettings(dir.path());
    ASSERT_TRUE(StoreSetting(TSettingKey::SourcePath, "/home/me/Videos/Été"));
    ASSERT_TRUE(StoreSetting(TSettingKey::OutputPath, "/tmp/out/"));
    EXPECT_EQ(AppSettings().SourcePath, "/home/me/Videos/Été");
    const TIniFile ini(IniName());
    EXPECT_EQ(ini.ReadString("Output", "SourcePath"), "/home/me/Videos/Été");
    EXPECT_EQ(ini.ReadString("Output", "OutputPath"), "/tmp/out/");

    ReleaseSettings();
    EXPECT_TRUE(AppSettings().OutputPath.isEmpty());
    LoadSettings(dir.path());
    EXPECT_EQ(AppSettings().OutputPath, "/tmp/out/");
    EXPECT_EQ(AppSettings().SourcePath, "/home/me/Videos/Été");
}

TEST_F(SettingsTest, AnUnwritableFileDoesNotStopTheApplication) {
    ASSERT_TRUE(QDir().mkdir(IniName())); // a folder in the file's place
    EXPECT_NO_THROW(LoadSettings(dir.path()));
    EXPECT_EQ(AppSettings().SnapshotExt, "bmp");
    EXPECT_FALSE(StoreSetting(TSettingKey::SnapshotExt, "png"));
    EXPECT_EQ(AppSettings().SnapshotExt, "png") << "the session goes on with the new value";
}

TEST(IniFile, WriteKeepsOtherLinesAndAddsMissingSections) {
    QTemporaryDir dir;
    const QString name = dir.filePath("a.ini");
    WriteAll(name, "[A]\r\nx=1\r\n; note\r\n\r\n[B]\r\ny=2\r\n");
    TIniFile ini(name);
    ASSERT_TRUE(ini.WriteString("a", "z", "3"));
    ASSERT_TRUE(ini.WriteString("B", "Y", "two words"));
    ASSERT_TRUE(ini.WriteString("C", "w", "=4"));
    EXPECT_EQ(ReadAll(name), "[A]\nx=1\n; note\nz=3\n\n[B]\nY=two words\n[C]\nw==4\n");
    EXPECT_EQ(ini.ReadString("c", "W"), "=4");
    EXPECT_EQ(ini.ReadString("A", "missing", "dflt"), "dflt");
    EXPECT_EQ(TIniFile(dir.filePath("none.ini")).ReadString("A", "x", "dflt"), "dflt");

    // A folder name may hold a line break; written out it would forge lines of its own.
    const QByteArray before = ReadAll(name);
    for (const char* value : {"/v\n[A]\nx=forged", "/v\rx=forged"})
        EXPECT_FALSE(ini.WriteString("B", "Y", value));
    EXPECT_FALSE(ini.WriteString("B", "k\nx", "1"));
    EXPECT_FALSE(ini.WriteString("B\n[A]", "x", "1"));
    EXPECT_EQ(ReadAll(name), before);
}

TEST(WebAddresses, FromUrlCfg) {
    QTemporaryDir dir;
    EXPECT_EQ(ReadWebAddresses(dir.filePath("URL.cfg")).HomePage, QString()) << "no URL.cfg: empty";
    EXPECT_EQ(ReadWebAddresses(dir.filePath("URL.cfg")).HelpPage, QString());

    WriteAll(dir.filePath("URL.cfg"), "[URL]\nHomePage=https://example.org/home\n");
    const TWebAddresses addresses = ReadWebAddresses(dir.filePath("URL.cfg"));
    EXPECT_EQ(addresses.HomePage, "https://example.org/home");
    EXPECT_EQ(addresses.HelpPage, QLatin1String(kMakerWebPage)) << "a missing key: maker's page";
}
