#include "app/focus_loss_filter.h"

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <algorithm>

namespace quorvel {

FocusLossFilter::FocusLossFilter(QWidget& window, std::initializer_list<QLineEdit*> boxes,
                                 std::function<void()> onLeft)
    : QObject(&window), window_(window), boxes_(boxes), onLeft_(std::move(onLeft)) {
    for (QLineEdit* box : boxes_)
        box->installEventFilter(this);
}

void FocusLossFilter::runPending() {
    if (!pending_)
        return;
    dropPending();
    onLeft_();
}

void FocusLossFilter::dropPending() {
    pending_ = false;
    waitForRelease(false);
}

void FocusLossFilter::waitForRelease(bool wait) {
    if (wait == waitingForRelease_)
        return;
    waitingForRelease_ = wait;
    if (wait)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool FocusLossFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease && waitingForRelease_) {
        // Queued, so the release reaches its control (and clicks it) first.
        waitForRelease(false);
        QMetaObject::invokeMethod(this, &FocusLossFilter::runPending, Qt::QueuedConnection);
        return false;
    }
    if (event->type() != QEvent::FocusOut ||
        std::find(boxes_.begin(), boxes_.end(), watched) == boxes_.end())
        return false;
    const auto reason = static_cast<QFocusEvent*>(event)->reason();
    QWidget* next = QApplication::focusWidget();
    if (reason == Qt::PopupFocusReason || reason == Qt::ActiveWindowFocusReason || !next ||
        next == watched || next->window() != &window_)
        return false;
    if (reason != Qt::MouseFocusReason) {
        dropPending(); // this loss covers one still waiting
        onLeft_();
        return false;
    }
    pending_ = true;
    if (QGuiApplication::mouseButtons() != Qt::NoButton)
        waitForRelease(true);
    else
        QMetaObject::invokeMethod(this, &FocusLossFilter::runPending, Qt::QueuedConnection);
    return false;
}

} // namespace quorvel
