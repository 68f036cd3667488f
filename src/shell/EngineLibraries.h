#pragma once

// The start of the engine in the desktop program: the media libraries into the main window's
// encoder, the same libraries and SDL for its preview player.

class QWidget;
class TCustomEncoder;
class TCustomPlayer;

// Loads both and logs each success ("FEncoder Load library successful", "FPlayer Load library
// successful", "FPlayer Load SDLLib successful"). On a failure shows its text in an error box
// over `parent` (and logs it, but for SDL's) and returns false: the application must end.
bool LoadEngineLibraries(TCustomEncoder& encoder, TCustomPlayer& player, QWidget* parent);
