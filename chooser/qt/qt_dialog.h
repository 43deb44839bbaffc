#pragma once

// The Qt side of the open-file dialog module, one seam to a file:
// Platform::getOpenFileName runs Qt's own file dialog (open_dialog.h), the
// thread-wide hook is an application-wide event filter (hook_emulation.h),
// WindowOps moves frame rectangles (window_geometry.h), and the record's
// window fields hold small-number handles (window_handles.h).
//
// Use: create one QtCommonDialogPlatform after the QApplication, on its
// thread, and keep it for as long as ShowOpen may run; pass
// windowHandle(ownerWidget) as ShowOpen's owner window.

#include "chooser/common_dialog.h"
#include "chooser/qt/hook_emulation.h"
#include "chooser/qt/window_handles.h"

namespace quorvel::RUVIV_CommonDialog {

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
    ThreadHooks hooks_;
};

} // namespace quorvel::RUVIV_CommonDialog
