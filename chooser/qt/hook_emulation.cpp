#include "chooser/qt/hook_emulation.h"

#include "chooser/qt/window_handles.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QWidget>

namespace quorvel::RUVIV_CommonDialog {

namespace {

class ActivationHook final : public QObject {
public:
    explicit ActivationHook(HookProc procedure) : procedure_(procedure) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show)
            return false;
        auto* window = qobject_cast<QWidget*>(watched);
        if (window == nullptr || !activates(window))
            return false;
        procedure_(kHcbtActivate, static_cast<std::int32_t>(windowHandle(window)), 0);
        return false;
    }

private:
    // Windows that never take the activation (menus, tooltips) are not ones
    // the hook waits for.
    static bool activates(const QWidget* window) {
        if (!window->isWindow() || window->testAttribute(Qt::WA_ShowWithoutActivating))
            return false;
        switch (window->windowType()) {
        case Qt::Popup:
        case Qt::ToolTip:
        case Qt::SplashScreen:
        case Qt::Desktop:
            return false;
        default:
            return !window->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus);
        }
    }

    HookProc procedure_;
};

} // namespace

ThreadHooks::~ThreadHooks() {
    for (auto& [handle, hook] : hooks_) {
        if (hook != nullptr) {
            if (QCoreApplication::instance() != nullptr)
                QCoreApplication::instance()->removeEventFilter(hook);
            delete hook.data();
        }
    }
}

Handle ThreadHooks::install(HookProc procedure) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || procedure == nullptr || QThread::currentThread() != app->thread())
        return 0;
    auto* filter = new ActivationHook(procedure);
    app->installEventFilter(filter);
    const Handle handle = ++lastHook_;
    hooks_.emplace(handle, filter);
    return handle;
}

void ThreadHooks::remove(Handle hook) {
    const auto found = hooks_.find(hook);
    if (found == hooks_.end())
        return;
    if (QObject* filter = found->second.data()) {
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::instance()->removeEventFilter(filter);
        // Called from inside the filter's own eventFilter.
        filter->deleteLater();
    }
    hooks_.erase(found);
}

} // namespace quorvel::RUVIV_CommonDialog
