// The frameless main window's frame: resized by its edges and corners as a framed window is,
// and put back where it was when it last closed.

#include "shell/U_Main.h"

#include "core/AppSettings.h"
#include "shell/ResizeGrips.h"

#include <QGuiApplication>
#include <QScreen>

namespace {

constexpr QSize kMinimumSize(600, 420);
const QString kWindowName = QStringLiteral("Main");

// A stored place is used only when enough of it is on one of the screens there are now.
bool OnSomeScreen(const QRect& place) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect seen = screen->availableGeometry().intersected(place);
        if (seen.width() >= 200 && seen.height() >= 100)
            return true;
    }
    return false;
}

} // namespace

void TMainfrm::BuildFrame() {
    setMinimumSize(kMinimumSize);
    new TResizeGrips(this); // owned by the window
}

bool TMainfrm::RestorePlace() {
    const TWindowPlace place = StoredWindowPlace(kWindowName);
    if (place.Geometry.isEmpty() || !OnSomeScreen(place.Geometry))
        return false;
    setGeometry(place.Geometry);
    if (place.Maximized)
        setWindowState(windowState() | Qt::WindowMaximized);
    return true;
}

void TMainfrm::StorePlace() {
    const bool maximized = isMaximized();
    const QRect normal = maximized ? normalGeometry() : geometry();
    StoreWindowPlace(kWindowName, {normal.isValid() ? normal : geometry(), maximized});
}
