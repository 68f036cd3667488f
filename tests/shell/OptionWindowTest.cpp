// The options window over a fresh settings file; prompts answered by the test.

#include "core/AppSettings.h"
#include "shell/U_option.h"
#include "shell/uLoadUI.h"

#include "common/FakePrompts.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

namespace {

class OptionWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        LoadSettings(home.path() + '/');
    }
    void TearDown() override { ReleaseSettings(); }
    QString SettingsFile() const { return home.filePath(kSettingsFileName); }
    QByteArray SettingsText() const {
        QFile file(SettingsFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QDateTime Written() const {
        return QFileInfo(SettingsFile()).fileTime(QFileDevice::FileModificationTime);
    }
    // The window as a user sees it, shown.
    std::unique_ptr<Toptionfrm> Open() {
        auto window = std::make_unique<Toptionfrm>();
        window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        return window;
    }

    QTemporaryDir home;
    TFakePrompts prompts;
};

} // namespace

TEST_F(OptionWindowTest, ShowsTheSettingsWithFocusOnOk) {
    const auto window = Open();
    EXPECT_EQ(window->size(), QSize(451, 235));
    EXPECT_EQ(window->TitleLabel()->text(), "Option");
    EXPECT_EQ(window->EdtPath->text(), AppSettings().SnapshotPath);
    EXPECT_TRUE(window->EdtPath->isReadOnly()) << "typing is blocked";
    EXPECT_EQ(window->CbbFormat->currentText(), "Bitmap File(*.bmp)");
    EXPECT_EQ(window->CbbFormat->count(), 2);
    EXPECT_EQ(window->focusWidget(), window->btnOK);
    const QByteArray folder = qgetenv("REELCASTER_SCREENSHOT_DIR");
    if (!folder.isEmpty())
        window->grab().save(QString::fromLocal8Bit(folder) + "/options.png");
    EXPECT_EQ(Toptionfrm::ExtensionOf("JPEG Image File(*.jpg)"), "jpg");
    window->btnBrowse->click();
    EXPECT_EQ(prompts.Calls, QStringList{"OpenFolder: " + AppSettings().SnapshotPath});
}

TEST_F(OptionWindowTest, CancelAfterANewFolderChangesNothing) {
    const QByteArray before = SettingsText();
    const QString old = AppSettings().SnapshotPath;
    prompts.FolderToChoose = home.filePath("elsewhere/");
    const auto window = Open();
    window->actChooseFolder->trigger();
    EXPECT_EQ(prompts.Calls, QStringList{"ChooseFolder: Select Output Folder at " + old});
    EXPECT_EQ(window->EdtPath->text(), home.filePath("elsewhere/"));
    window->CbbFormat->setCurrentIndex(1);
    window->btnCancel->click();
    EXPECT_EQ(window->result(), QDialog::Rejected);
    EXPECT_EQ(AppSettings().SnapshotPath, old);
    EXPECT_EQ(SettingsText(), before);
}

TEST_F(OptionWindowTest, OkWritesOnlyWhatChanged) {
    const QDateTime untouched = Written();
    {
        const auto window = Open();
        window->btnOK->click();
        EXPECT_EQ(window->result(), QDialog::Accepted);
    }
    EXPECT_EQ(Written(), untouched) << "nothing changed, nothing written";

    prompts.FolderToChoose = home.filePath("shots"); // without its separator
    const auto window = Open();
    window->actChooseFolder->trigger();
    window->CbbFormat->setCurrentIndex(1);
    window->btnOK->click();
    EXPECT_EQ(AppSettings().SnapshotPath, home.filePath("shots/"));
    EXPECT_EQ(AppSettings().SnapshotExt, "jpg");
    EXPECT_TRUE(SettingsText().contains("SnapshotExt=jpg"));
}

TEST_F(OptionWindowTest, AnUnknownFormatShowsTheFirstEntryAndOkWritesIt) {
    StoreSetting(TSettingKey::SnapshotExt, "png");
    const auto window = Open();
    EXPECT_EQ(window->CbbFormat->currentText(), "Bitmap File(*.bmp)");
    window->btnOK->click();
    EXPECT_EQ(AppSettings().SnapshotExt, "bmp");
    EXPECT_TRUE(SettingsText().contains("SnapshotExt=bmp"));
}

TEST_F(OptionWindowTest, AFolderOnAnOpticalDiscIsRefused) {
    const auto window = Open();
    window->IsOnCdRom = [](const QString&) { return true; };
    prompts.FolderToChoose = "/media/cdrom/";
    const QString before = window->EdtPath->text();
    window->actChooseFolder->trigger();
    EXPECT_EQ(prompts.Calls.last(), "Information: Output folder cannot be located in CD-ROM.");
    EXPECT_EQ(window->EdtPath->text(), before);
}
