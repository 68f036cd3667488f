#include "engine/FFLoad.h"
#include "engine/FFLog.h"
#include "engine/FFUtils.h"
#include "engine/probe/FFDecode.h"

#include <gtest/gtest.h>

#include "common/SilentServer.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <dlfcn.h>
#include <link.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

namespace {

unsigned FakeOldCodecVersion() {
    return AV_VERSION_INT(LIBAVCODEC_VERSION_MAJOR - 1, 2, 3);
}

// The real table with one library changed.
std::array<TLibraryItem, kLibraryKindCount> TableWith(const TLibraryItem& replacement) {
    std::array<TLibraryItem, kLibraryKindCount> items = TFFLoader::MediaLibraries();
    items[replacement.Kind] = replacement;
    return items;
}

} // namespace

TEST(Loader, LoadsEveryLibraryAndAgainWithoutHarm) {
    TFFLoader loader;
    EXPECT_FALSE(loader.LibrariesLoaded(TLibrarySet::All()));
    ASSERT_TRUE(loader.LoadLibraries(TLibrarySet::All())) << loader.LastError().toStdString();
    EXPECT_TRUE(loader.LibrariesLoaded(TLibrarySet::All()));
    ASSERT_TRUE(loader.LoadLibraries({LibAVCodec, LibAVFormat}));
    EXPECT_TRUE(loader.LibrariesLoaded(TLibrarySet::All()));
    loader.UnloadLibraries({LibAVFilter});
    EXPECT_FALSE(loader.LibraryLoaded(LibAVFilter));
    EXPECT_TRUE(loader.LibraryLoaded(LibAVCodec));
}

TEST(Loader, AFolderWithoutCopiesFallsBackToTheSystemsSearch) {
    QTemporaryDir empty;
    TFFLoader loader;
    loader.SetLibraryPath(empty.path());
    EXPECT_TRUE(loader.LoadLibraries(TLibrarySet::All())) << loader.LastError().toStdString();
}

TEST(Loader, ACopyInTheFolderOtherThanTheOneInUseFailsWithAReason) {
    const QString name = QStringLiteral("libavutil.so.%1").arg(LIBAVUTIL_VERSION_MAJOR);
    void* inUse = ::dlopen(name.toUtf8().constData(), RTLD_NOW | RTLD_NOLOAD);
    ASSERT_NE(inUse, nullptr);
    link_map* map = nullptr;
    ASSERT_EQ(::dlinfo(inUse, RTLD_DI_LINKMAP, &map), 0);
    const QString inUsePath = QString::fromLocal8Bit(map->l_name);
    ::dlclose(inUse);

    QTemporaryDir folder;
    ASSERT_TRUE(QFile::copy(inUsePath, folder.filePath(name)));
    TFFLoader loader;
    loader.SetLibraryPath(folder.path());
    EXPECT_FALSE(loader.LoadLibraries({LibAVUtil}));
    EXPECT_EQ(loader.LastError(), QStringLiteral("Load library %1 error: this program already "
                                                 "runs with %2")
                                      .arg(folder.filePath(name), inUsePath));
}

TEST(Loader, OneMissingLibraryFailsTheWholeSet) {
    TFFLoader loader(TableWith({LibAVFilter, "avfilter", 99, avfilter_version, nullptr}));
    EXPECT_FALSE(loader.LoadLibraries(TLibrarySet::All()));
    EXPECT_EQ(loader.LastError().toStdString(),
              "Load library libavfilter.so.99 error: cannot open shared object file: No such file "
              "or directory");
    for (int kind = 0; kind < kLibraryKindCount; ++kind)
        EXPECT_FALSE(loader.LibraryLoaded(TLibraryKind(kind))) << kind;

    // Libraries loaded by an earlier call are unloaded too when they are part of the set.
    ASSERT_TRUE(loader.LoadLibraries({LibAVCodec, LibAVDevice}));
    EXPECT_FALSE(loader.LoadLibraries({LibAVCodec, LibAVDevice, LibAVFilter}));
    EXPECT_FALSE(loader.LibraryLoaded(LibAVCodec));
    EXPECT_FALSE(loader.LibraryLoaded(LibAVDevice));
}

TEST(Loader, AnotherMajorVersionAtRunTimeFails) {
    TFFLoader loader(
        TableWith({LibAVCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR, FakeOldCodecVersion, nullptr}));
    EXPECT_FALSE(loader.LoadLibraries({LibAVCodec, LibAVUtil}));
    const QString expectedEnd =
        QStringLiteral("libavcodec.so.%1 error: version %2.2.3 found, %1 required")
            .arg(LIBAVCODEC_VERSION_MAJOR)
            .arg(LIBAVCODEC_VERSION_MAJOR - 1);
    EXPECT_TRUE(loader.LastError().startsWith("Load library /"))
        << loader.LastError().toStdString();
    EXPECT_TRUE(loader.LastError().endsWith(expectedEnd)) << loader.LastError().toStdString();
    EXPECT_FALSE(loader.LibraryLoaded(LibAVCodec));
}

