#include "formats/U_Formats.h"

#include "core/AppFolders.h"
#include "core/MrvLog.h"
#include "core/PromptService.h"
#include "core/U_TreelistModel.h"
#include "core/U_XML.h"
#include "formats/WatermarkRescale.h"
#include "shell/uLoadUI.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace {

QComboBox* MakeList(QWidget* parent, const char* name) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setMinimumWidth(150);
    return list;
}

QSpinBox* MakeNumberField(QWidget* parent, const char* name, int maximum) {
    auto* field = new QSpinBox(parent);
    field->setObjectName(QLatin1String(name));
    field->setRange(0, maximum);
    return field;
}

void Select(QComboBox* list, int position) {
    if (position >= 0)
        list->setCurrentIndex(position);
}

QStringList EntriesOf(const QComboBox* list) {
    QStringList entries;
    for (int i = 0; i < list->count(); ++i)
        entries << list->itemText(i);
    return entries;
}

} // namespace

TFormatsfrm::TFormatsfrm(TJobList& list, TJobRow& row, const QString& outputFolder, QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral("Formats"), FrameSet | ButtonSet | CaptionButtonSet),
      FList(list), FRow(row), FOutputFolder(outputFolder) {
    setObjectName(QStringLiteral("Formatsfrm"));
    setWindowTitle(QStringLiteral("Formats"));
    BuildControls();
    ConnectControls();
    CentreOnDesktop(this);
}

TFormatsfrm::~TFormatsfrm() {
    // Hiding moves the focus: leaving the volume field must not reach a half-destroyed window.
    disconnect(edtVolume, nullptr, this, nullptr);
    hide();
}

// --- Building ----------------------------------------------------------------------------------

void TFormatsfrm::BuildControls() {
    auto* column = new QVBoxLayout(Content());
    column->setContentsMargins(16, 12, 16, 14);
    column->setSpacing(10);

    auto* top = new QFormLayout;
    cbbFormat = MakeList(Content(), "cbbFormat");
    cbbFormat->setMinimumWidth(300);
    cbbExt = MakeList(Content(), "cbbExt");
    top->addRow(QStringLiteral("Profiles:"), cbbFormat);
    top->addRow(QStringLiteral("Format:"), cbbExt);
    column->addLayout(top);

    auto* groups = new QHBoxLayout;
    groups->setSpacing(12);
    gprVideo = new QGroupBox(QStringLiteral("Video"), Content());
    gprVideo->setObjectName(QStringLiteral("gprVideo"));
    auto* video = new QFormLayout(gprVideo);
    cbbVideoEncoder = MakeList(gprVideo, "cbbVideoEncoder");
    cbbVideoEncoder->setMaxVisibleItems(12);
    cbbVideoBitRate = MakeList(gprVideo, "cbbVideoBitRate");
    cbbFrameRate = MakeList(gprVideo, "cbbFrameRate");
    edtWidth = MakeNumberField(gprVideo, "edtWidth", kMaxSide);
    edtHeight = MakeNumberField(gprVideo, "edtHeight", kMaxSide);
    chkVideo = new QCheckBox(QStringLiteral("Proportional"), gprVideo);
    chkVideo->setObjectName(QStringLiteral("chkVideo"));
    chkVideo->setChecked(true);
    video->addRow(QStringLiteral("Encoder:"), cbbVideoEncoder);
    video->addRow(QStringLiteral("Bit Rate:"), cbbVideoBitRate);
    video->addRow(QStringLiteral("Frame Rate:"), cbbFrameRate);
    video->addRow(QStringLiteral("Width:"), edtWidth);
    video->addRow(QStringLiteral("Height:"), edtHeight);
    video->addRow(QString(), chkVideo);
    groups->addWidget(gprVideo);

    gprAudio = new QGroupBox(QStringLiteral("Audio"), Content());
    gprAudio->setObjectName(QStringLiteral("gprAudio"));
    auto* audio = new QFormLayout(gprAudio);
    cbbAudioEncoder = MakeList(gprAudio, "cbbAudioEncoder");
    cbbChannels = MakeList(gprAudio, "cbbChannels");
    cbbSampleRate = MakeList(gprAudio, "cbbSampleRate");
    cbbAudioBitRate = MakeList(gprAudio, "cbbAudioBitRate");
    edtVolume = MakeNumberField(gprAudio, "edtVolume", 999); // above 256 is said on leaving
    edtVolume->setValue(kMaxVolume);
    chkAudio = new QCheckBox(QStringLiteral("Enable Audio"), gprAudio);
    chkAudio->setObjectName(QStringLiteral("chkAudio"));
    chkAudio->setChecked(true);
    const struct {
        const char* Label;
        QWidget* Field;
    } audioRows[] = {{"Encoder:", cbbAudioEncoder},
                     {"Channels:", cbbChannels},
                     {"Sample Rate:", cbbSampleRate},
                     {"Bit Rate:", cbbAudioBitRate},
                     {"Volume:", edtVolume}};
    for (const auto& row : audioRows) {
        auto* label = new QLabel(QLatin1String(row.Label), gprAudio);
        label->setBuddy(row.Field);
        audio->addRow(label, row.Field);
        FAudioControls << label << row.Field;
    }
    audio->addRow(QString(), chkAudio);
    groups->addWidget(gprAudio);
    column->addLayout(groups);

    AddOkCancelRow(column, btnOK, btnCancel);
}

