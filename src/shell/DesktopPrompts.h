#pragma once

#include "core/PromptService.h"

// The prompt service of the desktop: Qt's message boxes and file dialogs, the desktop's beep,
// folders and addresses opened by the desktop's handlers. Main thread only.
class TDesktopPrompts : public IPromptService {
public:
    void Beep() override;
    void Information(QWidget* parent, const QString& text) override;
    void Warning(QWidget* parent, const QString& text) override;
    void Error(QWidget* parent, const QString& text) override;
    bool Confirm(QWidget* parent, const QString& text) override;
    TAnswer AskYesNoCancel(QWidget* parent, const QString& text) override;
    QStringList OpenFiles(QWidget* parent, const QString& startFolder,
                          const QStringList& filters) override;
    QString OpenPicture(QWidget* parent, const QString& startFolder,
                        const QStringList& filters) override;
    // Qt's font dialog with a "Colour..." button beside OK and Cancel.
    bool ChooseFont(QWidget* parent, QFont& font, QColor& color) override;
    QString ChooseFolder(QWidget* parent, const QString& title,
                         const QString& startFolder) override;
    void OpenFolder(const QString& folder) override;
    void OpenAddress(const QString& address) override;
};
