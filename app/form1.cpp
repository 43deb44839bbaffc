#include "app/form1.h"

#include "app/focus_loss_filter.h"
#include "app/focus_policy.h"
#include "app/layout_builder.h"
#include "chooser/browse.h"
#include "chooser/qt/qt_dialog.h"
#include "resize/number.h"
#include "source/source_view.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QTimer>

#include "app/quorvel_icon.xpm"

namespace quorvel {

Form1::Form1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      messages_([this](const QString& text) { showQuorvelMessage(this, text); }) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quorvel"));
    setWindowIcon(QIcon(QPixmap(quorvel_icon_xpm)));
    setFont(windowFont());
    setFixedSize(kClientWidthTwips / kTwipsPerPixel, kClientHeightTwips / kTwipsPerPixel);

    buildControls(*this, kLayout);
    wireControls();
    applyTabOrder(*this, kLayout);
    onLoad();
    syncOutputOptionFocus();

    // Signals are connected after the load handler: filling the list selects
    // entry 0 on the way, which must not count as the user's choice.
    connect(boxFormat_, &QComboBox::currentIndexChanged, this, &Form1::formatChosen);
    for (QRadioButton* option : {opOPal_, opONT1_, opONT2_})
        connect(option, &QRadioButton::toggled, this, &Form1::outputOptionToggled);
    connect(command1_, &QPushButton::clicked, this, &Form1::endProgram);
    connect(btnBrowse_, &QPushButton::clicked, this, &Form1::browseClicked);
    focusLoss_ = new FocusLossFilter(*this, {txtSW_, txtSH_}, [this] { sourceBoxLeft(); });

    btnBrowse_->setFocus();
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

void Form1::onLoad() {
    for (const char* entry : {"VCD", "SVCD", "DVD", "User Defined"})
        boxFormat_->addItem(QString::fromLatin1(entry));
    boxFormat_->setCurrentIndex(-1);
}

void Form1::setMessageSink(MessageSink sink) {
    messages_.setSink(std::move(sink));
}

void Form1::setAviLibrary(avifile::AviLibrary* library) {
    aviLibrary_ = library;
}

FileInfoOutcome Form1::fileInfo(const std::string& path) {
    MessageRule::Action action(messages_);
    avifile::AviLibrary& library = aviLibrary_ ? *aviLibrary_ : avifile::systemAviLibrary();
    bool told = false;
    const SourceOutcome outcome = inspectFile(
        library, path,
        [this, &told](const std::string& text) {
            told = true;
            messages_.tell(QString::fromStdString(text));
        },
        [this](const avifile::AVIFILEINFO& record) {
            const QScopedValueRollback quiet(showingSource_, true);
            return showSourceInfo(record);
        });
    if (told)
        return {FileInfoOutcome::Told, {}};
    if (!outcome.ok())
        return {FileInfoOutcome::FailedWhileShowing, outcome};
    return {};
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

void Form1::syncOutputOptionFocus() {
    enterGroupAtSelected({opONT2_, opONT1_, opOPal_});
}

void Form1::browseClicked() {
    // A click that took the focus from a bad source box is told about first,
    // as its own action, before the dialog opens.
    focusLoss_->runPending();
    MessageRule::Action action(messages_);
    FileInfoOutcome read;
    // A failure ends the command and undoes nothing, but the user is told why:
    // what was already shown stays, and silence would leave it unexplained.
    const std::optional<std::string> trapped = runTrapped([&] {
        const QString folder = QCoreApplication::applicationDirPath();
        const auto chosen = chooseAviFile(RUVIV_CommonDialog::windowHandle(this),
                                          QFile::encodeName(folder).toStdString());
        if (!chosen)
            return;
        // The box shows the name; the file is read by the dialog's own bytes.
        text1_->setText(QFile::decodeName(QByteArray::fromStdString(*chosen)));
        read = fileInfo(*chosen);
    });
    if (trapped) {
        messages_.tell(QString::fromStdString(*trapped));
        return;
    }
    if (read.kind != FileInfoOutcome::FailedWhileShowing)
        return;
    const QString text = QString::fromStdString(describeSourceOutcome(read.failure));
    if (read.failure.kind == SourceOutcome::SizeRefused)
        reportSourceError(read.failure.resize, text);
    else
        messages_.tell(text);
}

void Form1::formatChosen(int index) {
    MessageRule::Action action(messages_);
    format = index;
    focusLoss_->runPending();
    runTrigger();
}

void Form1::outputOptionToggled(bool selected) {
    syncOutputOptionFocus();
    if (!selected)
        return;
    MessageRule::Action action(messages_);
    focusLoss_->runPending();
    runTrigger();
}

void Form1::sourceBoxLeft() {
    MessageRule::Action action(messages_);
    const ResizeError error = applyRecalculationRule();
    if (error == ResizeError::None || showingSource_)
        return;
    // Moving between the boxes while fixing them is no reason to say it again.
    if (toldAbout_ == std::pair(txtSW_->text(), txtSH_->text()))
        return;
    reportSourceError(error, QString::fromStdString(describeResizeError(error)));
}

void Form1::endProgram() {
    // At once: a bad source box left by this click is not worth a message now.
    focusLoss_->dropPending();
    close();
    QCoreApplication::exit(0);
}

ResizeError Form1::applyRecalculationRule() {
    const QString width = txtSW_->text();
    const QString height = txtSH_->text();
    if (width.isEmpty() || height.isEmpty())
        return ResizeError::None;
    const ResizeError error = calcResize();
    if (error == ResizeError::None)
        toldAbout_.reset();
    return error;
}

void Form1::runTrigger() {
    const ResizeError error = applyRecalculationRule();
    if (error != ResizeError::None && !showingSource_)
        reportSourceError(error, QString::fromStdString(describeResizeError(error)));
}

// Tells why the source cannot be used and puts the user back into the wrong
// box with its text selected, once the message and the focus change that
// brought it are over.
void Form1::reportSourceError(ResizeError error, const QString& text) {
    if (!messages_.tell(text))
        return;
    toldAbout_ = std::pair(txtSW_->text(), txtSH_->text());
    const bool widthWrong =
        error == ResizeError::WidthNotANumber || error == ResizeError::WidthOutOfRange;
    QLineEdit* wrong = widthWrong ? txtSW_ : txtSH_;
    QTimer::singleShot(0, wrong, [wrong] {
        wrong->setFocus(Qt::OtherFocusReason);
        wrong->selectAll();
    });
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
