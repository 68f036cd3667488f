#pragma once

// Where a player shows its pictures. The engine knows the display only through this interface
// (the display itself is a widget, outside the engine library). Called from the player's play
// thread: a display takes the picture and returns at once, never waiting for its own thread.

#include <QImage>
#include <QRect>
#include <QSize>

class IPlayerDisplay {
public:
    virtual ~IPlayerDisplay() = default;
    // The display area in physical pixels; any thread.
    virtual QSize DisplaySize() const = 0;
    // Shows `picture` in `area` (physical pixels of the display area; the rest is black). The
    // display keeps its copy to draw it again when it is exposed or the player is paused.
    virtual void ShowPicture(const QImage& picture, const QRect& area) = 0;
    // Nothing is playing any more: an empty (black) display.
    virtual void ClearPicture() = 0;
};
