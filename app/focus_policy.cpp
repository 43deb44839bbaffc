#include "app/focus_policy.h"

#include <QRadioButton>
#include <algorithm>
#include <vector>

namespace quorvel {

namespace {

bool takesNoFocus(const ControlSpec& spec) {
    return spec.kind == ControlKind::Label || spec.kind == ControlKind::GroupBox;
}

QWidget* control(QWidget& window, const ControlSpec& spec) {
    return window.findChild<QWidget*>(
        QString::fromUtf8(spec.name.data(), static_cast<int>(spec.name.size())));
}

} // namespace

void applyTabOrder(QWidget& window, std::span<const ControlSpec> table) {
    std::vector<const ControlSpec*> order;
    for (const ControlSpec& spec : table)
        if (!takesNoFocus(spec))
            order.push_back(&spec);
    std::sort(order.begin(), order.end(),
              [](const ControlSpec* a, const ControlSpec* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        QWidget::setTabOrder(control(window, *order[i]), control(window, *order[i + 1]));
    for (const ControlSpec& spec : table)
        if (takesNoFocus(spec))
            control(window, spec)->setFocusPolicy(Qt::NoFocus);
}

void enterGroupAtSelected(std::initializer_list<QRadioButton*> optionsInTabOrder) {
    QRadioButton* entry = *optionsInTabOrder.begin();
    for (QRadioButton* option : optionsInTabOrder)
        if (option->isChecked())
            entry = option;
    for (QRadioButton* option : optionsInTabOrder)
        option->setFocusPolicy(option == entry ? Qt::StrongFocus : Qt::ClickFocus);
}

} // namespace quorvel
