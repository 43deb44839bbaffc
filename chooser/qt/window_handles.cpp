#include "chooser/qt/window_handles.h"

#include <QHash>
#include <QPointer>
#include <QVariant>
#include <QWidget>

namespace quorvel::RUVIV_CommonDialog {

namespace {

constexpr const char* kHandleProperty = "quorvelWindowHandle";

QHash<Handle, QPointer<QWidget>>& handleTable() {
    static QHash<Handle, QPointer<QWidget>> table;
    return table;
}

} // namespace

Handle windowHandle(QWidget* widget) {
    if (widget == nullptr)
        return 0;
    const QVariant known = widget->property(kHandleProperty);
    if (known.isValid())
        return known.value<Handle>();

    static Handle lastHandle = 0;
    auto& table = handleTable();
    table.removeIf([](const auto& entry) { return entry.value().isNull(); });
    const Handle handle = ++lastHandle;
    table.insert(handle, widget);
    widget->setProperty(kHandleProperty, QVariant::fromValue(handle));
    return handle;
}

QWidget* windowFromHandle(Handle handle) {
    return handleTable().value(handle).data();
}

} // namespace quorvel::RUVIV_CommonDialog
