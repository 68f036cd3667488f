#include "shell/DesktopPrompts.h"

#include "core/AppFolders.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFontDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

void TDesktopPrompts::Beep() {
    QApplication::beep();
}

void TDesktopPrompts::Information(QWidget* parent, const QString& text) {
    QMessageBox::information(parent, QStringLiteral("Information"), text);
}

void TDesktopPrompts::Warning(QWidget* parent, const QString& text) {
    QMessageBox::warning(parent, QStringLiteral("Warning"), text);
}

void TDesktopPrompts::Error(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Error"), text);
}

bool TDesktopPrompts::Confirm(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                 QMessageBox::Ok | QMessageBox::Cancel,
                                 QMessageBox::Cancel) == QMessageBox::Ok;
}

TAnswer TDesktopPrompts::AskYesNoCancel(QWidget* parent, const QString& text) {
    switch (QMessageBox::question(parent, QStringLiteral("Confirm"), text,
                                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                  QMessageBox::Yes)) {
    case QMessageBox::Yes: return TAnswer::Yes;
    case QMessageBox::No: return TAnswer::No;
    default: return TAnswer::Cancel;
    }
}

QStringList TDesktopPrompts::OpenFiles(QWidget* parent, const QString& startFolder,
                                       const QStringList& filters) {
    return QFileDialog::getOpenFileNames(parent, QStringLiteral("Add Files"), startFolder,
                                         filters.join(QStringLiteral(";;")), nullptr,
                                         QFileDialog::DontResolveSymlinks);
}

QString TDesktopPrompts::OpenPicture(QWidget* parent, const QString& startFolder,
                                     const QStringList& filters) {
    const QString start = QDir(startFolder).exists() ? startFolder : QString();
    return QFileDialog::getOpenFileName(parent, QStringLiteral("Open Picture"), start,
                                        filters.join(QStringLiteral(";;")));
}

bool TDesktopPrompts::ChooseFont(QWidget* parent, QFont& font, QColor& color) {
    QFontDialog dialog(font, parent);
    dialog.setOption(QFontDialog::DontUseNativeDialog); // it gets a colour button of its own
    QColor chosen = color;
    if (auto* buttons = dialog.findChild<QDialogButtonBox*>()) {
        QPushButton* colour =
            buttons->addButton(QStringLiteral("Colour..."), QDialogButtonBox::ActionRole);
        QObject::connect(colour, &QPushButton::clicked, &dialog, [&dialog, &chosen] {
            const QColor picked =
                QColorDialog::getColor(chosen, &dialog, QStringLiteral("Text Colour"));
            if (picked.isValid())
                chosen = picked;
        });
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    font = dialog.selectedFont();
    color = chosen;
    return true;
}

QString TDesktopPrompts::ChooseFolder(QWidget* parent, const QString& title,
                                      const QString& startFolder) {
    const QString start = QDir(startFolder).exists() ? startFolder : QString();
    const QString folder = QFileDialog::getExistingDirectory(parent, title, start);
    return folder.isEmpty() ? QString() : WithTrailingSlash(folder);
}

namespace {

// The desktop has no program for it: say so, with the place to copy (the text is selectable).
void TellNotOpened(const QString& what, const QString& place) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Warning"),
                    QStringLiteral("This desktop has no program that opens %1.").arg(what),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setInformativeText(place);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.exec();
}

} // namespace

void TDesktopPrompts::OpenFolder(const QString& folder) {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        TellNotOpened(QStringLiteral("folders"), QDir::toNativeSeparators(folder));
}

void TDesktopPrompts::OpenAddress(const QString& address) {
    if (!QDesktopServices::openUrl(QUrl::fromUserInput(address)))
        TellNotOpened(QStringLiteral("web pages"), address);
}
