#pragma once

// The options window: where snapshots are saved and in which picture format. OK writes what
// changed to the settings; Cancel and the close box write nothing.

#include "shell/SkinnedDialog.h"

#include <functional>

class QComboBox;
class QLineEdit;
class TPictureButton;

class Toptionfrm : public TSkinnedDialog {
    Q_OBJECT

public:
    explicit Toptionfrm(QWidget* parent = nullptr);

    // The snapshot extension of a format entry: between its "*." and its closing bracket.
    static QString ExtensionOf(const QString& entry);

    // Whether a folder lies on an optical disc (replaceable for tests).
    std::function<bool(const QString&)> IsOnCdRom;

    QLineEdit* EdtPath = nullptr;
    QAction* actChooseFolder = nullptr; // the small button at the right end of EdtPath
    TPictureButton* btnBrowse = nullptr;
    QComboBox* CbbFormat = nullptr;
    TPictureButton* btnOK = nullptr;
    TPictureButton* btnCancel = nullptr;

    void ChooseFolderClick();
    void btnBrowseClick();
    void btnOKClick();

protected:
    void FirstShow() override;
};
