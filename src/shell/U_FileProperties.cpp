#include "shell/U_FileProperties.h"

#include "core/U_Treelist.h"
#include "core/U_TreelistFormat.h"
#include "engine/probe/FFDecode.h"

#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLabel* MakeValue(QWidget* parent, const char* name) {
    auto* label = new QLabel(QStringLiteral("unknown"), parent);
    label->setObjectName(QLatin1String(name));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}

struct TValueRow {
    const char* Caption;
    const char* Name;
    QLabel** Value;
};

// A group of captioned value labels, each "unknown" at first.
QGroupBox* MakeValueGroup(QWidget* parent, const QString& title,
                          std::initializer_list<TValueRow> rows) {
    auto* group = new QGroupBox(title, parent);
    auto* form = new QFormLayout(group);
    for (const TValueRow& row : rows) {
        *row.Value = MakeValue(group, row.Name);
        form->addRow(QLatin1String(row.Caption), *row.Value);
    }
    return group;
}

// kbit/s of a bit rate the file states; nothing when it states none.
QString BitRateText(int32_t bitsPerSecond) {
    return bitsPerSecond > 0 ? QString::asprintf("%d kbps", bitsPerSecond / 1000) : QString();
}

} // namespace

TFilePropertiesFrm::TFilePropertiesFrm(const TFileOption& item, TCustomDecoder& decoder,
                                       QWidget* parent)
    : TSkinnedDialog(parent, QStringLiteral("File Properties"), FrameSet | CaptionButtonSet),
      FItem(item), FDecoder(decoder) {
    setObjectName(QStringLiteral("FilePropertiesFrm"));
    setWindowTitle(QStringLiteral("File Properties"));
    resize(kSize);
    BuildControls();
    CentreOnDesktop(this);
}

void TFilePropertiesFrm::BuildControls() {
    auto* column = new QVBoxLayout(Content());
    column->setContentsMargins(16, 8, 16, 10);
    column->setSpacing(6);
    auto* file = new QFormLayout;
    lblFileName = MakeValue(Content(), "lblFileName");
    lblTimeLength = MakeValue(Content(), "lblTimeLength");
    file->addRow(QStringLiteral("File Name:"), lblFileName);
    file->addRow(QStringLiteral("Time Length:"), lblTimeLength);
    column->addLayout(file);

    auto* groups = new QHBoxLayout;
    groups->addWidget(MakeValueGroup(Content(), QStringLiteral("Video"),
                                     {{"Resolution:", "lblResolution", &lblResolution},
                                      {"Bit Rate:", "lblVideoBitRate", &lblVideoBitRate},
                                      {"Frame Rate:", "lblFrameRate", &lblFrameRate}}),
                      1);
    groups->addWidget(MakeValueGroup(Content(), QStringLiteral("Audio"),
                                     {{"Sample Rate:", "lblSampleRate", &lblSampleRate},
                                      {"Channel:", "lblChannel", &lblChannel},
                                      {"Bit Rate:", "lblAudioBitRate", &lblAudioBitRate}}),
                      1);
    column->addLayout(groups);
    column->addStretch(1);

    auto* bottom = new QHBoxLayout;
    btnOK = new QPushButton(QStringLiteral("OK"), Content());
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    bottom->addStretch(1);
    bottom->addWidget(btnOK);
    column->addLayout(bottom);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TFilePropertiesFrm::FirstShow() {
    const QString name = FItem.DisplayName.isEmpty()
                             ? QFileInfo(FItem.InputOptions.FileName).fileName()
                             : FItem.DisplayName;
    Content()->layout()->activate();
    lblFileName->setText(FitLabelText(lblFileName->fontMetrics(), lblFileName->width(), name));
    lblFileName->setToolTip(name);
    lblTimeLength->setText(FormatSeconds(FItem.Duration / 1000000));
    lblResolution->setText(FItem.SourceFrameSize);
    ShowStreams();
    btnOK->setFocus();
}

void TFilePropertiesFrm::ShowStreams() {
    if (!FDecoder.LoadFile(FItem.InputOptions.FileName))
        return; // the stream values stay "unknown"
    // Stream by stream: a later one of a kind is what shows.
    for (int index = 0; index < FDecoder.StreamCount(); ++index) {
        TVideoStreamInfo video;
        TAudioStreamInfo audio;
        if (FDecoder.IsVideoStream(index) && FDecoder.GetVideoStreamInfo(index, video)) {
            if (video.FrameRateNum > 0 && video.FrameRateDen > 0)
                lblFrameRate->setText(
                    QString::asprintf("%.2f fps", double(video.FrameRateNum) / video.FrameRateDen));
            if (const QString rate = BitRateText(video.BitRate); !rate.isEmpty())
                lblVideoBitRate->setText(rate);
        } else if (FDecoder.IsAudioStream(index) && FDecoder.GetAudioStreamInfo(index, audio)) {
            if (const QString rate = BitRateText(audio.BitRate); !rate.isEmpty())
                lblAudioBitRate->setText(rate);
            if (audio.SampleRate > 0)
                lblSampleRate->setText(QString::asprintf("%d Hz", audio.SampleRate));
            if (audio.Channels > 0)
                lblChannel->setText(audio.Channels == 1 ? QStringLiteral("Mono")
                                                        : QStringLiteral("Stereo"));
        }
    }
    FDecoder.CloseFile();
}
