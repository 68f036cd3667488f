#include "common/Process.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

// The library search path written into both programs: a copy of the media libraries beside the
// program comes first, and no entry may be empty (an empty one means the current folder, where
// anybody's files could be loaded).
TEST(Executables, SearchTheirOwnLibraryFolderAndNeverTheCurrentOne) {
    for (const char* program : {REELCASTER_CLI_PATH, REELCASTER_APP_PATH}) {
        SCOPED_TRACE(program);
        const TProcessResult result = RunProgram("readelf", {"-d", program});
        ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
        const QString dynamic = QString::fromUtf8(result.Out);
        EXPECT_FALSE(dynamic.contains("(RPATH)")) << "LD_LIBRARY_PATH must still win";
        const QRegularExpressionMatch runpath =
            QRegularExpression(R"(\(RUNPATH\)\s+Library runpath: \[(.*)\])").match(dynamic);
        ASSERT_TRUE(runpath.hasMatch()) << dynamic.toStdString();
        EXPECT_EQ(runpath.captured(1), "$ORIGIN/LibAV");
    }
}
