#include "chooser/qt/qt_dialog.h"

#include "chooser/qt/open_dialog.h"
#include "chooser/qt/window_geometry.h"

#include <QCoreApplication>

#include <atomic>

namespace quorvel::RUVIV_CommonDialog {

QtCommonDialogPlatform::QtCommonDialogPlatform() {
    setPlatform(this);
    setWindowOps(this);
}

QtCommonDialogPlatform::~QtCommonDialogPlatform() {
    setPlatform(nullptr);
    setWindowOps(nullptr);
}

Handle QtCommonDialogPlatform::windowInstance(Handle /*window*/) {
    return static_cast<Handle>(QCoreApplication::applicationPid());
}

std::int32_t QtCommonDialogPlatform::currentThreadId() {
    static std::atomic<std::int32_t> lastId{0};
    thread_local const std::int32_t id = ++lastId;
    return id;
}

Handle QtCommonDialogPlatform::installHook(HookProc hook, Handle /*instance*/,
                                           std::int32_t thread) {
    if (thread != currentThreadId())
        return 0;
    return hooks_.install(hook);
}

std::int32_t QtCommonDialogPlatform::getOpenFileName(OpenFileName& params) {
    return runOpenDialog(params);
}

bool QtCommonDialogPlatform::windowRect(Handle window, Rect& rect) {
    const QWidget* widget = windowFromHandle(window);
    if (widget == nullptr)
        return false;
    rect = outerRect(*widget);
    return true;
}

ScreenSize QtCommonDialogPlatform::primaryScreenSize() {
    return primaryScreenPixels();
}

void QtCommonDialogPlatform::moveWindow(Handle window, std::int32_t x, std::int32_t y) {
    if (QWidget* widget = windowFromHandle(window))
        moveOuterTo(*widget, x, y);
}

void QtCommonDialogPlatform::unhook(Handle hook) {
    hooks_.remove(hook);
}

} // namespace quorvel::RUVIV_CommonDialog