void TFormatsfrm::ConnectControls() {
    connect(btnOK, &QAbstractButton::clicked, this, &TFormatsfrm::btnOKClick);
    connect(btnCancel, &QAbstractButton::clicked, this, &TFormatsfrm::reject);
    // activated: only what the user picks, not what the window selects.
    connect(cbbFormat, &QComboBox::activated, this, &TFormatsfrm::FormatChanged);
    for (QComboBox* list : {cbbExt, cbbVideoEncoder, cbbVideoBitRate, cbbFrameRate, cbbAudioEncoder,
                            cbbChannels, cbbSampleRate, cbbAudioBitRate})
        connect(list, &QComboBox::activated, this, &TFormatsfrm::SetCustom);
    connect(edtWidth, &QSpinBox::valueChanged, this, &TFormatsfrm::WidthEdited);
    connect(edtHeight, &QSpinBox::valueChanged, this, &TFormatsfrm::HeightEdited);
    connect(edtVolume, &QSpinBox::valueChanged, this, [this] {
        if (!FUpdating)
            SetCustom();
    });
    connect(edtVolume, &QSpinBox::editingFinished, this, &TFormatsfrm::VolumeLeft);
    for (QSpinBox* field : {edtWidth, edtHeight, edtVolume}) {
        // A field emptied by a key reads 0.
        connect(field->findChild<QLineEdit*>(), &QLineEdit::textEdited, this,
                [field](const QString& text) {
                    if (text.isEmpty()) {
                        field->setValue(0);
                        field->findChild<QLineEdit*>()->setText(QStringLiteral("0"));
                        field->selectAll();
                    }
                });
    }
    connect(chkAudio, &QCheckBox::clicked, this, &TFormatsfrm::EnableAudioControls);
}

// --- Opening -----------------------------------------------------------------------------------

void TFormatsfrm::FirstShow() {
    ActivityLog().WriteInfo(QStringLiteral("Enter TFormatsfrm"));
    btnOK->setFocus();
    if (!LoadLists())
        return;
    const TFileOption& item = FRow.Item;
    FUpdating = true;
    const QSize size = StoredSize();
    edtWidth->setValue(size.width());
    edtHeight->setValue(size.height());
    edtVolume->setValue(item.OutputOptions.AudioVolume);
    FUpdating = false;
    if (item.OutputOptions.DisableAudio) {
        chkAudio->setChecked(false);
        EnableAudioControls(false);
    }
    const int index = item.FormatIndex;
    if (index >= 1 && index <= FProfileCount) {
        cbbFormat->setCurrentIndex(index - 1);
        ApplyProfile(index, false);
        LockContainer(cbbVideoEncoder->currentIndex() == 1); // the H.264 entry
    } else {
        // Custom values, also those of a profile the file no longer has.
        cbbFormat->setCurrentIndex(CustomPosition());
        RestoreCustomValues();
        LockContainer(item.OutputOptions.VideoCodec == QLatin1String("libx264"));
    }
}

