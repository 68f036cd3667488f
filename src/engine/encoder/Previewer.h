#pragma once

// The floating window that shows a running task's pictures. The engine knows it only through
// this interface (the window itself is a widget, outside the engine library); every call is
// made on the main thread.

#include <QImage>

#include <functional>
#include <memory>

class ITaskPreviewer {
public:
    virtual ~ITaskPreviewer() = default;
    // Shows the picture (a copy the previewer may keep) with its time in the caption.
    virtual void ShowPicture(const QImage& picture, int64_t pts) = 0;
    // True once the user closed the window: previewing ends for that task for good.
    virtual bool Closed() const = 0;
};

using TPreviewerFactory = std::function<std::unique_ptr<ITaskPreviewer>()>;
