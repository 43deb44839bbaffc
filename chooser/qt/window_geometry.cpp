#include "chooser/qt/window_geometry.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace quorvel::RUVIV_CommonDialog {

Rect outerRect(const QWidget& widget) {
    const QRect outer = widget.isWindow() ? widget.frameGeometry()
                                          : QRect(widget.mapToGlobal(QPoint(0, 0)), widget.size());
    return Rect{outer.x(), outer.y(), outer.x() + outer.width(), outer.y() + outer.height()};
}

ScreenSize primaryScreenPixels() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return {};
    const QSize size = screen->geometry().size();
    return {static_cast<double>(size.width()), static_cast<double>(size.height())};
}

void moveOuterTo(QWidget& widget, std::int32_t x, std::int32_t y) {
    if (widget.isWindow())
        widget.move(x, y); // a window's move places its frame
    else
        widget.move(widget.parentWidget()->mapFromGlobal(QPoint(x, y)));
}

} // namespace quorvel::RUVIV_CommonDialog
