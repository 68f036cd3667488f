#include "engine/FFLoad.h"

#include "engine/FFLog.h"
#include "engine/FFUtils.h"

#include <QFileInfo>

#include <SDL.h>
#include <dlfcn.h>
#include <link.h>
#include <stdexcept>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavdevice/avdevice.h>
#include <libavfilter/avfilter.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace {

QString WithSlash(const QString& folder) {
    return folder.isEmpty() || folder.endsWith(QLatin1Char('/')) ? folder
                                                                 : folder + QLatin1Char('/');
}

// The name to open: the copy in `folder` when there is one, else the bare name for the
// system's search.
QString ModuleName(const QString& folder, const QString& fileName) {
    if (!folder.isEmpty()) {
        const QString candidate = WithSlash(folder) + fileName;
        if (QFileInfo(candidate).isFile())
            return candidate;
    }
    return fileName;
}

// Where the module was loaded from; `fallback` when the loader does not say.
QString ModulePath(void* handle, const QString& fallback) {
    link_map* map = nullptr;
    if (::dlinfo(handle, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr &&
        map->l_name[0] != '\0')
        return QString::fromLocal8Bit(map->l_name);
    return fallback;
}

// Why `name` is not the module in use when the loader gave no reason: it is another copy of a
// library the program already runs with.
QString NotInUseReason(const QString& name) {
    const QString fileName = QFileInfo(name).fileName();
    void* inUse = ::dlopen(fileName.toUtf8().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (inUse == nullptr)
        return QStringLiteral("not the copy this program runs with");
    const QString path = ModulePath(inUse, fileName);
    ::dlclose(inUse);
    return QStringLiteral("this program already runs with %1").arg(path);
}

// The already mapped module of that name, referenced once more; null when it is not the one
// in use.
void* OpenModule(const QString& name, QString* error) {
    void* handle = ::dlopen(name.toUtf8().constData(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        const char* loaderText = ::dlerror();
        QString reason =
            loaderText != nullptr ? QString::fromLocal8Bit(loaderText) : NotInUseReason(name);
        if (reason.startsWith(name + QStringLiteral(": ")))
            reason.remove(0, name.size() + 2);
        *error = QStringLiteral("Load library %1 error: %2").arg(name, reason);
    }
    return handle;
}

QString VersionText(unsigned version) {
    return QStringLiteral("%1.%2.%3")
        .arg(version >> 16)
        .arg((version >> 8) & 0xff)
        .arg(version & 0xff);
}

void RegisterDevices() {
    avdevice_register_all();
}

const std::array<TLibraryItem, kLibraryKindCount> kMediaLibraries = {{
    {LibAVCodec, "avcodec", LIBAVCODEC_VERSION_MAJOR, avcodec_version, nullptr},
    {LibAVDevice, "avdevice", LIBAVDEVICE_VERSION_MAJOR, avdevice_version, RegisterDevices},
    {LibAVFilter, "avfilter", LIBAVFILTER_VERSION_MAJOR, avfilter_version, nullptr},
    {LibAVFormat, "avformat", LIBAVFORMAT_VERSION_MAJOR, avformat_version, nullptr},
    {LibAVUtil, "avutil", LIBAVUTIL_VERSION_MAJOR, avutil_version, nullptr},
    {LibSwScale, "swscale", LIBSWSCALE_VERSION_MAJOR, swscale_version, nullptr},
    {LibSwResample, "swresample", LIBSWRESAMPLE_VERSION_MAJOR, swresample_version, nullptr},
}};

} // namespace

TFFLoader::TFFLoader() : TFFLoader(kMediaLibraries) {}

const std::array<TLibraryItem, kLibraryKindCount>& TFFLoader::MediaLibraries() {
    return kMediaLibraries;
}

TFFLoader::TFFLoader(const std::array<TLibraryItem, kLibraryKindCount>& items) : FItems(items) {}

TFFLoader::~TFFLoader() {
    UnloadLibraries(TLibrarySet::All());
}

QString TFFLoader::LibraryFileName(const TLibraryItem& item) {
    return QStringLiteral("lib%1.so.%2").arg(QLatin1String(item.Name)).arg(item.Version);
}

bool TFFLoader::LoadLibraries(TLibrarySet libs) {
    if (libs.IsEmpty())
        throw std::logic_error("TFFLoader::LoadLibraries needs at least one library");
    for (int kind = 0; kind < kLibraryKindCount; ++kind) {
        if (!libs.Contains(TLibraryKind(kind)))
            continue;
        if (!LoadLibrary(TLibraryKind(kind))) {
            UnloadLibraries(libs);
            return false;
        }
    }
    return true;
}

bool TFFLoader::LoadLibrary(TLibraryKind kind) {
    const TLibraryItem& item = FItems[kind];
    Status& status = FStatus[kind];
    const QString name = ModuleName(FLibraryPath, LibraryFileName(item));

    if (status.Handle == nullptr) {
        status.Handle = OpenModule(name, &FLastError);
        if (status.Handle == nullptr)
            return false;
    }
    if (!status.Bound) {
        const unsigned version = item.RuntimeVersion();
        if (static_cast<int>(version >> 16) == item.Version) {
            if (item.AfterBind != nullptr)
                item.AfterBind();
            status.Bound = true;
        } else {
            FLastError = QStringLiteral("Load library %1 error: version %2 found, %3 required")
                             .arg(ModulePath(status.Handle, name), VersionText(version))
                             .arg(item.Version);
        }
    }
    if (!status.Bound) {
        UnloadLibrary(kind);
        return false;
    }
    if (kind == LibAVUtil && InstallLogCallback)
        SetupLibraryLogging();
    return true;
}

bool TFFLoader::LibraryLoaded(TLibraryKind kind) const {
    return FStatus[kind].Handle != nullptr && FStatus[kind].Bound;
}

bool TFFLoader::LibrariesLoaded(TLibrarySet libs) const {
    for (int kind = 0; kind < kLibraryKindCount; ++kind) {
        if (libs.Contains(TLibraryKind(kind)) && !LibraryLoaded(TLibraryKind(kind)))
            return false;
    }
    return true;
}

void TFFLoader::UnloadLibraries(TLibrarySet libs) {
    for (int kind = 0; kind < kLibraryKindCount; ++kind) {
        if (libs.Contains(TLibraryKind(kind)))
            UnloadLibrary(TLibraryKind(kind));
    }
}

void TFFLoader::UnloadLibrary(TLibraryKind kind) {
    Status& status = FStatus[kind];
    status.Bound = false;
    if (status.Handle != nullptr) {
        ::dlclose(status.Handle);
        status.Handle = nullptr;
    }
}

TFFLoader& FFLoader() {
    static TFFLoader loader;
    return loader;
}

// --- SDL ---------------------------------------------------------------------------------

namespace {

// The SDL files held by players, compared without regard to letter case.
struct SdlRegistry {
    std::mutex Lock;
    QStringList FullNames;
};

SdlRegistry& Sdl() {
    static SdlRegistry registry;
    return registry;
}

} // namespace

QString TSDLLoader::DefaultFileName() {
    return QStringLiteral("libSDL2-2.0.so.0");
}

std::mutex& TSDLLoader::StartLock() {
    static std::mutex lock;
    return lock;
}

TSDLLoader::~TSDLLoader() {
    Unload();
}

bool TSDLLoader::Load(const QString& folder, const QString& fileName) {
    const QString fullName = WithSlash(folder) + fileName;
    if (Loaded() && FFullName == fullName)
        return true;

    SdlRegistry& registry = Sdl();
    std::lock_guard lock(registry.Lock);
    if (registry.FullNames.contains(fullName, Qt::CaseInsensitive)) {
        FLastError = QStringLiteral("%1 alreay loaded in another instance.").arg(fullName);
        return false;
    }
    UnloadLocked();
    FHandle = OpenModule(ModuleName(folder, fileName), &FLastError);
    if (FHandle == nullptr)
        return false;

    SDL_version version;
    SDL_GetVersion(&version);
    if (version.major != SDL_MAJOR_VERSION) {
        FLastError = QStringLiteral("Load library %1 error: version %2.%3.%4 found, %5 required")
                         .arg(ModulePath(FHandle, fullName))
                         .arg(version.major)
                         .arg(version.minor)
                         .arg(version.patch)
                         .arg(SDL_MAJOR_VERSION);
        UnloadLocked();
        return false;
    }
    FBound = true;
    FFullName = fullName;
    registry.FullNames.append(fullName);
    return true;
}

void TSDLLoader::Unload() {
    std::lock_guard lock(Sdl().Lock);
    UnloadLocked();
}

void TSDLLoader::UnloadLocked() {
    FBound = false;
    if (FHandle != nullptr) {
        ::dlclose(FHandle);
        FHandle = nullptr;
    }
    if (!FFullName.isEmpty()) {
        Sdl().FullNames.removeOne(FFullName);
        FFullName.clear();
    }
}

// --- Interrupt registry -----------------------------------------------------------------

void TInterruptCB::Add(uint32_t threadId, void* sender, TCallback callback) {
    std::lock_guard lock(FLock);
    for (const Entry& entry : FEntries) {
        if (entry.ThreadID == threadId && entry.Sender == sender && entry.Callback == callback)
            return;
    }
    FEntries.push_back({threadId, callback, sender});
}

void TInterruptCB::Remove(uint32_t threadId, void* sender, TCallback callback) {
    std::lock_guard lock(FLock);
    for (auto it = FEntries.begin(); it != FEntries.end(); ++it) {
        if (it->ThreadID == threadId && it->Sender == sender && it->Callback == callback) {
            FEntries.erase(it);
            return;
        }
    }
}

bool TInterruptCB::Check(uint32_t threadId) {
    std::lock_guard lock(FLock);
    for (const Entry& entry : FEntries) {
        if (entry.ThreadID == threadId)
            return entry.Callback(entry.Sender);
    }
    return false;
}

void TInterruptCB::Clear() {
    std::lock_guard lock(FLock);
    FEntries.clear();
}

TInterruptCB& InterruptCB() {
    static TInterruptCB registry;
    return registry;
}

AVIOInterruptCB EngineInterruptCallback() {
    return AVIOInterruptCB{
        [](void*) -> int { return InterruptCB().Check(engine::CurrentThreadId()) ? 1 : 0; },
        nullptr};
}
