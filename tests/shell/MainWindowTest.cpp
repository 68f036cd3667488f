#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_Treelist.h"
#include "core/WorkFolders.h"
#include "engine/widgets/TPlayerDisplay.h"
#include "shell/EngineLibraries.h"
#include "shell/U_AddFile.h"
#include "shell/U_Main.h"
#include "shell/U_MainList.h"
#include "shell/uLoadUI.h"

#include "common/FakePrompts.h"
#include "common/TestMedia.h"
#include "shell/MainWindowFixture.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using MainWindowTest = MainWindowFixture;

TEST_F(MainWindowTest, StartsWithTheEngineLoadedTheFoldersMadeAndCommandsIdle) {
    const QString log = Log();
    const int encoder = log.indexOf("    FEncoder Load library successful\r\n");
    const int player = log.indexOf("    FPlayer Load library successful\r\n");
    const int sdl = log.indexOf("    FPlayer Load SDLLib successful\r\n");
    EXPECT_TRUE(encoder >= 0 && encoder < player && player < sdl) << log.toStdString();
    EXPECT_TRUE(QDir(home.filePath("Output")).exists());
    EXPECT_TRUE(QDir(home.filePath("Snapshot")).exists());

    EXPECT_EQ(window->lblSoftName->text(), "Morvane Reelcaster");
    EXPECT_TRUE(window->styleSheet().contains("QToolButton#btnStart")); // from its resource
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(window->edtoutput->text(), AppSettings().OutputPath);
    EXPECT_TRUE(window->chkall->isChecked());
    for (QToolButton* button :
         {window->btnFormats, window->btnEdit, window->btnClip, window->btnMerge, window->btnStart})
        EXPECT_FALSE(button->isEnabled()) << button->objectName().toStdString();
    EXPECT_TRUE(window->btnAdd->isEnabled());
    EXPECT_TRUE(window->mniClearAll->isEnabled());
    EXPECT_FALSE(window->mniRemove->isEnabled());
    EXPECT_FALSE(window->btnRestore->isVisible());
    EXPECT_EQ(window->lblFileName->text(), "Reelcaster");
    EXPECT_FALSE(window->btnPlay->isEnabled());
    EXPECT_FALSE(window->btnPause->isVisible());
    EXPECT_TRUE(window->btnOpen->isEnabled());
    EXPECT_EQ(window->lblpos->text(), "00:00:00");
    EXPECT_EQ(window->lbllen->text(), " / 00:00:00");
    EXPECT_FALSE(window->mask().isEmpty()); // rounded corners
}

TEST_F(MainWindowTest, PopupMenuHasItsItemsInOrder) {
    // Each caption with the key shown beside it, if any.
    const auto items = [](const QMenu* menu) {
        QStringList captions;
        for (const QAction* action : menu->actions()) {
            QString caption = action->isSeparator() ? QStringLiteral("-") : action->text();
            if (!action->shortcut().isEmpty() && action->isShortcutVisibleInContextMenu())
                caption += QLatin1Char('\t') + action->shortcut().toString();
            captions << caption;
        }
        return captions;
    };
    EXPECT_EQ(items(window->PopupMenu),
              QStringList({"&Remove\tDel", "&Clear All", "Re&name\tF2", "-", "&Formats", "&Edit",
                           "C&lip", "&Merge", "-", "File &Properties"}));
    EXPECT_EQ(items(window->PmHelp), QStringList({"&Help\tF1", "-", "&About"}));
}

