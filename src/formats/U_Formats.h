#pragma once

// The formats window: the output settings of one job item, as a profile of "Format.dat" or as
// custom values (encoders, rates, container, picture size, channels, volume). OK checks every
// value first and then applies all of them (moving the watermark with a new size); Cancel and
// the close box apply nothing. GUI thread only.

#include "core/U_FormatsChoice.h"
#include "shell/SkinnedDialog.h"

#include <QList>
#include <QSize>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QSpinBox;
class TJobList;
class TPictureButton;
struct TJobRow;

class TFormatsfrm : public TSkinnedDialog {
    Q_OBJECT

public:
    static constexpr int kMaxSide = 1920;   // what the size fields take
    static constexpr int kMinSide = 80;     // what OK accepts: 80x80 …
    static constexpr int kMaxHeight = 1280; // … 1920x1280
    static constexpr int kMaxVolume = 256;  // 256: unchanged

    // `row` is the item edited; a new output name goes into `outputFolder`.
    TFormatsfrm(TJobList& list, TJobRow& row, const QString& outputFolder,
                QWidget* parent = nullptr);
    ~TFormatsfrm() override;

    // Controls, named as in the design.
    QComboBox* cbbFormat = nullptr;
    QComboBox* cbbExt = nullptr;
    QGroupBox* gprVideo = nullptr;
    QComboBox* cbbVideoEncoder = nullptr;
    QComboBox* cbbVideoBitRate = nullptr;
    QComboBox* cbbFrameRate = nullptr;
    QSpinBox* edtWidth = nullptr;
    QSpinBox* edtHeight = nullptr;
    QCheckBox* chkVideo = nullptr; // "Proportional"
    QGroupBox* gprAudio = nullptr;
    QComboBox* cbbAudioEncoder = nullptr;
    QComboBox* cbbChannels = nullptr;
    QComboBox* cbbSampleRate = nullptr;
    QComboBox* cbbAudioBitRate = nullptr;
    QSpinBox* edtVolume = nullptr;
    QCheckBox* chkAudio = nullptr; // "Enable Audio"
    TPictureButton* btnOK = nullptr;
    TPictureButton* btnCancel = nullptr;

    // The position of "Custom" in cbbFormat (after the profiles the file has, four at most).
    int CustomPosition() const { return FProfileCount; }
    void btnOKClick();

protected:
    void FirstShow() override;
    void done(int result) override;

private:
    void BuildControls();
    void ConnectControls();
    bool LoadLists();
    void ApplyProfile(int row, bool tellFailure);
    void RestoreCustomValues();
    void FormatChanged();
    void SetCustom();
    void LockContainer(bool locked);
    void WidthEdited();
    void HeightEdited();
    void VolumeLeft();
    void EnableAudioControls(bool enabled);
    bool CheckSize();
    bool CheckVolume();
    TFormatChoice Choice() const;
    // The item's output size; its source size when the stored one is empty or zero.
    QSize StoredSize() const;

    TJobList& FList;
    TJobRow& FRow;
    QString FOutputFolder;
    int FProfileCount = 0;
    bool FUpdating = false;         // the window sets the number fields itself: no user change
    QList<QWidget*> FAudioControls; // the four audio lists, the volume field and their labels
};
