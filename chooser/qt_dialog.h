#pragma once

// The Qt side of the open-file dialog module: Qt's own file dialog behind
// Platform::getOpenFileName, an application-wide event filter as the
// thread-wide hook (it fires on a window's Show, which reaches the dialog
// before it is on screen and before any activation), and widget geometry
// (frame rectangles) behind WindowOps.
//
// Use: create one QtCommonDialogPlatform after the QApplication, on its
// thread, and keep it for as long as ShowOpen may run; pass
// windowHandle(ownerWidget) as ShowOpen's owner window.

#include "chooser/common_dialog.h"

#include <QPointer>
#include <map>

class QObject;
class QWidget;

namespace quorvel::RUVIV_CommonDialog {

// Handles for the record's window fields. A widget keeps its handle for life;
// handles are never reused, and a destroyed widget's handle resolves to
// nullptr. windowHandle(nullptr) is 0.
Handle windowHandle(QWidget* widget);
QWidget* windowFromHandle(Handle handle);

class QtCommonDialogPlatform final : public Platform, public WindowOps {
public:
    // Installs itself as the module's Platform and WindowOps; the destructor
    // takes both back and removes any hook still installed.
    QtCommonDialogPlatform();
    ~QtCommonDialogPlatform() override;
    QtCommonDialogPlatform(const QtCommonDialogPlatform&) = delete;
    QtCommonDialogPlatform& operator=(const QtCommonDialogPlatform&) = delete;

    Handle windowInstance(Handle window) override;
    std::int32_t currentThreadId() override;
    // Only the application's thread can be hooked; any other gives 0.
    Handle installHook(HookProc hook, Handle instance, std::int32_t thread) override;
    // Runs a modal QFileDialog (never the native one) over hwndOwner's widget.
    std::int32_t getOpenFileName(OpenFileName& params) override;

    bool windowRect(Handle window, Rect& rect) override;
    ScreenSize primaryScreenSize() override;
    void moveWindow(Handle window, std::int32_t x, std::int32_t y) override;
    void unhook(Handle hook) override;

private:
    std::map<Handle, QPointer<QObject>> hooks_;
    Handle lastHook_ = 0;
};

} // namespace quorvel::RUVIV_CommonDialog
