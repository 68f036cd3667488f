#include "shell/U_option.h"

#include "core/AppFolders.h"
#include "core/AppSettings.h"
#include "core/PromptService.h"
#include "shell/U_MainIcons.h"

#include <QAction>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace {

constexpr QSize kOptionSize(451, 235);

// The fields in the dark look of the main window.
constexpr char kFieldStyle[] =
    "QLineEdit, QComboBox { background: #15181d; color: #e6e9ef; border: 1px solid #3a404c;"
    " border-radius: 4px; padding: 3px 6px; selection-background-color: #208ade; }"
    "QComboBox QAbstractItemView { background: #15181d; color: #e6e9ef;"
    " selection-background-color: #208ade; }"
    "QComboBox::drop-down { border: none; width: 20px; }"
    "QLineEdit:focus, QComboBox:focus { border-color: #208ade; }";

} // namespace

Toptionfrm::Toptionfrm(QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral("Option"), FrameSet | ButtonSet | CaptionButtonSet),
      IsOnCdRom(IsOnOpticalDisc) {
    setObjectName(QStringLiteral("optionfrm"));
    Content()->setStyleSheet(QLatin1String(kFieldStyle));
    auto* layout = new QVBoxLayout(Content());
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(10);

    auto* group = new QGroupBox(QStringLiteral("Snapshot"), Content());
    group->setObjectName(QStringLiteral("grpSnapshot"));
    auto* grid = new QGridLayout(group);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(10);
    auto* dirLabel = new QLabel(QStringLiteral("Dir:"), group);
    EdtPath = new QLineEdit(group);
    EdtPath->setObjectName(QStringLiteral("EdtPath"));
    EdtPath->setReadOnly(true); // only the folder button changes it
    actChooseFolder =
        EdtPath->addAction(MainIcon(TMainIcon::OpenFolder, 16), QLineEdit::TrailingPosition);
    actChooseFolder->setObjectName(QStringLiteral("actChooseFolder"));
    actChooseFolder->setToolTip(QStringLiteral("Select Output Folder"));
    btnBrowse = new TPictureButton(QStringLiteral("btnBrowse"), QStringLiteral("Browse"), group);
    dirLabel->setBuddy(EdtPath);
    auto* formatLabel = new QLabel(QStringLiteral("Format:"), group);
    CbbFormat = new QComboBox(group);
    CbbFormat->setObjectName(QStringLiteral("CbbFormat"));
    CbbFormat->addItems(
        {QStringLiteral("Bitmap File(*.bmp)"), QStringLiteral("JPEG Image File(*.jpg)")});
    formatLabel->setBuddy(CbbFormat);
    grid->addWidget(dirLabel, 0, 0);
    grid->addWidget(EdtPath, 0, 1);
    grid->addWidget(btnBrowse, 0, 2);
    grid->addWidget(formatLabel, 1, 0);
    grid->addWidget(CbbFormat, 1, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(group, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    btnOK = new TPictureButton(QStringLiteral("btnOK"), QStringLiteral("OK"), Content());
    btnCancel =
        new TPictureButton(QStringLiteral("btnCancel"), QStringLiteral("Cancel"), Content());
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(actChooseFolder, &QAction::triggered, this, &Toptionfrm::ChooseFolderClick);
    connect(btnBrowse, &QAbstractButton::clicked, this, &Toptionfrm::btnBrowseClick);
    connect(btnOK, &QAbstractButton::clicked, this, &Toptionfrm::btnOKClick);
    connect(btnCancel, &QAbstractButton::clicked, this, &QDialog::reject);

    setFixedSize(kOptionSize);
    CentreOnDesktop(this);

    EdtPath->setText(AppSettings().SnapshotPath);
    for (int i = 0; i < CbbFormat->count(); ++i) {
        if (ExtensionOf(CbbFormat->itemText(i)) == AppSettings().SnapshotExt) {
            CbbFormat->setCurrentIndex(i);
            break;
        }
    }
}

QString Toptionfrm::ExtensionOf(const QString& entry) {
    const int star = entry.indexOf(QStringLiteral("*."));
    if (star < 0 || entry.size() < star + 3)
        return QString();
    return entry.mid(star + 2, entry.size() - star - 3);
}

void Toptionfrm::FirstShow() {
    btnOK->setFocus();
}

void Toptionfrm::ChooseFolderClick() {
    const QString folder =
        Prompts().ChooseFolder(this, QStringLiteral("Select Output Folder"), EdtPath->text());
    if (folder.isEmpty())
        return;
    if (IsOnCdRom && IsOnCdRom(folder)) {
        Prompts().Information(this, QStringLiteral("Output folder cannot be located in CD-ROM."));
        return;
    }
    EdtPath->setText(WithTrailingSlash(folder));
}

void Toptionfrm::btnBrowseClick() {
    Prompts().OpenFolder(EdtPath->text());
}

void Toptionfrm::btnOKClick() {
    if (EdtPath->text() != AppSettings().SnapshotPath)
        StoreSetting(TSettingKey::SnapshotPath, EdtPath->text());
    const QString extension = ExtensionOf(CbbFormat->currentText());
    if (extension != AppSettings().SnapshotExt)
        StoreSetting(TSettingKey::SnapshotExt, extension);
    accept();
}