TEST(Loader, AnEmptySetIsAProgrammingError) {
    TFFLoader loader;
    EXPECT_THROW(loader.LoadLibraries({}), std::logic_error);
}

TEST(Loader, LoadingAvutilRoutesFFmpegIntoTheEngineLog) {
    TFFLogger logger;
    QStringList lines;
    logger.OnLog = [&](QObject*, quint32, TLogLevel, const QString& text) { lines << text; };
    av_log_set_callback(av_log_default_callback);
    TFFLoader loader;
    ASSERT_TRUE(loader.LoadLibraries({LibAVUtil}));
    av_log(nullptr, AV_LOG_ERROR, "through the engine\n");
    EXPECT_EQ(lines, QStringList{"through the engine"});
    FinalizeEngineLog();
}

TEST(SdlLoader, OnePlayerAtATimePerFile) {
    const QString folder = QStringLiteral("/usr/lib/x86_64-linux-gnu");
    const QString file = TSDLLoader::DefaultFileName();
    TSDLLoader first;
    TSDLLoader second;
    ASSERT_TRUE(first.Load(folder, file)) << first.LastError().toStdString();
    EXPECT_TRUE(first.Loaded());
    EXPECT_EQ(first.FullName(), folder + "/" + file);
    EXPECT_TRUE(first.Load(folder + "/", file)) << "the same file again is fine";

    EXPECT_FALSE(second.Load(folder.toUpper(), file));
    EXPECT_EQ(second.LastError(),
              folder.toUpper() + "/" + file + " alreay loaded in another instance.");
    EXPECT_FALSE(second.Loaded());

    first.Unload();
    EXPECT_FALSE(first.Loaded());
    EXPECT_TRUE(second.Load(folder, file)) << second.LastError().toStdString();
}

TEST(SdlLoader, AMissingFileFails) {
    TSDLLoader loader;
    EXPECT_FALSE(loader.Load(QStringLiteral("/nonexistent"), QStringLiteral("libSDL9.so.9")));
    EXPECT_EQ(loader.LastError(), "Load library libSDL9.so.9 error: cannot open shared object "
                                  "file: No such file or directory");
    EXPECT_FALSE(loader.Loaded());
}

namespace {

int gCalls = 0;
bool Yes(void*) {
    ++gCalls;
    return true;
}
bool SenderSays(void* sender) {
    return *static_cast<bool*>(sender);
}

} // namespace

TEST(InterruptRegistry, AddRemoveCheckClear) {
    TInterruptCB registry;
    bool no = false;
    EXPECT_FALSE(registry.Check(7));
    registry.Add(7, &no, SenderSays);
    registry.Add(7, &no, SenderSays); // the same entry is not added twice
    registry.Add(7, nullptr, Yes);
    EXPECT_FALSE(registry.Check(7)) << "the first entry for the thread decides";
    EXPECT_FALSE(registry.Check(8));
    registry.Remove(7, &no, SenderSays);
    gCalls = 0;
    EXPECT_TRUE(registry.Check(7)) << "the duplicate was never added, so Yes is first now";
    EXPECT_EQ(gCalls, 1);
    registry.Clear();
    EXPECT_FALSE(registry.Check(7));
}

namespace {

bool AfterDeadline(void* sender) {
    return static_cast<QElapsedTimer*>(sender)->hasExpired(300);
}

} // namespace

TEST(InterruptRegistry, AbandonsBlockingReadsOfTheRegisteredThread) {
    ASSERT_TRUE(FFLoader().LoadLibraries(TLibrarySet::All()));
    SilentServer server;
    QElapsedTimer clock;
    clock.start();
    const uint32_t thread = engine::CurrentThreadId();
    InterruptCB().Add(thread, &clock, AfterDeadline);
    TFFDecoder decoder;
    const QString url = QStringLiteral("tcp://127.0.0.1:%1").arg(server.Port());
    EXPECT_FALSE(decoder.LoadFile(url)) << "the read never ends by itself";
    InterruptCB().Remove(thread, &clock, AfterDeadline);
    EXPECT_EQ(decoder.LastErrMsg(), url + ": Immediate exit requested");
    EXPECT_EQ(decoder.StreamCount(), -1);
}