bool TFormatsfrm::LoadLists() {
    if (!LoadFormatProfiles(ResourcePath(QStringLiteral("Format.dat"))))
        return false;
    const QList<TOOXML>& rows = FormatProfiles();
    if (rows.isEmpty())
        return false;
    // The lists tell only what the user picks (activated): selecting here is no user change.
    const TOOXML& lists = rows[kEntryListsRow];
    const struct {
        QComboBox* List;
        const QString& Entries;
    } fills[] = {{cbbVideoEncoder, lists.VEncoder}, {cbbFrameRate, lists.VFrameRate},
                 {cbbVideoBitRate, lists.VBitRate}, {cbbAudioEncoder, lists.AEncoder},
                 {cbbChannels, lists.AChannel},     {cbbSampleRate, lists.ASampleRate},
                 {cbbAudioBitRate, lists.ABitRate}, {cbbExt, lists.VFormat}};
    for (const auto& fill : fills)
        fill.List->addItems(FillComboFromList(fill.Entries));
    // The window applies four profiles at most; "Custom" follows them.
    FProfileCount = std::min<int>(int(rows.size()) - 1, kLastProfileRow);
    for (int row = kFirstProfileRow; row <= FProfileCount; ++row)
        cbbFormat->addItem(rows[row].Name);
    cbbFormat->addItem(QStringLiteral("Custom"));
    return true;
}

