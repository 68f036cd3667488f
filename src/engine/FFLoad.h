#pragma once

// The media libraries are linked normally (the executable's RUNPATH prefers a copy in "LibAV"
// beside it). The loader checks, all or nothing and in kind order, that each library is
// present at run time with the major version the engine was built against, makes the
// registrations the engine needs, and hands FFmpeg's logging to the engine log.
// TInterruptCB lets a thread ask for its blocking I/O to be abandoned.

#include <QString>

#include <array>
#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

struct AVIOInterruptCB;

enum TLibraryKind {
    LibAVCodec,
    LibAVDevice,
    LibAVFilter,
    LibAVFormat,
    LibAVUtil,
    LibSwScale,
    LibSwResample,
};
inline constexpr int kLibraryKindCount = 7;

class TLibrarySet {
public:
    constexpr TLibrarySet() = default;
    TLibrarySet(std::initializer_list<TLibraryKind> kinds) {
        for (TLibraryKind kind : kinds)
            FKinds.set(kind);
    }
    static TLibrarySet All() {
        TLibrarySet set;
        set.FKinds.set();
        return set;
    }
    bool Contains(TLibraryKind kind) const { return FKinds.test(kind); }
    bool IsEmpty() const { return FKinds.none(); }

private:
    std::bitset<kLibraryKindCount> FKinds;
};

// One library of the set: how it is named and checked.
struct TLibraryItem {
    TLibraryKind Kind;
    const char* Name;             // base name: "avcodec"
    int Version;                  // major version built against; its soname suffix
    unsigned (*RuntimeVersion)(); // the version of the copy in use (avcodec_version, …)
    void (*AfterBind)();          // registrations right after binding, or null
};

class TFFLoader {
public:
    // The real libraries; tests may pass a table of their own.
    TFFLoader();
    explicit TFFLoader(const std::array<TLibraryItem, kLibraryKindCount>& items);
    ~TFFLoader();
    TFFLoader(const TFFLoader&) = delete;
    TFFLoader& operator=(const TFFLoader&) = delete;

    // The folder of a bundled copy of the libraries; a library found there is taken from there.
    void SetLibraryPath(const QString& path) { FLibraryPath = path; }
    const QString& LibraryPath() const { return FLibraryPath; }

    // Loads every library of the set in kind order; at the first failure every library of the
    // set is unloaded again and LastError() tells why. The set must not be empty.
    bool LoadLibraries(TLibrarySet libs);
    bool LibraryLoaded(TLibraryKind kind) const;
    bool LibrariesLoaded(TLibrarySet libs) const;
    void UnloadLibraries(TLibrarySet libs);
    const QString& LastError() const { return FLastError; }

    // When true (the default) loading avutil routes FFmpeg's messages into the engine log.
    bool InstallLogCallback = true;

    // "lib" + name + ".so." + version.
    static QString LibraryFileName(const TLibraryItem& item);
    // The table of the libraries the engine is built against.
    static const std::array<TLibraryItem, kLibraryKindCount>& MediaLibraries();

private:
    struct Status {
        void* Handle = nullptr;
        bool Bound = false;
    };
    bool LoadLibrary(TLibraryKind kind);
    void UnloadLibrary(TLibraryKind kind);

    std::array<TLibraryItem, kLibraryKindCount> FItems;
    std::array<Status, kLibraryKindCount> FStatus;
    QString FLibraryPath;
    QString FLastError;
};

// The process-wide loader of the engine.
TFFLoader& FFLoader();

// SDL for one player. An SDL file serves one player at a time.
class TSDLLoader {
public:
    TSDLLoader() = default;
    ~TSDLLoader();
    TSDLLoader(const TSDLLoader&) = delete;
    TSDLLoader& operator=(const TSDLLoader&) = delete;

    // Loads `folder` + file; fails with "%s alreay loaded in another instance." while another
    // player holds the same file.
    bool Load(const QString& folder, const QString& fileName);
    bool Loaded() const { return FHandle != nullptr && FBound; }
    void Unload();
    const QString& FullName() const { return FFullName; }
    const QString& LastError() const { return FLastError; }

    // The soname of the SDL library the engine is built against.
    static QString DefaultFileName();
    // Held while SDL's parts are started or stopped: that is not reentrant.
    static std::mutex& StartLock();

private:
    void UnloadLocked();

    void* FHandle = nullptr;
    bool FBound = false;
    QString FFullName;
    QString FLastError;
};

// The process-wide registry through which a thread's blocking I/O is abandoned: every format
// context the engine opens asks it, for the calling thread, whether to give up.
class TInterruptCB {
public:
    using TCallback = bool (*)(void* sender); // true: abandon now

    void Add(uint32_t threadId, void* sender, TCallback callback);
    void Remove(uint32_t threadId, void* sender, TCallback callback);
    // The first entry for the thread decides; false when there is none. The registry lock is
    // held while the callback runs, so a callback must not call into the registry.
    bool Check(uint32_t threadId);
    void Clear();

private:
    struct Entry {
        uint32_t ThreadID;
        TCallback Callback;
        void* Sender;
    };
    std::mutex FLock;
    std::vector<Entry> FEntries;
};

TInterruptCB& InterruptCB();

// The interrupt check to install on a format context: it asks InterruptCB() for the calling
// thread.
AVIOInterruptCB EngineInterruptCallback();