TEST_F(MainWindowTest, FirstShowSizeFitsSmallScreens) {
    const struct {
        QSize screen;
        QSize expected;
    } cases[] = {
        {{1920, 1080}, {920, 570}}, {{1024, 768}, {920, 570}},  {{920, 570}, {920, 570}},
        {{800, 600}, {720, 540}},   {{1280, 560}, {1152, 504}}, {{915, 700}, {824, 630}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TMainfrm::FirstShowSize(c.screen), c.expected)
            << c.screen.width() << "x" << c.screen.height();

    // The window's own layout lets it shrink that far; the player's display gives way first.
    window->resize(TMainfrm::FirstShowSize({800, 600}));
    EXPECT_EQ(window->size(), QSize(720, 540));
    QApplication::sendPostedEvents();
    EXPECT_GE(window->Perview->height(), 200);
    window->resize(TMainfrm::FirstShowSize({1920, 1080}));
    QApplication::sendPostedEvents();
    EXPECT_EQ(window->Perview->size(), QSize(280, 243));
}

TEST_F(MainWindowTest, CommandModesFollowTheSelection) {
    TJobRow* first = AddMedia(testmedia::kH264Aac);
    TJobRow* second = AddMedia(testmedia::kMpeg4Mp3Avi);
    TJobRow* third = AddMedia(testmedia::kUnusualName);
    AddClip(first);
    const TJobRow* clip = first->Children.front().get();
    Select({second, third});
    window->btnMergeClick();
    const TJobRow* merge = List().TopLevel(List().TopLevelCount() - 1);
    ASSERT_TRUE(merge->Item.IsMerge);
    const TJobRow* member = merge->Children.front().get();

    // Expected: edit, clip, merge, formats (button), formats and rename (menu), file properties.
    const struct {
        const char* name;
        std::vector<const TJobRow*> rows;
        TMainfrm::TCommandMode mode;
        bool edit, clip, merge, formats, menuFormats, file;
    } cases[] = {
        // clang-format off
        {"none",                    {},              TMainfrm::cmNothing,         false, false, false, false, false, false},
        {"one plain item",          {first},         TMainfrm::cmPlainItem,       true,  true,  true,  true,  true,  true},
        {"one clip",                {clip},          TMainfrm::cmClip,            false, true,  false, true,  true,  true},
        {"one merge item",          {merge},         TMainfrm::cmMergeItem,       false, false, true,  true,  true,  true},
        {"one merge member",        {member},        TMainfrm::cmNothing,         false, false, false, false, false, true},
        {"two top-level rows",      {first, second}, TMainfrm::cmSeveralTopLevel, false, false, true,  false, false, false},
        {"plain item and its clip", {first, clip},   TMainfrm::cmNothing,         false, false, false, false, false, false},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QItemSelectionModel* selection = window->VSTFile->selectionModel();
        selection->clearSelection();
        for (const TJobRow* row : c.rows)
            selection->select(List().IndexOf(row),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        EXPECT_EQ(window->CommandMode(), c.mode);
        EXPECT_EQ(window->btnEdit->isEnabled(), c.edit);
        EXPECT_EQ(window->mniEdit->isEnabled(), c.edit);
        EXPECT_EQ(window->btnClip->isEnabled(), c.clip);
        EXPECT_EQ(window->mniClip->isEnabled(), c.clip);
        EXPECT_EQ(window->btnMerge->isEnabled(), c.merge);
        EXPECT_EQ(window->mniMerge->isEnabled(), c.merge);
        EXPECT_EQ(window->btnFormats->isEnabled(), c.formats);
        EXPECT_EQ(window->mniFormats->isEnabled(), c.menuFormats);
        EXPECT_EQ(window->mniRename->isEnabled(), c.menuFormats);
        EXPECT_EQ(window->mniFile->isEnabled(), c.file);
        EXPECT_EQ(window->mniRemove->isEnabled(), !c.rows.empty());
        EXPECT_EQ(window->btnPlay->isEnabled(),
                  c.rows.size() == 1 && c.mode != TMainfrm::cmMergeItem);
    }
}

TEST_F(MainWindowTest, SelectionShowsTheRowNameAsPreviewTitle) {
    TJobRow* row = AddMedia(testmedia::kUnusualName);
    Select({row});
    EXPECT_EQ(window->lblFileName->toolTip(), QString::fromUtf8(testmedia::kUnusualName));
    row->Item.DisplayName = QStringLiteral("A display name that is far too long for the panel");
    Select({});
    Select({row});
    EXPECT_EQ(window->lblFileName->toolTip(), row->Item.DisplayName);
    EXPECT_TRUE(window->lblFileName->text().endsWith("..."));
    EXPECT_TRUE(window->lblFileName->alignment().testFlag(Qt::AlignLeft));
}

TEST_F(MainWindowTest, F2RenamesOnlyASingleRowAndDeleteRemovesEverySelectedRow) {
    TJobRow* first = AddMedia(testmedia::kH264Aac);
    TJobRow* second = AddMedia(testmedia::kMpeg4Mp3Avi);
    AddMedia(testmedia::kVideoOnly);
    window->VSTFile->setFocus();

    Select({first, second});
    QTest::keyClick(window->VSTFile, Qt::Key_F2);
    EXPECT_FALSE(Renaming());

    QTest::keyClick(window->VSTFile, Qt::Key_Delete);
    ASSERT_EQ(List().TopLevelCount(), 1);
    EXPECT_EQ(List().TopLevel(0)->Item.InputOptions.FileName,
              testmedia::Path(testmedia::kVideoOnly));
    EXPECT_TRUE(window->btnStart->isEnabled());

    Select({List().TopLevel(0)});
    QTest::keyClick(window->VSTFile, Qt::Key_F2);
    ASSERT_TRUE(Renaming());
    const auto* editor = window->VSTFile->findChild<QLineEdit*>(QStringLiteral("edtRename"));
    EXPECT_EQ(editor->text(), "video_only"); // the name is edited without its extension
}

TEST_F(MainWindowTest, RenameNeedsACheckedRow) {
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    List().SetChecked(row, false);
    Select({row});
    window->mniRenameClick();
    EXPECT_FALSE(Renaming());
}

TEST_F(MainWindowTest, RemovingTheLastRowDisablesStartAndResetsThePreview) {
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    window->btnStart->setEnabled(true);
    Select({row});
    EXPECT_TRUE(window->btnPlay->isEnabled());
    window->mniRemoveClick();
    EXPECT_EQ(List().TopLevelCount(), 0);
    EXPECT_FALSE(window->btnStart->isEnabled());
    EXPECT_FALSE(window->mniRemove->isEnabled());
    EXPECT_FALSE(window->btnPlay->isEnabled());
    EXPECT_EQ(window->CommandMode(), TMainfrm::cmNothing);
    EXPECT_EQ(window->lblFileName->text(), "Reelcaster");

    AddMedia(testmedia::kH264Aac);
    AddMedia(testmedia::kVideoOnly);
    window->btnStart->setEnabled(true);
    window->mniClearAllClick();
    EXPECT_EQ(List().TopLevelCount(), 0);
    EXPECT_FALSE(window->btnStart->isEnabled());
}

TEST_F(MainWindowTest, AddFilesReportsTheFilesThatFailed) {
    prompts.FilesToOpen = {testmedia::Path(testmedia::kH264Aac),
                           testmedia::Path(testmedia::kRandomBytes),
                           testmedia::Path(testmedia::kMpeg4Mp3Avi)};
    window->btnAddClick();
    EXPECT_EQ(List().TopLevelCount(), 2);
    ASSERT_EQ(prompts.Calls.size(), 3);
    EXPECT_EQ(prompts.Calls[1], "Beep");
    EXPECT_EQ(prompts.Calls[2], QStringLiteral("Warning: 2 files have been loaded "
                                               "successfully,1 files failed.\r\nunloaded "
                                               "files:\r\n") +
                                    testmedia::kRandomBytes +
                                    ": Invalid data found when processing input");
    EXPECT_TRUE(window->btnStart->isEnabled());
    EXPECT_EQ(AppSettings().SourcePath, QFileInfo(prompts.FilesToOpen[0]).absolutePath() + '/');
    EXPECT_TRUE(SettingsFile().contains("SourcePath=" + AppSettings().SourcePath.toUtf8()));
}

TEST_F(MainWindowTest, AddFilesListsEveryFailedNameOnItsOwnLine) {
    prompts.FilesToOpen = {testmedia::Path(testmedia::kEmpty),
                           testmedia::Path(testmedia::kTruncated)};
    window->btnAddClick();
    EXPECT_EQ(List().TopLevelCount(), 0);
    EXPECT_EQ(prompts.Calls.last(),
              QStringLiteral("Warning: 0 files have been loaded successfully,2 files "
                             "failed.\r\nunloaded files:\r\n%1: %3\r\n%2: %3")
                  .arg(testmedia::kEmpty, testmedia::kTruncated,
                       "Invalid data found when processing input"));
    // Start is enabled after every add, even when nothing was added.
    EXPECT_TRUE(window->btnStart->isEnabled());
}

TEST_F(MainWindowTest, CancellingTheAddDialogChangesNothing) {
    const QByteArray settings = SettingsFile();
    window->btnAddClick();
    EXPECT_EQ(prompts.Calls, QStringList({"OpenFiles: " + AppSettings().SourcePath}));
    EXPECT_EQ(List().TopLevelCount(), 0);
    EXPECT_FALSE(window->btnStart->isEnabled());
    EXPECT_EQ(SettingsFile(), settings);
}

TEST_F(MainWindowTest, DroppedFilesGoThroughTheLoadingWindow) {
    emit window->VSTFile->FilesDropped(
        {testmedia::Path(testmedia::kH264Aac), testmedia::Path(testmedia::kEmpty)});
    EXPECT_EQ(List().TopLevelCount(), 1);
    EXPECT_TRUE(prompts.Calls.last().startsWith("Warning: 1 files have been loaded"));
    EXPECT_TRUE(window->btnStart->isEnabled());
}

TEST_F(MainWindowTest, LoadingWindowShowsProgressAndCollectsFailures) {
    QStringList seen;
    TAddFilefrm loading(window.get(), {"/a/one.mp4", "/b/two.avi", "/c/three.mkv", "/d/four.ts"},
                        [&](const QString& file, QString* reason) {
                            seen << file;
                            *reason = QStringLiteral("unreadable");
                            return !file.endsWith(".avi");
                        });
    EXPECT_EQ(loading.size(), QSize(356, 139));
    EXPECT_EQ(loading.windowTitle(), "Loading Progress");
    EXPECT_EQ(loading.exec(), QDialog::Accepted);
    EXPECT_EQ(seen.size(), 4);
    EXPECT_EQ(loading.Failed(), QStringList({"two.avi: unreadable"}));
    EXPECT_EQ(loading.prgTotal->value(), 100);
    EXPECT_EQ(loading.lblFileName->text(), "four.ts");
}

TEST_F(MainWindowTest, StartNeedsACheckedRow) {
    int opened = 0;
    window->OpenConversion = [&] { ++opened; };
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    List().SetChecked(row, false);
    window->btnStartClick();
    EXPECT_EQ(prompts.Calls, QStringList({"Beep", "Information: Please select at least one file "
                                                  "needed to convert!"}));
    EXPECT_EQ(opened, 0);

    List().SetChecked(row, true);
    window->btnStartClick();
    EXPECT_EQ(opened, 1);
}

TEST_F(MainWindowTest, MergeNeedsTwoRowsAndSelectsTheNewItem) {
    TJobRow* first = AddMedia(testmedia::kH264Aac);
    TJobRow* second = AddMedia(testmedia::kMpeg4Mp3Avi);
    Select({first});
    window->btnMergeClick();
    EXPECT_EQ(prompts.Calls, QStringList({"Beep", "Information: Only choose two or more files "
                                                  "can you start to merge."}));
    EXPECT_EQ(List().TopLevelCount(), 2);

    Select({first, second});
    window->mniMerge->trigger();
    ASSERT_EQ(List().TopLevelCount(), 3);
    const TJobRow* merge = List().TopLevel(2);
    EXPECT_TRUE(merge->Item.IsMerge);
    EXPECT_TRUE(merge->Item.OutputOptions.FileName.startsWith(window->edtoutput->text()));
    EXPECT_TRUE(window->VSTFile->isExpanded(List().IndexOf(merge)));
    EXPECT_TRUE(window->VSTFile->selectionModel()->isRowSelected(List().IndexOf(merge).row(), {}));
    EXPECT_EQ(window->CommandMode(), TMainfrm::cmMergeItem);
}

TEST_F(MainWindowTest, ChangingTheOutputFolder) {
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    const QString before = row->Item.OutputOptions.FileName;
    const QByteArray settings = SettingsFile();

    // The same folder again writes nothing and renames nothing.
    prompts.FolderToChoose = AppSettings().OutputPath;
    window->btnChangeClick();
    EXPECT_EQ(prompts.Calls.first(),
              "ChooseFolder: Select Output Folder at " + AppSettings().OutputPath);
    EXPECT_EQ(SettingsFile(), settings);
    EXPECT_EQ(row->Item.OutputOptions.FileName, before);

    // A folder on a disc is refused and nothing changes.
    prompts.Calls.clear();
    window->IsOnCdRom = [](const QString&) { return true; };
    prompts.FolderToChoose = QStringLiteral("/media/cdrom/");
    window->btnChangeClick();
    EXPECT_EQ(prompts.Calls.mid(1), QStringList({"Beep", "Information: Output folder cannot be "
                                                         "located in CD-ROM!"}));
    EXPECT_EQ(window->edtoutput->text(), AppSettings().OutputPath);
    EXPECT_EQ(SettingsFile(), settings);

    // Another folder is stored and every output name follows it.
    window->IsOnCdRom = [](const QString&) { return false; };
    const QString elsewhere = home.filePath("elsewhere") + '/';
    prompts.FolderToChoose = elsewhere;
    window->btnChangeClick();
    EXPECT_EQ(window->edtoutput->text(), elsewhere);
    EXPECT_EQ(AppSettings().OutputPath, elsewhere);
    EXPECT_TRUE(SettingsFile().contains("OutputPath=" + elsewhere.toUtf8()));
    EXPECT_EQ(row->Item.OutputOptions.FileName, elsewhere + "h264_aac.flv");

    // Cancel keeps it.
    prompts.FolderToChoose.clear();
    window->btnChangeClick();
    EXPECT_EQ(window->edtoutput->text(), elsewhere);
}

TEST_F(MainWindowTest, BrowseAndSnapshotFolderOpenInTheFileManager) {
    window->btnBrowse->click();
    window->btnOpen->click();
    EXPECT_EQ(prompts.Calls, QStringList({"OpenFolder: " + AppSettings().OutputPath,
                                          "OpenFolder: " + AppSettings().SnapshotPath}));
}

TEST_F(MainWindowTest, AllBoxChecksAndUnchecksEveryRow) {
    TJobRow* first = AddMedia(testmedia::kH264Aac);
    TJobRow* second = AddMedia(testmedia::kVideoOnly);
    QTest::mouseClick(window->chkall, Qt::LeftButton, {}, QPoint(6, window->chkall->height() / 2));
    EXPECT_FALSE(window->chkall->isChecked());
    EXPECT_FALSE(first->Checked);
    EXPECT_FALSE(second->Checked);
    EXPECT_FALSE(List().HasCheckedItem());
    window->chkall->click();
    EXPECT_TRUE(first->Checked && second->Checked);
}

TEST_F(MainWindowTest, DraggingTheHeaderMovesTheWindowUnlessMaximised) {
    // The offscreen platform has no move of its own: the window follows the mouse.
    TSkinImage* header = window->imgHeaderC;
    const auto drag = [&](QPoint by) {
        const QPoint from = header->rect().center();
        const QPoint fromGlobal = header->mapToGlobal(from);
        QMouseEvent press(QEvent::MouseButtonPress, from, fromGlobal, Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(header, &press);
        QMouseEvent move(QEvent::MouseMove, from + by, fromGlobal + by, Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(header, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, from + by, fromGlobal + by, Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(header, &release);
    };
    const QPoint start = window->pos();
    drag(QPoint(30, 20));
    EXPECT_EQ(window->pos(), start + QPoint(30, 20));

    window->btnMax->click();
    const QPoint maximised = window->pos();
    drag(QPoint(30, 20));
    EXPECT_EQ(window->pos(), maximised);
    window->btnRestore->click();
}

TEST_F(MainWindowTest, MaximiseSwapsTheButtonsAndRestoreSwapsBack) {
    window->btnMax->click();
    QCoreApplication::processEvents();
    EXPECT_TRUE(window->isMaximized());
    EXPECT_FALSE(window->btnMax->isVisible());
    EXPECT_TRUE(window->btnRestore->isVisible());
    window->btnRestore->click();
    QCoreApplication::processEvents();
    EXPECT_FALSE(window->isMaximized());
    EXPECT_TRUE(window->btnMax->isVisible());
    EXPECT_FALSE(window->btnRestore->isVisible());
}

TEST_F(MainWindowTest, DestroyingTheWindowRemovesTheScaledWatermarks) {
    SetTempPath(WithSlash(home.path()));
    ASSERT_TRUE(EnsureScaledWatermarkFolder());
    QFile picture(ScaledWatermarkFolder() + "mark.png");
    ASSERT_TRUE(picture.open(QIODevice::WriteOnly));
    picture.close();
    ClipList().append(TClipFile());
    window.reset();
    EXPECT_FALSE(QDir(ScaledWatermarkFolder()).exists());
    EXPECT_TRUE(ClipList().isEmpty());
}

TEST(MainWindowFilters, FilterListHasTheFormatsInOrderInBothLetterCases) {
    const QStringList& filters = TMainfrm::AddFilesFilters();
    ASSERT_EQ(filters.size(), 18);
    EXPECT_TRUE(filters[0].startsWith("All Support Video Format (*.3GP *.3gp *.2G2 *.2g2 "));
    EXPECT_TRUE(filters[0].contains("*.F4V *.f4v *.DV *.dv)"));
    EXPECT_EQ(filters[1], "AVI Video File(*.avi) (*.AVI *.avi)");
    EXPECT_EQ(filters[9], "Quick Time File(*.mov; *.qt) (*.MOV *.mov *.QT *.qt)");
    EXPECT_EQ(filters[17], "All Files(*.*) (*)");
}

TEST_F(MainWindowTest, AClickInOutputNameStartsTheRenameOfACheckedRow) {
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    TJobListView* view = window->VSTFile;
    const QRect nameCell = view->visualRect(List().IndexOf(row, TJobList::ColOutputName));
    const QRect inputCell = view->visualRect(List().IndexOf(row, TJobList::ColInput));

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, inputCell.center());
    EXPECT_FALSE(Renaming());
    QTest::mouseClick(view->viewport(), Qt::MiddleButton, {}, nameCell.center());
    EXPECT_TRUE(Renaming());
    QTest::keyClick(view->findChild<QLineEdit*>(QStringLiteral("edtRename")), Qt::Key_Escape);

    List().SetChecked(row, false);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, nameCell.center());
    EXPECT_FALSE(Renaming());
}

TEST_F(MainWindowTest, HelpOpensTheHelpPage) {
    QFile addresses(home.filePath("URL.cfg"));
    ASSERT_TRUE(addresses.open(QIODevice::WriteOnly));
    addresses.write("[URL]\nHomePage=https://example.org/\nHelpPage=https://example.org/help\n");
    addresses.close();
    window->mniHelp->trigger();
    EXPECT_EQ(prompts.Calls, QStringList{"OpenAddress: https://example.org/help"});
}

TEST_F(MainWindowTest, AboutOpensTheAboutWindow) {
    QString shown;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    window->mniAbout->trigger();
    EXPECT_EQ(shown, "Taboutfrm");
}

// Clip opens the clip window for the focused row's owner with its clips and the player to
// itself; afterwards the preview has its player back and the owner is selected.
TEST_F(MainWindowTest, ClipLendsThePlayerForTheOwnerOfTheFocusedRow) {
    TJobRow* owner = AddMedia(testmedia::kH264Aac);
    AddMedia(testmedia::kMpeg4Mp3Avi);
    AddClip(owner);
    Select({owner->Children[0].get()});
    const TJobRow* opened = nullptr;
    int clipsHandedOver = -1;
    bool playerLent = false;
    window->OpenClip = [&](TJobRow* row) {
        opened = row;
        clipsHandedOver = int(ClipList().size());
        playerLent = !window->Player().OnPosition && !window->Player().OnState;
    };
    window->btnClip->click();
    EXPECT_EQ(opened, owner);
    EXPECT_EQ(clipsHandedOver, 1);
    EXPECT_TRUE(playerLent);
    EXPECT_TRUE(window->Player().OnPosition && window->Player().OnState) << "given back";
    EXPECT_TRUE(ClipList().isEmpty());
    EXPECT_EQ(List().Focused(), owner);
    EXPECT_TRUE(owner->Selected);
    EXPECT_EQ(List().SelectedCount(), 1);
}

// Edit, by button and menu, opens the edit window for the selected row with the player to
// itself; afterwards the preview has its player back.
TEST_F(MainWindowTest, EditLendsThePlayerForTheSelectedRow) {
    AddMedia(testmedia::kH264Aac);
    TJobRow* second = AddMedia(testmedia::kMpeg4Mp3Avi);
    Select({second});
    QList<const TJobRow*> opened;
    bool playerLent = false;
    window->OpenEdit = [&](TJobRow* row) {
        opened << row;
        playerLent = !window->Player().OnPosition && !window->Player().OnState;
    };
    ASSERT_TRUE(window->btnEdit->isEnabled());
    window->btnEdit->click();
    window->mniEdit->trigger();
    EXPECT_EQ(opened, (QList<const TJobRow*>{second, second}));
    EXPECT_TRUE(playerLent);
    EXPECT_TRUE(window->Player().OnPosition && window->Player().OnState) << "given back";
}

// Formats (button and menu) and File Properties open their windows for the selected row,
// and nothing without one.
TEST_F(MainWindowTest, FormatsAndFilePropertiesOpenForTheSelectedRow) {
    const auto opened = [](const std::function<void()>& command) {
        QString shown;
        QTimer::singleShot(0, [&] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                shown = QString::fromLatin1(modal->metaObject()->className());
                modal->close();
            }
        });
        command();
        QApplication::processEvents();
        return shown;
    };
    const std::function<void()> formatsButton = [&] { window->btnFormatsClick(); };
    const std::function<void()> formatsMenu = [&] { window->mniFormats->trigger(); };
    const std::function<void()> properties = [&] { window->mniFile->trigger(); };
    AddMedia(testmedia::kH264Aac);
    Select({});
    for (const auto& command : {formatsButton, properties})
        EXPECT_EQ(opened(command), "");
    Select({List().TopLevel(0)});
    EXPECT_EQ(opened(formatsButton), "TFormatsfrm");
    EXPECT_EQ(opened(formatsMenu), "TFormatsfrm");
    EXPECT_EQ(opened(properties), "TFilePropertiesFrm");
}

TEST_F(MainWindowTest, OptionsOpensTheOptionsWindow) {
    QString shown;
    QTimer::singleShot(0, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            shown = QString::fromLatin1(modal->metaObject()->className());
            modal->close();
        }
    });
    window->btnOption->click();
    EXPECT_EQ(shown, "Toptionfrm");
}

