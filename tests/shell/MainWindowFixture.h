#pragma once

// A main window with its engine loaded, over a fresh data folder with its settings and log, and
// prompts answered by the test.

#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_Treelist.h"
#include "shell/EngineLibraries.h"
#include "shell/U_Main.h"
#include "shell/U_MainList.h"

#include "common/FakePrompts.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        qputenv("REELCASTER_HOME", home.path().toUtf8());
        StartActivityLog(WithSlash(home.path()));
        LoadSettings(WithSlash(home.path()));
        window = std::make_unique<TMainfrm>();
        ASSERT_TRUE(LoadEngineLibraries(window->Encoder(), window->Player(), window.get()));
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override {
        window.reset();
        ReleaseSettings();
        ReleaseActivityLog();
        qunsetenv("REELCASTER_HOME");
    }

    static QString WithSlash(const QString& path) { return path + QLatin1Char('/'); }
    TJobList& List() { return window->List(); }
    TJobRow* AddMedia(const char* media) {
        window->AddDroppedFiles({testmedia::Path(media)});
        return List().TopLevel(List().TopLevelCount() - 1);
    }
    // Selects rows as a user does in the list; the last one gets the focus.
    void Select(std::initializer_list<const TJobRow*> rows) {
        QItemSelectionModel* selection = window->VSTFile->selectionModel();
        selection->clearSelection();
        for (const TJobRow* row : rows) {
            const QModelIndex index = List().IndexOf(row);
            selection->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            selection->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        }
    }
    void AddClip(TJobRow* owner, int64_t start = 1000000, int64_t duration = 1000000) {
        ClipList().clear();
        TClipFile clip;
        clip.ClipName = QStringLiteral("clip");
        clip.StartTime = start;
        clip.ClipDuration = duration;
        clip.EndTime = start + duration;
        SetClipDefaults(clip, owner->Item.SourceFrameSize);
        ClipList().append(clip);
        List().SetFocused(owner);
        List().CommitClipList(AppSettings().OutputPath);
        ClipList().clear();
    }
    QByteArray SettingsFile() {
        QFile file(home.filePath(kSettingsFileName));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString Log() {
        QFile file(home.filePath("Log/log1.txt"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    // The in-place editor of "Output Name", when one is open.
    bool Renaming() {
        QCoreApplication::processEvents();
        const auto* editor = window->VSTFile->findChild<QLineEdit*>(QStringLiteral("edtRename"));
        return editor != nullptr && editor->isVisible();
    }

    QTemporaryDir home;
    TFakePrompts prompts;
    std::unique_ptr<TMainfrm> window;
};
