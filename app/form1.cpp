#include "app/form1.h"

#include "app/layout.h"
#include "chooser/browse.h"
#include "chooser/qt_dialog.h"
#include "resize/number.h"
#include "source/source_view.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <vector>

#include "app/quorvel_icon.xpm"

namespace quorvel {

namespace {

constexpr int px(int twips) {
    return twips / kTwipsPerPixel;
}

QString qstr(std::string_view s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

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

} // namespace

// Marks one user action. Handlers set off by the program's own changes run
// nested inside it and share its single message.
class Form1::ActionScope {
public:
    explicit ActionScope(Form1& form) : form_(form) {
        if (form_.actionDepth_++ == 0)
            form_.messageShownInAction_ = false;
    }
    ~ActionScope() { --form_.actionDepth_; }
    ActionScope(const ActionScope&) = delete;
    ActionScope& operator=(const ActionScope&) = delete;

private:
    Form1& form_;
};

Form1::Form1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      messageSink_([this](const QString& text) { showQuorvelMessage(this, text); }) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quorvel"));
    setWindowIcon(QIcon(QPixmap(quorvel_icon_xpm)));
    setFont(windowFont());
    setFixedSize(px(kClientWidthTwips), px(kClientHeightTwips));

    std::vector<QWidget*> containers{this};
    for (const ControlSpec& spec : kLayout) {
        QWidget* container = this;
        if (spec.container != "Form1")
            container = findChild<QWidget*>(qstr(spec.container), Qt::FindDirectChildrenOnly);
        createControl(spec, container);
    }
    wireControls();
    setTabOrderFromLayout();
    onLoad();
    syncOutputOptionFocus();

    // Signals are connected after the load handler: filling the list selects
    // entry 0 on the way, which must not count as the user's choice.
    connect(boxFormat_, &QComboBox::currentIndexChanged, this, &Form1::formatChosen);
    for (QRadioButton* option : {opOPal_, opONT1_, opONT2_})
        connect(option, &QRadioButton::toggled, this, &Form1::outputOptionToggled);
    connect(command1_, &QPushButton::clicked, this, &Form1::endProgram);
    connect(btnBrowse_, &QPushButton::clicked, this, &Form1::browseClicked);
    txtSW_->installEventFilter(this);
    txtSH_->installEventFilter(this);

