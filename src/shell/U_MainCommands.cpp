// The main window's commands: adding files, the list operations, the output folder, starting a
// conversion and the help menu, with the rules that enable them.

#include "shell/U_Main.h"

#include "core/AppFolders.h"
#include "core/AppSettings.h"
#include "core/PromptService.h"
#include "core/U_Treelist.h"
#include "core/U_TreelistFormat.h"
#include "formats/U_Formats.h"
#include "shell/U_AddFile.h"
#include "shell/U_FileProperties.h"
#include "shell/U_MainList.h"
#include "shell/U_about.h"
#include "shell/U_option.h"
#include "shell/WebPage.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

const QStringList& TMainfrm::AddFilesFilters() {
    // Patterns are listed in both letter cases: file dialogs on Linux match them exactly.
    static const QStringList filters = [] {
        const std::pair<const char*, const char*> table[] = {
            {"All Support Video Format",
             "*.3GP;*.2G2;*.ASF;*.WMB;*.AVI;*.AVM;*.AVS;*.DAT;*.FLV;*.MKV;*.MOV;*.MP4;*.MPEG;*.MPG;"
             "*.NSV;*.OGM;*.RM;*.RMVB;*.TP;*.TS;*.VOB;*.WMV;*.F4v;*.DV"},
            {"AVI Video File(*.avi)", "*.AVI"},
            {"MPEG4 File(*.mp4)", "*.MP4"},
            {"MPEG File(*.mpg; *.mpeg)", "*.MPG;*.MPEG"},
            {"3GP File(*.3gp; *.2g2)", "*.3GP;*.2G2"},
            {"MOD File(*.mod)", "*.MOD"},
            {"TOD File(*.tod)", "*.TOD"},
            {"Real Media File(*.rm; *.rmvb)", "*.RM;*.RMVB"},
            {"Video CD File(*.dat)", "*.DAT"},
            {"Quick Time File(*.mov; *.qt)", "*.MOV; *.QT"},
            {"Flash Video File(*.flv; *.f4v)", "*.FLV;*.F4V"},
            {"MKV File(*.mkv)", "*.MKV"},
            {"Digital Video Files(*.dv)", "*.DV"},
            {"DVD File(*.vob)", "*.VOB"},
            {"High-definition File(*.ts)", "*.TS"},
            {"Nullsoft Stream File(*.nsv)", "*.NSV"},
            {"Advanced System File(*.asf)", "*.ASF"},
            {"All Files(*.*)", "*"}, // on Linux "*.*" would hide names without a dot
        };
        QStringList result;
        for (const auto& [description, patterns] : table) {
            QStringList both;
            for (const QString& pattern : QString::fromLatin1(patterns).split(QLatin1Char(';'))) {
                const QString trimmed = pattern.trimmed();
                for (const QString& variant : {trimmed.toUpper(), trimmed.toLower()}) {
                    if (!both.contains(variant))
                        both << variant;
                }
            }
            result << QStringLiteral("%1 (%2)").arg(QLatin1String(description),
                                                    both.join(QLatin1Char(' ')));
        }
        return result;
    }();
    return filters;
}

void TMainfrm::SetCommandMode(TCommandMode mode) {
    FCommandMode = mode;
    const bool edit = mode == cmPlainItem;
    const bool clip = mode == cmPlainItem || mode == cmClip;
    const bool merge = mode == cmPlainItem || mode == cmSeveralTopLevel || mode == cmMergeItem;
    const bool formats = mode == cmPlainItem || mode == cmMergeItem || mode == cmClip;
    btnEdit->setEnabled(edit);
    mniEdit->setEnabled(edit);
    btnClip->setEnabled(clip);
    mniClip->setEnabled(clip);
    btnMerge->setEnabled(merge);
    mniMerge->setEnabled(merge);
    btnFormats->setEnabled(formats);
    mniFormats->setEnabled(formats);
    mniRename->setEnabled(formats);
}

// --- Adding files ----------------------------------------------------------------------------

void TMainfrm::btnAddClick() {
    const QStringList files =
        Prompts().OpenFiles(this, AppSettings().SourcePath, AddFilesFilters());
    if (files.isEmpty())
        return;
    StoreSetting(TSettingKey::SourcePath,
                 WithTrailingSlash(QFileInfo(files.first()).absolutePath()));
    AddFiles(files);
    btnStart->setEnabled(true);
}

void TMainfrm::AddFiles(const QStringList& files) {
    const QString outputFolder = AppSettings().OutputPath;
    TAddFilefrm loading(this, files, [this, &outputFolder](const QString& file, QString* reason) {
        return FList.AddSourceFile(file, FFEncoder.Decoder(), outputFolder, reason);
    });
    loading.exec();
    const QStringList& failed = loading.Failed();
    if (failed.isEmpty())
        return;
    Prompts().Beep();
    Prompts().Warning(this, QStringLiteral("%1 files have been loaded successfully,%2 files "
                                           "failed.\r\nunloaded files:\r\n%3")
                                .arg(files.size() - failed.size())
                                .arg(failed.size())
                                .arg(failed.join(QStringLiteral("\r\n"))));
}

void TMainfrm::AddDroppedFiles(const QStringList& files) {
    AddFiles(files);
    btnStart->setEnabled(FList.TopLevelCount() > 0);
}

// --- List operations -------------------------------------------------------------------------

