#pragma once

// A prompt service that answers instead of a user and records what it was asked.

#include "core/PromptService.h"

#include <QStringList>

#include <functional>
#include <optional>

class TFakePrompts : public IPromptService {
public:
    TFakePrompts() : FOverride(*this) {}

    void Beep() override { Record(QStringLiteral("Beep")); }
    void Information(QWidget*, const QString& text) override {
        Record(QStringLiteral("Information: ") + text);
    }
    void Warning(QWidget*, const QString& text) override {
        Record(QStringLiteral("Warning: ") + text);
    }
    void Error(QWidget*, const QString& text) override { Record(QStringLiteral("Error: ") + text); }
    bool Confirm(QWidget*, const QString& text) override {
        Record(QStringLiteral("Confirm: ") + text);
        return ConfirmAnswer;
    }
    TAnswer AskYesNoCancel(QWidget*, const QString& text) override {
        Record(QStringLiteral("YesNoCancel: ") + text);
        return YesNoCancelAnswer;
    }
    QStringList OpenFiles(QWidget*, const QString& startFolder, const QStringList&) override {
        Record(QStringLiteral("OpenFiles: ") + startFolder);
        return FilesToOpen;
    }
    QString OpenPicture(QWidget*, const QString& startFolder, const QStringList&) override {
        Record(QStringLiteral("OpenPicture: ") + startFolder);
        return PictureToOpen;
    }
    bool ChooseFont(QWidget*, QFont& font, QColor& color) override {
        Record(QStringLiteral("ChooseFont: ") + font.family());
        if (!FontToChoose)
            return false;
        font = *FontToChoose;
        color = ColorToChoose;
        return true;
    }
    QString ChooseFolder(QWidget*, const QString& title, const QString& startFolder) override {
        Record(QStringLiteral("ChooseFolder: %1 at %2").arg(title, startFolder));
        return FolderToChoose;
    }
    void OpenFolder(const QString& folder) override {
        Record(QStringLiteral("OpenFolder: ") + folder);
    }
    void OpenAddress(const QString& address) override {
        Record(QStringLiteral("OpenAddress: ") + address);
    }

    // Called with each question or message as it is asked, before it is answered.
    std::function<void(const QString&)> OnCall;
    QStringList Calls;
    QStringList FilesToOpen;
    QString FolderToChoose;
    QString PictureToOpen;
    std::optional<QFont> FontToChoose; // none: the font dialog is cancelled
    QColor ColorToChoose = Qt::white;
    bool ConfirmAnswer = true;
    TAnswer YesNoCancelAnswer = TAnswer::Cancel;

private:
    void Record(const QString& call) {
        Calls << call;
        if (OnCall)
            OnCall(call);
    }

    TPromptOverride FOverride;
};
