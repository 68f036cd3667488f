#pragma once

// A prompt service that answers instead of a user and records what it was asked.

#include "shell/PromptService.h"

#include <QStringList>

class TFakePrompts : public IPromptService {
public:
    TFakePrompts() : FOverride(*this) {}

    void Beep() override { Calls << QStringLiteral("Beep"); }
    void Information(QWidget*, const QString& text) override {
        Calls << QStringLiteral("Information: ") + text;
    }
    void Warning(QWidget*, const QString& text) override {
        Calls << QStringLiteral("Warning: ") + text;
    }
    void Error(QWidget*, const QString& text) override {
        Calls << QStringLiteral("Error: ") + text;
    }
    bool Confirm(QWidget*, const QString& text) override {
        Calls << QStringLiteral("Confirm: ") + text;
        return ConfirmAnswer;
    }
    QStringList OpenFiles(QWidget*, const QString& startFolder, const QStringList&) override {
        Calls << QStringLiteral("OpenFiles: ") + startFolder;
        return FilesToOpen;
    }
    QString ChooseFolder(QWidget*, const QString& title, const QString& startFolder) override {
        Calls << QStringLiteral("ChooseFolder: %1 at %2").arg(title, startFolder);
        return FolderToChoose;
    }
    void OpenFolder(const QString& folder) override {
        Calls << QStringLiteral("OpenFolder: ") + folder;
    }

    QStringList Calls;
    QStringList FilesToOpen;
    QString FolderToChoose;
    bool ConfirmAnswer = true;

private:
    TPromptOverride FOverride;
};