void TMainfrm::VSTFileChange() {
    if (const TJobRow* row = FList.Focused())
        SetPreviewTitle(row->Item.DisplayName.isEmpty()
                            ? QFileInfo(row->Item.InputOptions.FileName).fileName()
                            : row->Item.DisplayName);
    mniFile->setEnabled(false);
    mniRemove->setEnabled(true);

    std::vector<const TJobRow*> selected;
    for (const TJobRow* row : FList.AllRows()) {
        if (row->Selected)
            selected.push_back(row);
    }
    CanPlay = false;
    if (selected.empty()) {
        mniRemove->setEnabled(false);
        if (!IsPlaying)
            SetPreviewIdle(false);
        SetCommandMode(cmNothing);
        return;
    }
    if (selected.size() == 1) {
        const TJobRow* row = selected.front();
        mniFile->setEnabled(true);
        if (row->Item.IsMerge) {
            SetCommandMode(cmMergeItem);
        } else {
            SetCommandMode(cmPlainItem);
            if (row->IsMergeMember())
                SetCommandMode(cmNothing);
            else if (row->IsClip())
                SetCommandMode(cmClip);
            CanPlay = true;
        }
    } else {
        const bool anyChild = std::any_of(selected.begin(), selected.end(),
                                          [](const TJobRow* row) { return !row->IsTopLevel(); });
        SetCommandMode(anyChild ? cmNothing : cmSeveralTopLevel);
    }
    // While playing, the preview stops a moment after the last change of the selection.
    if (IsPlaying)
        TmrStop->start();
    else
        SetPreviewIdle(CanPlay);
}

void TMainfrm::VSTFileContextMenu(const QPoint& position) {
    StopPreview();
    PopupMenu->popup(VSTFile->viewport()->mapToGlobal(position));
}

void TMainfrm::mniRemoveClick() {
    StopPreview();
    FList.RemoveSelectedItems();
    if (FList.TopLevelCount() == 0)
        btnStart->setEnabled(false);
    if (FList.SelectedCount() > 0)
        return;
    mniRemove->setEnabled(false);
    SetPreviewIdle(false);
    SetCommandMode(cmNothing);
    SetPreviewTitle(QStringLiteral("Reelcaster"));
}

void TMainfrm::mniClearAllClick() {
    FList.Clear();
    btnStart->setEnabled(false);
    StopPreview();
    SetPreviewTitle(QStringLiteral("Reelcaster"));
}

void TMainfrm::mniRenameClick() {
    VSTFile->StartRename(FList.GetSelectedItem());
}

void TMainfrm::chkallClick() {
    FList.SetAllChecked(chkall->isChecked());
    VSTFile->setFocus();
}

void TMainfrm::btnMergeClick() {
    if (FList.SelectedCount() < 2) {
        Prompts().Beep();
        Prompts().Information(
            this, QStringLiteral("Only choose two or more files can you start to merge."));
        return;
    }
    FList.MergeSelected(edtoutput->text());
    VSTFile->setFocus();
}

void TMainfrm::btnClipClick() {
    if (FList.Focused() == nullptr)
        return;
    StopPreview();
    DetachPlayerHandlers(); // the clip window takes the player over
    TJobRow* owner = FList.GetClipOwner();
    FList.LoadClipList(owner);
    if (OpenClip)
        OpenClip(owner);
    AttachPlayerHandlers();
    ClipList().clear();
    VSTFile->setFocus();
    FList.DeselectAll();
    FList.SetSelected(owner, true);
    FList.SetFocused(owner);
}

void TMainfrm::btnEditClick() {
    TJobRow* row = FList.GetSelectedItem();
    if (row == nullptr)
        return;
    StopPreview();
    DetachPlayerHandlers(); // the edit window takes the player over
    if (OpenEdit)
        OpenEdit(row);
    AttachPlayerHandlers();
    VSTFile->setFocus();
}

void TMainfrm::btnFormatsClick() {
    TJobRow* row = FList.GetSelectedItem();
    if (row == nullptr)
        return;
    PausePreview();
    TFormatsfrm formats(FList, *row, edtoutput->text(), this);
    formats.exec();
}

void TMainfrm::mniFileClick() {
    const TJobRow* row = FList.GetSelectedItem();
    if (row == nullptr)
        return;
    PausePreview();
    TFilePropertiesFrm properties(row->Item, FFEncoder.Decoder(), this);
    properties.exec();
}

// --- Output folder and conversion ------------------------------------------------------------

void TMainfrm::btnChangeClick() {
    const QString folder =
        Prompts().ChooseFolder(this, QStringLiteral("Select Output Folder"), edtoutput->text());
    if (folder.isEmpty())
        return;
    if (IsOnCdRom && IsOnCdRom(folder)) {
        Prompts().Beep();
        Prompts().Information(this, QStringLiteral("Output folder cannot be located in CD-ROM!"));
        return;
    }
    edtoutput->setText(folder);
    if (folder == AppSettings().OutputPath)
        return;
    StoreSetting(TSettingKey::OutputPath, folder);
    FList.ChangeOutputFolder(folder);
}

void TMainfrm::btnBrowseClick() {
    Prompts().OpenFolder(AppSettings().OutputPath);
}

void TMainfrm::btnOptionClick() {
    Toptionfrm options(this);
    options.IsOnCdRom = IsOnCdRom;
    options.exec();
}

void TMainfrm::btnStartClick() {
    if (!FList.HasCheckedItem()) {
        Prompts().Beep();
        Prompts().Information(this,
                              QStringLiteral("Please select at least one file needed to convert!"));
        return;
    }
    StopPreview();
    if (OpenConversion)
        OpenConversion();
}

// --- Help ------------------------------------------------------------------------------------

void TMainfrm::mniHelpClick() {
    OpenWebPage(ReadWebAddresses(ResourcePath(QStringLiteral("URL.cfg"))).HelpPage);
}

void TMainfrm::mniAboutClick() {
    Taboutfrm about(this);
    about.exec();
}
