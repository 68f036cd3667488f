// The desktop's own prompts where they need no answer from a person: opening a folder or a
// page on a desktop that has no program for it.

#include "shell/DesktopPrompts.h"

#include "common/QtPrinting.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>

namespace {

struct TShownBox {
    QString Text, Place;
    Qt::TextInteractionFlags Flags;
};

// Runs `open` on a desktop without launchers (no program on the path) and returns the
// message box it showed, closed right away.
std::optional<TShownBox> BoxShownBy(const std::function<void()>& open) {
    const QTemporaryDir nothing;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", nothing.path().toUtf8());
    qunsetenv("BROWSER");
    std::optional<TShownBox> shown;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = TShownBox{box->text(), box->informativeText(), box->textInteractionFlags()};
            box->done(QMessageBox::Ok);
        }
    });
    watcher.start(5);
    open();
    qputenv("PATH", path);
    return shown;
}

} // namespace

TEST(DesktopPrompts, WhatTheDesktopCannotOpenIsToldWithItsPlace) {
    TDesktopPrompts prompts;
    const auto folder = BoxShownBy([&] { prompts.OpenFolder("/tmp/Reelcaster out/"); });
    ASSERT_TRUE(folder.has_value()) << "nothing told";
    EXPECT_EQ(folder->Text, "This desktop has no program that opens folders.");
    EXPECT_EQ(folder->Place, "/tmp/Reelcaster out/");
    EXPECT_TRUE(folder->Flags & Qt::TextSelectableByMouse) << "the path can be copied";

    const auto page = BoxShownBy([&] { prompts.OpenAddress("https://example.org/help"); });
    ASSERT_TRUE(page.has_value());
    EXPECT_EQ(page->Text, "This desktop has no program that opens web pages.");
    EXPECT_EQ(page->Place, "https://example.org/help");
}