TEST_F(MainWindowTest, WithoutSdlTheWindowReportsTheErrorAndTheApplicationEnds) {
    // This process's SDL is held by the first window's player.
    TMainfrm second;
    EXPECT_FALSE(LoadEngineLibraries(second.Encoder(), second.Player(), &second));
    ASSERT_EQ(prompts.Calls.size(), 1);
    EXPECT_TRUE(prompts.Calls[0].startsWith("Error: "));
    EXPECT_TRUE(prompts.Calls[0].endsWith(" alreay loaded in another instance."));
    // No log line for a failed SDL, and none claiming success.
    EXPECT_EQ(Log().count("FPlayer Load SDLLib successful"), 1);
}

TEST_F(MainWindowTest, DeletingEveryMemberAndAnotherRowRemovesTheMergeItem) {
    TJobRow* first = AddMedia(testmedia::kH264Aac);
    TJobRow* second = AddMedia(testmedia::kMpeg4Mp3Avi);
    Select({first, second});
    window->btnMergeClick();
    const TJobRow* merge = List().TopLevel(2);
    TJobRow* other = AddMedia(testmedia::kVideoOnly);
    Select({merge->Children[0].get(), merge->Children[1].get(), other});
    window->mniRemoveClick();
    ASSERT_EQ(List().TopLevelCount(), 2);
    EXPECT_FALSE(List().TopLevel(0)->Item.IsMerge);
    EXPECT_FALSE(List().TopLevel(1)->Item.IsMerge);
}

TEST_F(MainWindowTest, ARowRemovedBeforeItsRenameStartsIsNotEdited) {
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    Select({row});
    window->VSTFile->setFocus();
    // The rename is posted; the row goes before it runs.
    QTest::keyClick(window->VSTFile, Qt::Key_F2);
    QTest::keyClick(window->VSTFile, Qt::Key_Delete);
    EXPECT_EQ(List().TopLevelCount(), 0);
    EXPECT_FALSE(Renaming());
}

TEST_F(MainWindowTest, ClearAllResetsTheCommands) {
    TJobRow* row = AddMedia(testmedia::kH264Aac);
    Select({row});
    ASSERT_EQ(window->CommandMode(), TMainfrm::cmPlainItem);
    window->mniClearAll->trigger();
    EXPECT_EQ(window->CommandMode(), TMainfrm::cmNothing);
    EXPECT_FALSE(window->mniRemove->isEnabled());
    EXPECT_FALSE(window->mniFile->isEnabled());
    EXPECT_FALSE(window->btnPlay->isEnabled());
    EXPECT_EQ(window->lblFileName->text(), "Reelcaster");
}
