#pragma once

// The file properties window: a job item's name, length and picture size, and what its file's
// video and audio streams are, read again with the given (probing) decoder. It changes nothing.
// GUI thread only.

#include "shell/SkinnedDialog.h"

class QLabel;
class QPushButton;
class TCustomDecoder;
struct TFileOption;

class TFilePropertiesFrm : public TSkinnedDialog {
    Q_OBJECT

public:
    static constexpr QSize kSize{432, 285};

    TFilePropertiesFrm(const TFileOption& item, TCustomDecoder& decoder, QWidget* parent = nullptr);

    // Value labels, named as in the design; each starts as "unknown".
    QLabel* lblFileName = nullptr;
    QLabel* lblTimeLength = nullptr;
    QLabel* lblResolution = nullptr;
    QLabel* lblVideoBitRate = nullptr;
    QLabel* lblFrameRate = nullptr;
    QLabel* lblSampleRate = nullptr;
    QLabel* lblChannel = nullptr;
    QLabel* lblAudioBitRate = nullptr;
    QPushButton* btnOK = nullptr;

protected:
    void FirstShow() override;

private:
    void BuildControls();
    void ShowStreams();

    const TFileOption& FItem;
    TCustomDecoder& FDecoder;
};
