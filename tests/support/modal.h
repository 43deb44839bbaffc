#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

namespace quorvel::fakes {

// Acts on the modal window of type T once it is up. Scheduled before the
// call that opens it, since that call blocks until the window closes.
template <class T> void onModal(std::function<void(T*)> act, int triesLeft = 250) {
    QTimer::singleShot(20, qApp, [act, triesLeft] {
        auto* modal = qobject_cast<T*>(QApplication::activeModalWidget());
        if (modal != nullptr && modal->isVisible())
            act(modal);
        else if (triesLeft > 0)
            onModal<T>(act, triesLeft - 1);
    });
}

// Return in the name box: what a user does after typing (selectFile() would
// be ignored while the box has the focus).
inline void typeAndEnter(QFileDialog* dialog, const QString& text) {
    auto* edit = dialog->findChild<QLineEdit*>("fileNameEdit");
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
}

} // namespace quorvel::fakes
