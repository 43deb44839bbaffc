#pragma once

#include <QObject>
#include <functional>
#include <initializer_list>
#include <vector>

class QLineEdit;
class QWidget;

namespace quorvel {

// Watches the source boxes for the loss of the keyboard focus and calls
// `onLeft` for it. Only a move to another control of the same window counts: a
// message box, another window or the list's popup taking the focus is no loss.
//
// A loss by the keyboard (Tab, Shift+Tab) is told at once. A loss by a mouse
// press waits until the button is up and the click has been delivered: a
// message shown inside the press would take the click away from the control
// the user aimed at. Handlers that act on that click run the waiting loss
// first (runPending), and the exit drops it (dropPending).
class FocusLossFilter final : public QObject {
public:
    FocusLossFilter(QWidget& window, std::initializer_list<QLineEdit*> boxes,
                    std::function<void()> onLeft);

    bool pending() const { return pending_; }
    void runPending();
    void dropPending();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void waitForRelease(bool wait);

    QWidget& window_;
    std::vector<QLineEdit*> boxes_;
    std::function<void()> onLeft_;
    bool pending_ = false;
    bool waitingForRelease_ = false;
};

} // namespace quorvel
