#include "common/Process.h"
#include "common/TestMedia.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

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

// The command line runs on machines without a desktop: it needs neither Qt's widgets nor its
// D-Bus or network modules (nor anything else the windows bring).
TEST(Executables, TheCommandLineNeedsNoWindowLibraries) {
    const TProcessResult result = RunProgram("readelf", {"-d", REELCASTER_CLI_PATH});
    ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();
    QStringList needed;
    const QRegularExpression entry(R"(\(NEEDED\)\s+Shared library: \[(.*)\])");
    for (auto it = entry.globalMatch(QString::fromUtf8(result.Out)); it.hasNext();)
        needed << it.next().captured(1);
    ASSERT_TRUE(needed.contains("libQt6Core.so.6")) << needed.join(' ').toStdString();
    for (const char* library : {"libQt6Widgets", "libQt6DBus", "libQt6Network", "libQt6OpenGL"}) {
        EXPECT_FALSE(needed.filter(library).size() > 0)
            << library << " in " << needed.join(' ').toStdString();
    }
}

// Where a copy of the program keeps its files when nothing names a folder: beside itself when
// it is a portable copy (it carries its own "Format.dat"), else in the user's data folder, never
// in an installed programs' folder (which root could write into). Either finds the profiles it
// was shipped with: beside itself, or in the install's data folder.
TEST(Executables, APortableCopyWritesBesideItselfAndAnInstalledOneInTheUsersFolder) {
    for (const bool portable : {true, false}) {
        SCOPED_TRACE(portable ? "portable" : "installed");
        QTemporaryDir prefix;
        QTemporaryDir userData;
        const QString programs = portable ? prefix.path() : prefix.filePath("bin");
        const QString shipped = portable ? prefix.path() : prefix.filePath("share/reelcaster");
        ASSERT_TRUE(QDir().mkpath(programs) && QDir().mkpath(shipped));
        const QString program = programs + "/reelcaster-cli";
        ASSERT_TRUE(QFile::copy(REELCASTER_CLI_PATH, program));
        ASSERT_TRUE(QFile::copy(REELCASTER_FORMAT_FILE, shipped + "/Format.dat"));

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove("REELCASTER_HOME");
        env.insert("XDG_DATA_HOME", userData.path());
        env.insert("TMPDIR", userData.path());
        const TProcessResult result = RunProgram(
            program, {"convert", "-p", "4", testmedia::Path(testmedia::kAudioOnly)}, env);
        ASSERT_EQ(result.ExitCode, 0) << result.Err.toStdString();

        const QString besideIt = programs + "/Output/audio_only.flv";
        const QString usersOwn = userData.filePath("Reelcaster/Output/audio_only.flv");
        EXPECT_EQ(QFileInfo::exists(besideIt), portable);
        EXPECT_EQ(QFileInfo::exists(usersOwn), !portable);
    }
}
