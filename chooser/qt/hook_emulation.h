#pragma once

// Stands in for a thread's activation hook: an application-wide event filter
// that calls the hook procedure for each window that appears while it is
// installed. A window's Show comes first, before the window is on screen (so
// the move is never seen) and before any activation, which Qt delivers later
// from its queue: hooking WindowActivate instead would catch the owner's own
// pending activation.

#include "chooser/centring.h"

#include <QPointer>
#include <map>

class QObject;

namespace quorvel::RUVIV_CommonDialog {

class ThreadHooks {
public:
    ThreadHooks() = default;
    // Removes every hook still installed.
    ~ThreadHooks();
    ThreadHooks(const ThreadHooks&) = delete;
    ThreadHooks& operator=(const ThreadHooks&) = delete;

    // 0 when there is no application, no procedure, or the caller is not on
    // the application's thread.
    Handle install(HookProc procedure);
    // Safe from inside the hook's own procedure; an unknown handle is ignored.
    void remove(Handle hook);

private:
    std::map<Handle, QPointer<QObject>> hooks_;
    Handle lastHook_ = 0;
};

} // namespace quorvel::RUVIV_CommonDialog
