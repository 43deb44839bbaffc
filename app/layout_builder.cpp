#include "app/layout_builder.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace quorvel {

namespace {

constexpr int px(int twips) {
    return twips / kTwipsPerPixel;
}

QString qstr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

QWidget* createControl(const ControlSpec& spec, QWidget* container) {
    const QString caption = qstr(spec.caption);
    QWidget* widget = nullptr;
    switch (spec.kind) {
    case ControlKind::Label: {
        auto* label = new QLabel(caption, container);
        label->setAlignment((spec.attrs & kAttrCentred) ? Qt::AlignHCenter | Qt::AlignTop
                                                        : Qt::AlignLeft | Qt::AlignTop);
        widget = label;
        break;
    }
    case ControlKind::TextBox:
        widget = new QLineEdit(container);
        break;
    case ControlKind::PushButton:
        widget = new QPushButton(caption, container);
        break;
    case ControlKind::GroupBox:
        widget = new QGroupBox(caption, container);
        break;
    case ControlKind::OptionButton:
        widget = new QRadioButton(caption, container);
        break;
    case ControlKind::DropDownList: {
        auto* list = new QComboBox(container);
        list->setEditable(false);
        list->setToolTip(QStringLiteral("VCD, SVCD, DVD, User Defined"));
        widget = list;
        break;
    }
    }
    widget->setObjectName(qstr(spec.name));
    widget->setGeometry(px(spec.left), px(spec.top), px(spec.width), px(spec.height));
    widget->setEnabled(!(spec.attrs & kAttrDisabled));
    if (spec.attrs & kAttrUnderlined) {
        QFont font = windowFont();
        font.setUnderline(true);
        widget->setFont(font);
    }
    if (spec.attrs & kAttrListFont) {
        QFont font = QApplication::font();
        font.setPointSizeF(8.25);
        widget->setFont(font);
    }
    if (spec.kind == ControlKind::Label)
        widget->lower();
    return widget;
}

} // namespace

QFont windowFont() {
    // Where MS Sans Serif is missing, faces with close metrics come first so the
    // captions fit the fixed layout; the style hint is the last resort.
    static const bool substituted = [] {
        QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                                   {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"),
                                    QStringLiteral("Liberation Sans"),
                                    QStringLiteral("DejaVu Sans")});
        return true;
    }();
    Q_UNUSED(substituted);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    return font;
}

void buildControls(QWidget& window, std::span<const ControlSpec> table) {
    for (const ControlSpec& spec : table) {
        QWidget* container = &window;
        if (spec.container != window.objectName().toStdString())
            container = window.findChild<QWidget*>(qstr(spec.container));
        Q_ASSERT(container);
        createControl(spec, container);
    }
}

} // namespace quorvel
