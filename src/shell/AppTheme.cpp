#include "shell/AppTheme.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QStyleFactory>

void ApplyAppTheme(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);
    QPalette palette;
    const QColor window(0x2b, 0x30, 0x3a);
    const QColor base(0x1f, 0x23, 0x2a);
    const QColor text(0xe6, 0xe9, 0xef);
    const QColor dimmed(0x6d, 0x74, 0x82);
    const QColor accent(0x20, 0x8a, 0xde);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, QColor(0x15, 0x18, 0x1d));
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, dimmed);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x35, 0x3b, 0x46));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, QColor(0x4a, 0xa9, 0xf2));
    palette.setColor(QPalette::Light, QColor(0x45, 0x4c, 0x59));
    palette.setColor(QPalette::Midlight, QColor(0x3a, 0x40, 0x4c));
    palette.setColor(QPalette::Mid, QColor(0x25, 0x2a, 0x33));
    palette.setColor(QPalette::Dark, QColor(0x15, 0x18, 0x1d));
    palette.setColor(QPalette::Shadow, Qt::black);
    for (QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::HighlightedText})
        palette.setColor(QPalette::Disabled, role, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x3a, 0x40, 0x4c));
    app.setPalette(palette);
}

QString StyleSheet(const QString& resource) {
    QFile file(resource);
    // A resource compiled into the program: it cannot be missing.
    Q_ASSERT(file.exists());
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}
