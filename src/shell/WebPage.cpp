#include "shell/WebPage.h"

#include <QDesktopServices>
#include <QUrl>

void OpenWebPage(const QString& address) {
    if (!address.trimmed().isEmpty())
        QDesktopServices::openUrl(QUrl::fromUserInput(address.trimmed()));
}
