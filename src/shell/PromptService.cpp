#include "core/PromptService.h"

#include "core/AppFolders.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

namespace {

class TDesktopPrompts : public IPromptService {
public:
    void Beep() override { QApplication::beep(); }
    void Information(QWidget* parent, const QString& text) override {
        QMessageBox::information(parent, QStringLiteral("Information"), text);
    }
    void Warning(QWidget* parent, const QString& text) override {
        QMessageBox::warning(parent, QStringLiteral("Warning"), text);
    }
    void Error(QWidget* parent, const QString& text) override {
        QMessageBox::critical(parent, QStringLiteral("Error"), text);
    }
    bool Confirm(QWidget* parent, const QString& text) override {
        return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                     QMessageBox::Ok | QMessageBox::Cancel,
                                     QMessageBox::Cancel) == QMessageBox::Ok;
    }
    QStringList OpenFiles(QWidget* parent, const QString& startFolder,
                          const QStringList& filters) override {
        return QFileDialog::getOpenFileNames(parent, QStringLiteral("Add Files"), startFolder,
                                             filters.join(QStringLiteral(";;")), nullptr,
                                             QFileDialog::DontResolveSymlinks);
    }
    QString ChooseFolder(QWidget* parent, const QString& title,
                         const QString& startFolder) override {
        const QString start = QDir(startFolder).exists() ? startFolder : QString();
        const QString folder = QFileDialog::getExistingDirectory(parent, title, start);
        return folder.isEmpty() ? QString() : WithTrailingSlash(folder);
    }
    void OpenFolder(const QString& folder) override {
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
    void OpenAddress(const QString& address) override {
        QDesktopServices::openUrl(QUrl::fromUserInput(address));
    }
};

IPromptService*& Current() {
    static TDesktopPrompts desktop;
    static IPromptService* current = &desktop;
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