// Selects the entries profile row `row` names; a row that names no entry changes nothing.
void TFormatsfrm::ApplyProfile(int row, bool tellFailure) {
    TFormatChoice choice;
    QString error;
    if (!ProfileChoice(row, choice, &error)) {
        ActivityLog().WriteError(error);
        if (tellFailure)
            Prompts().Error(this, error);
        return;
    }
    const struct {
        QComboBox* List;
        const QString& Entry;
    } picks[] = {{cbbVideoEncoder, choice.VideoEncoder}, {cbbFrameRate, choice.FrameRate},
                 {cbbVideoBitRate, choice.VideoBitRate}, {cbbAudioEncoder, choice.AudioEncoder},
                 {cbbChannels, choice.Channels},         {cbbSampleRate, choice.SampleRate},
                 {cbbAudioBitRate, choice.AudioBitRate}, {cbbExt, choice.Container}};
    for (const auto& pick : picks)
        Select(pick.List,
               pick.List->findText(pick.Entry, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

void TFormatsfrm::RestoreCustomValues() {
    const TOutputOptions& output = FRow.Item.OutputOptions;
    Select(cbbVideoEncoder, VideoCodecEntry(EntriesOf(cbbVideoEncoder), output.VideoCodec));
    Select(cbbVideoBitRate, BitRateEntry(EntriesOf(cbbVideoBitRate), output.VideoBitrate));
    Select(cbbFrameRate, FrameRateEntry(EntriesOf(cbbFrameRate), output.FrameRate));
    Select(cbbAudioEncoder, AudioCodecEntry(EntriesOf(cbbAudioEncoder), output.AudioCodec));
    Select(cbbChannels, ChannelsEntry(EntriesOf(cbbChannels), output.AudioChannels));
    Select(cbbSampleRate, SampleRateEntry(EntriesOf(cbbSampleRate), output.AudioSampleRate));
    Select(cbbAudioBitRate, BitRateEntry(EntriesOf(cbbAudioBitRate), output.AudioBitrate));
    Select(cbbExt, FileExtEntry(EntriesOf(cbbExt), output.FileExt));
}

QSize TFormatsfrm::StoredSize() const {
    int width = 0, height = 0;
    if (ParseFrameSize(FRow.Item.OutputFrameSize, &width, &height) && width > 0 && height > 0)
        return {width, height};
    width = height = 0;
    ParseFrameSize(FRow.Item.SourceFrameSize, &width, &height);
    return {width, height};
}

// --- User changes ------------------------------------------------------------------------------

void TFormatsfrm::FormatChanged() {
    const int position = cbbFormat->currentIndex();
    if (position >= 0 && position < FProfileCount)
        ApplyProfile(position + 1, true);
    // The H.264 entry goes into the first container only.
    const bool h264 = cbbVideoEncoder->currentIndex() == 1;
    if (h264)
        cbbExt->setCurrentIndex(0);
    LockContainer(h264);
}

void TFormatsfrm::LockContainer(bool locked) {
    cbbExt->setEnabled(!locked);
}

void TFormatsfrm::SetCustom() {
    if (cbbFormat->count() > 0)
        cbbFormat->setCurrentIndex(CustomPosition());
}

void TFormatsfrm::WidthEdited() {
    if (FUpdating)
        return;
    SetCustom();
    const QSize stored = StoredSize();
    if (!chkVideo->isChecked() || !edtWidth->hasFocus() || stored.isEmpty())
        return;
    const int width = std::min(edtWidth->value(), kMaxSide);
    const int height = std::max(0, int(int64_t(width) * stored.height() / stored.width()));
    if (height < edtHeight->maximum()) {
        FUpdating = true;
        edtHeight->setValue(height);
        FUpdating = false;
    }
}

void TFormatsfrm::HeightEdited() {
    if (FUpdating)
        return;
    SetCustom();
    const QSize stored = StoredSize();
    if (!chkVideo->isChecked() || !edtHeight->hasFocus() || stored.isEmpty())
        return;
    const int height = std::min(edtHeight->value(), kMaxSide);
    const int width = std::max(
        0, int(std::nearbyint(double(height) * stored.width() / stored.height()))); // ties to even
    FUpdating = true;
    edtWidth->setValue(width < edtWidth->maximum() ? width : kMaxSide);
    FUpdating = false;
}

void TFormatsfrm::VolumeLeft() {
    if (edtVolume->value() <= kMaxVolume)
        return;
    Prompts().Information(
        this, QStringLiteral("Please input an appropriate Volume.\r\n(Value range:0-256)"));
    edtVolume->setFocus();
}

void TFormatsfrm::EnableAudioControls(bool enabled) {
    for (QWidget* control : FAudioControls)
        control->setEnabled(enabled);
}

// --- OK ----------------------------------------------------------------------------------------

bool TFormatsfrm::CheckSize() {
    const int width = edtWidth->value();
    const int height = edtHeight->value();
    const bool widthBad = width < kMinSide || width > kMaxSide;
    const bool heightBad = height < kMinSide || height > kMaxHeight;
    if (!widthBad && !heightBad)
        return true;
    (heightBad ? edtHeight : edtWidth)->setFocus();
    Prompts().Information(this, QStringLiteral("Please input an appropriate resolution.\r\n"
                                               "(Values range:80x80-1920x1280)"));
    return false;
}

bool TFormatsfrm::CheckVolume() {
    if (!chkAudio->isChecked() || edtVolume->value() <= kMaxVolume)
        return true;
    VolumeLeft();
    return false;
}

TFormatChoice TFormatsfrm::Choice() const {
    TFormatChoice choice;
    const int position = cbbFormat->currentIndex();
    choice.Position = position < FProfileCount ? position : TFormatChoice::kCustomPosition;
    choice.VideoEncoder = cbbVideoEncoder->currentText();
    choice.FrameRate = cbbFrameRate->currentText();
    choice.VideoBitRate = cbbVideoBitRate->currentText();
    choice.Container = cbbExt->currentText();
    choice.AudioEncoder = cbbAudioEncoder->currentText();
    choice.Channels = cbbChannels->currentText();
    choice.SampleRate = cbbSampleRate->currentText();
    choice.AudioBitRate = cbbAudioBitRate->currentText();
    choice.EnableAudio = chkAudio->isChecked();
    choice.Width = QString::number(edtWidth->value());
    choice.Height = QString::number(edtHeight->value());
    choice.Volume = QString::number(edtVolume->value());
    return choice;
}

void TFormatsfrm::btnOKClick() {
    if (cbbFormat->currentIndex() < 0) {
        accept(); // nothing could be loaded: nothing to apply
        return;
    }
    if (!CheckSize() || !CheckVolume())
        return;
    // Everything is checked before the first change: a bad entry changes nothing at all.
    const TFormatChoice choice = Choice();
    QString error;
    if (!CheckFormatChoice(choice, &error)) {
        Prompts().Error(this, error);
        return;
    }
    RescaleWaterMark(FRow.Item, StoredSize(), QSize(edtWidth->value(), edtHeight->value()));
    ApplyFormatChoice(choice, FList, FRow, FOutputFolder, &error);
    accept();
}

void TFormatsfrm::done(int result) {
    ActivityLog().WriteInfo(QStringLiteral("Leave TFormatsfrm"));
    TSkinnedDialog::done(result);
}
