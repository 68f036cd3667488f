#include "core/PromptService.h"

#include <cstdio>

namespace {

// What a program without windows answers: nobody is there to ask.
class THeadlessPrompts : public IPromptService {
public:
    void Beep() override {}
    void Information(QWidget*, const QString& text) override { Print("Information", text); }
    void Warning(QWidget*, const QString& text) override { Print("Warning", text); }
    void Error(QWidget*, const QString& text) override { Print("Error", text); }
    bool Confirm(QWidget*, const QString& text) override {
        Print("Confirm", text);
        return false;
    }
    TAnswer AskYesNoCancel(QWidget*, const QString& text) override {
        Print("Question", text);
        return TAnswer::Cancel;
    }
    QStringList OpenFiles(QWidget*, const QString&, const QStringList&) override { return {}; }
    QString OpenPicture(QWidget*, const QString&, const QStringList&) override { return {}; }
    bool ChooseFont(QWidget*, QFont&, QColor&) override { return false; }
    QString ChooseFolder(QWidget*, const QString&, const QString&) override { return {}; }
    void OpenFolder(const QString&) override {}
    void OpenAddress(const QString&) override {}

private:
    static void Print(const char* caption, const QString& text) {
        std::fprintf(stderr, "%s: %s\n", caption, text.toLocal8Bit().constData());
    }
};

IPromptService*& Current() {
    static THeadlessPrompts headless;
    static IPromptService* current = &headless;
    return current;
}

} // namespace

IPromptService& Prompts() {
    return *Current();
}

TPromptOverride::TPromptOverride(IPromptService& service) : FPrevious(Current()) {
    Current() = &service;
}

TPromptOverride::~TPromptOverride() {
    Current() = FPrevious;
}