    btnBrowse_->setFocus();
}

QWidget* Form1::createControl(const ControlSpec& spec, QWidget* container) {
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
        widget->lower(); // labels lie beneath every other control
    return widget;
}

void Form1::wireControls() {
    auto find = [this]<typename T>(T*& slot, const char* name) {
        slot = findChild<T*>(QString::fromLatin1(name));
        Q_ASSERT(slot);
    };
    find(btnBrowse_, "btnBrowse");
    find(command1_, "Command1");
    find(text1_, "Text1");
    find(txtSW_, "txtSW");
    find(txtSH_, "txtSH");
    find(txtOWM_, "txtOWM");
    find(txtOHM_, "txtOHM");
    find(txtOWT_, "txtOWT");
    find(txtOHT_, "txtOHT");
    find(opSP_, "opSP");
    find(opSNT1_, "opSNT1");
    find(opSNT2_, "opSNT2");
    find(opOPal_, "opOPal");
    find(opONT1_, "opONT1");
    find(opONT2_, "opONT2");
    find(boxFormat_, "boxFormat");
}

void Form1::setTabOrderFromLayout() {
    std::vector<const ControlSpec*> order;
    for (const ControlSpec& spec : kLayout)
        if (spec.kind != ControlKind::Label && spec.kind != ControlKind::GroupBox)
            order.push_back(&spec);
    std::sort(order.begin(), order.end(),
              [](const ControlSpec* a, const ControlSpec* b) { return a->tabIndex < b->tabIndex; });
    for (std::size_t i = 0; i + 1 < order.size(); ++i)
        setTabOrder(findChild<QWidget*>(qstr(order[i]->name)),
                    findChild<QWidget*>(qstr(order[i + 1]->name)));
    for (const ControlSpec& spec : kLayout)
        if (spec.kind == ControlKind::Label || spec.kind == ControlKind::GroupBox)
            findChild<QWidget*>(qstr(spec.name))->setFocusPolicy(Qt::NoFocus);
}

void Form1::onLoad() {
    for (const char* entry : {"VCD", "SVCD", "DVD", "User Defined"})
        boxFormat_->addItem(QString::fromLatin1(entry));
    boxFormat_->setCurrentIndex(-1);
}

void Form1::setMessageSink(MessageSink sink) {
    messageSink_ = std::move(sink);
}

void Form1::setAviLibrary(avifile::AviLibrary* library) {
    aviLibrary_ = library;
}

SourceOutcome Form1::fileInfo(const QString& path) {
    ActionScope action(*this);
    avifile::AviLibrary& library = aviLibrary_ ? *aviLibrary_ : avifile::systemAviLibrary();
    return inspectFile(
        library, QFile::encodeName(path).toStdString(),
        [this](const std::string& text) { tell(QString::fromStdString(text)); },
        [this](const avifile::AVIFILEINFO& record) { return showSourceInfo(record); });
}

SourceOutcome Form1::showSourceInfo(const avifile::AVIFILEINFO& record) {
    const SourceView view = sourceView(record);
    txtSW_->setText(QString::fromStdString(decimalText(view.width)));
    txtSH_->setText(QString::fromStdString(decimalText(view.height)));

    if (!view.rateClass)
        return {SourceOutcome::RateDivisorZero, ResizeError::None};

    // Each selection sets off its handler at once: the output option and the
    // list recompute on the way, and the last computation below is what stays.
    switch (*view.rateClass) {
    case RateClass::NtscFilm:
        opSNT1_->setChecked(true);
        opONT1_->setChecked(true);
        break;
    case RateClass::Pal:
        opSP_->setChecked(true);
        opOPal_->setChecked(true);
        break;
    case RateClass::NtscVideo:
        opSNT2_->setChecked(true);
        opONT2_->setChecked(true);
        break;
    }
    boxFormat_->setCurrentIndex(view.format);

    const ResizeError error = applyRecalculationRule();
    if (error != ResizeError::None)
        return {SourceOutcome::SizeRefused, error};
    return {};
}

// The output group is one tab stop, entered at its selected option (at opONT2
// while none is selected); the arrow keys still move between all three.
void Form1::syncOutputOptionFocus() {
    QRadioButton* entry = opOPal_->isChecked() ? opOPal_ : opONT1_->isChecked() ? opONT1_ : opONT2_;
    for (QRadioButton* option : {opOPal_, opONT1_, opONT2_})
        option->setFocusPolicy(option == entry ? Qt::StrongFocus : Qt::ClickFocus);
}

void Form1::browseClicked() {
    ActionScope action(*this);
    // A failure ends the command and undoes nothing, but the user is told why:
    // what was already shown stays, and silence would leave it unexplained.
    try {
        const QString folder = QCoreApplication::applicationDirPath();
        const auto chosen = chooseAviFile(RUVIV_CommonDialog::windowHandle(this),
                                          QFile::encodeName(folder).toStdString());
        if (!chosen)
            return;
        const QString path = QFile::decodeName(QByteArray::fromStdString(*chosen));
        text1_->setText(path);
        const SourceOutcome outcome = fileInfo(path);
        if (!outcome.ok())
            tell(QString::fromStdString(describeSourceOutcome(outcome)));
    } catch (const std::exception& error) {
        tell(QString::fromStdString(error.what()));
    }
}

void Form1::formatChosen(int index) {
    ActionScope action(*this);
    format = index;
    runTrigger();
}

void Form1::outputOptionToggled(bool selected) {
    syncOutputOptionFocus();
    if (!selected)
        return;
    ActionScope action(*this);
    runTrigger();
}

void Form1::sourceBoxLeft() {
    ActionScope action(*this);
    runTrigger();
}

void Form1::endProgram() {
    close();
    QCoreApplication::exit(0);
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusOut && (watched == txtSW_ || watched == txtSH_)) {
        // Only a move to another control of this window counts: a message box,
        // another window or the list's popup taking the focus is no loss.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        QWidget* next = QApplication::focusWidget();
        if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason && next &&
            next != watched && next->window() == this)
            sourceBoxLeft();
    }
    return QWidget::eventFilter(watched, event);
}

ResizeError Form1::applyRecalculationRule() {
    const QString width = txtSW_->text();
    const QString height = txtSH_->text();
    if (width.isEmpty() || height.isEmpty())
        return ResizeError::None;
    return calcResize();
}

void Form1::runTrigger() {
    const ResizeError error = applyRecalculationRule();
    if (error != ResizeError::None)
        tell(QString::fromStdString(describeResizeError(error)));
}

void Form1::tell(const QString& text) {
    if (messageShownInAction_ && actionDepth_ > 0)
        return;
    messageShownInAction_ = true;
    messageSink_(text);
}

ResizeError Form1::calcResize() {
    const std::string height = txtSH_->text().toStdString();
    const std::string width = txtSW_->text().toStdString();
    ResizeInput input;
    input.widthText = width;
    input.heightText = height;
    input.palSelected = opOPal_->isChecked();
    input.ntscFilmSelected = !input.palSelected && opONT1_->isChecked();
    input.format = format;

    const ResizeResult result = computeResize(input);
    if (!result.ok())
        return result.error;
    fps = result.fps;
    for (const BoxWrite& write : result.writes)
        resultBox(write.box)->setText(QString::fromStdString(write.text));
    return ResizeError::None;
}

QLineEdit* Form1::resultBox(ResultBox box) const {
    switch (box) {
    case ResultBox::TvWidth:
        return txtOWT_;
    case ResultBox::TvHeight:
        return txtOHT_;
    case ResultBox::MovieWidth:
        return txtOWM_;
    case ResultBox::MovieHeight:
        return txtOHM_;
    }
    return nullptr;
}

} // namespace quorvel
