#pragma once

// What the clip and edit window tests share: a fresh data folder with its settings and log, the
// real player (SDL's dummy sound driver plays in real time), prompts answered by the test, a job
// list with its prober, and the window under test.

#include "core/AppSettings.h"
#include "core/MrvLog.h"
#include "core/U_TreelistModel.h"
#include "engine/FFLoad.h"
#include "engine/encoder/FFEncode.h"
#include "engine/player/FFPlay.h"

#include "common/FakePrompts.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <memory>

template <class TWindow> class PlayerWindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(home.isValid());
        StartActivityLog(folder);
        LoadSettings(folder);
        QDir().mkpath(AppSettings().OutputPath); // as the main window does at start
        ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
        ASSERT_TRUE(player.LoadLibraries(QString(), false));
        ASSERT_TRUE(player.LoadSDL(QString(), TSDLLoader::DefaultFileName()));
    }
    void TearDown() override {
        window.reset();
        player.Close(true);
        ClipList().clear();
        ReleaseSettings();
        ReleaseActivityLog();
    }

    TJobRow* Add(const char* media) {
        EXPECT_TRUE(list.AddSourceFile(testmedia::Path(media), prober.Decoder(), folder));
        return list.TopLevel(list.TopLevelCount() - 1);
    }

    QTemporaryDir home;
    const QString folder = home.path() + "/";
    TFakePrompts prompts;
    TFFEncoder prober;
    TFFPlayer player;
    TJobList list;
    std::unique_ptr<TWindow> window;
};
