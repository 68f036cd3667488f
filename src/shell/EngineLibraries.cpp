#include "shell/EngineLibraries.h"

#include "core/AppFolders.h"
#include "core/MrvLog.h"
#include "core/PromptService.h"
#include "engine/FFLoad.h"
#include "engine/encoder/FFEncode.h"
#include "engine/filters/NativeFilter.h"
#include "engine/player/FFPlay.h"

bool LoadEngineLibraries(TCustomEncoder& encoder, TCustomPlayer& player, QWidget* parent) {
    const QString libFolder = ExecutableFolder() + QStringLiteral("LibAV");
    const auto fail = [parent](const QString& text, bool log) {
        Prompts().Error(parent, text);
        if (log)
            ActivityLog().WriteError(text);
        return false;
    };
    if (!encoder.LibrariesLoaded()) {
        if (!encoder.LoadLibraries(libFolder))
            return fail(encoder.LastErrMsg(), true);
        ActivityLog().WriteInfo(QStringLiteral("FEncoder Load library successful"));
    }
    RegisterNativeFilters();
    // The preview player shares the process-wide libraries and holds an SDL of its own.
    if (!player.LoadLibraries(libFolder, false))
        return fail(player.LastError(), true);
    ActivityLog().WriteInfo(QStringLiteral("FPlayer Load library successful"));
    if (!player.SDLLoaded()) {
        if (!player.LoadSDL(WithTrailingSlash(libFolder), TSDLLoader::DefaultFileName()))
            return fail(player.LastError(), false);
        ActivityLog().WriteInfo(QStringLiteral("FPlayer Load SDLLib successful"));
    }
    return true;
}
