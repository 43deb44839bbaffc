#include "studio/studio_window.h"

#include "make/batch.h"
#include "make/options.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace quorvel::studio {

namespace {

QString fromBytes(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The Progress column as a bar.
class ProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const int percent = index.data(BatchModel::kPercentRole).toInt();
        if (percent < 0)
            return QStyledItemDelegate::paint(p, option, index);
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 2, -2, -2);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = percent;
        bar.text = QString::number(percent) + QLatin1Char('%');
        bar.textVisible = true;
        bar.state = option.state | QStyle::State_Horizontal;
        QApplication::style()->drawControl(QStyle::CE_ProgressBar, &bar, p);
    }
};

const disc::Format kFormats[] = {disc::Format::Dvd, disc::Format::Svcd, disc::Format::Vcd};

} // namespace

StudioWindow::StudioWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(tr("Quorvel Studio"));
    setAcceptDrops(true);
    auto* central = new QWidget(this);
    auto* top = new QVBoxLayout(central);

    auto* buttons = new QHBoxLayout;
    add_ = new QPushButton(tr("&Add files..."), central);
    remove_ = new QPushButton(tr("&Remove"), central);
    up_ = new QPushButton(tr("Move &up"), central);
    down_ = new QPushButton(tr("Move do&wn"), central);
    for (QPushButton* b : {add_, remove_, up_, down_})
        buttons->addWidget(b);
    buttons->addStretch();
    top->addLayout(buttons);

    auto* split = new QSplitter(Qt::Horizontal, central);
    table_ = new QTableView(split);
    table_->setObjectName(QStringLiteral("files"));
    table_->setAccessibleName(tr("Files"));
    table_->setModel(&model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setItemDelegateForColumn(BatchModel::Progress, new ProgressDelegate(table_));
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    preview_ = new PreviewWidget(split);
    split->addWidget(table_);
    split->addWidget(preview_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    top->addWidget(split, 1);

    auto* form = new QFormLayout;
    format_ = new QComboBox(central);
    format_->setObjectName(QStringLiteral("format"));
    for (disc::Format f : kFormats)
        format_->addItem(QString::fromLatin1(disc::formatName(f)));
    standard_ = new QComboBox(central);
    standard_->setObjectName(QStringLiteral("standard"));
    standard_->addItems({tr("As the files ask"), QStringLiteral("PAL"), QStringLiteral("NTSC")});
    disc_ = new QComboBox(central);
    disc_->setObjectName(QStringLiteral("disc"));
    fill_ = new QProgressBar(central);
    fill_->setObjectName(QStringLiteral("fill"));
    fill_->setAccessibleName(tr("Disc fill"));
    fill_->setRange(0, 100);
    fill_->setTextVisible(true);
    auto* imageRow = new QHBoxLayout;
    image_ = new QLineEdit(QDir::home().filePath(QStringLiteral("disc.iso")), central);
    image_->setObjectName(QStringLiteral("image"));
    choose_ = new QPushButton(tr("C&hoose..."), central);
    imageRow->addWidget(image_, 1);
    imageRow->addWidget(choose_);
    form->addRow(tr("&Format:"), format_);
    form->addRow(tr("&Standard:"), standard_);
    form->addRow(tr("D&isc:"), disc_);
    form->addRow(tr("Fill:"), fill_);
    auto* imageLabel = new QLabel(tr("Ima&ge:"), central);
    imageLabel->setBuddy(image_);
    form->addRow(imageLabel, imageRow);
    top->addLayout(form);

    auto* run = new QHBoxLayout;
    make_ = new QPushButton(tr("&Make disc"), central);
    cancel_ = new QPushButton(tr("&Cancel"), central);
    total_ = new QProgressBar(central);
    total_->setObjectName(QStringLiteral("total"));
    total_->setAccessibleName(tr("Overall progress"));
    total_->setRange(0, 100);
    total_->setValue(0);
    step_ = new QLabel(central);
    run->addWidget(make_);
    run->addWidget(cancel_);
    run->addWidget(total_, 1);
    run->addWidget(step_);
    top->addLayout(run);

    auto* result = new QHBoxLayout;
    message_ = new QLabel(central);
    message_->setObjectName(QStringLiteral("message"));
    message_->setWordWrap(true);
    message_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    message_->setAccessibleName(tr("Messages"));
    open_ = new QPushButton(tr("&Open folder"), central);
    open_->hide();
    result->addWidget(message_, 1);
    result->addWidget(open_);
    top->addLayout(result);
    setCentralWidget(central);

    setTabOrder(add_, remove_);
    setTabOrder(remove_, up_);
    setTabOrder(up_, down_);
    setTabOrder(down_, table_);
    setTabOrder(table_, format_);
    setTabOrder(format_, standard_);
    setTabOrder(standard_, disc_);
    setTabOrder(disc_, image_);
    setTabOrder(image_, choose_);
    setTabOrder(choose_, make_);
    setTabOrder(make_, cancel_);
    setTabOrder(cancel_, open_);

    connect(add_, &QPushButton::clicked, this, &StudioWindow::chooseFiles);
    connect(remove_, &QPushButton::clicked, this, &StudioWindow::removeSelected);
    connect(up_, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(down_, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(choose_, &QPushButton::clicked, this, &StudioWindow::chooseImage);
    connect(make_, &QPushButton::clicked, this, &StudioWindow::makeDisc);
    connect(cancel_, &QPushButton::clicked, this, &StudioWindow::cancel);
    connect(open_, &QPushButton::clicked, this, &StudioWindow::openFolder);
    auto* del = new QShortcut(QKeySequence::Delete, table_);
    del->setContext(Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, &StudioWindow::removeSelected);
    // Ctrl+Up and Ctrl+Down move the chosen file, as the buttons do.
    for (const int by : {-1, 1}) {
        auto* move =
            new QShortcut(QKeySequence(Qt::CTRL | (by < 0 ? Qt::Key_Up : Qt::Key_Down)), table_);
        move->setContext(Qt::WidgetShortcut);
        connect(move, &QShortcut::activated, this, [this, by] { moveSelected(by); });
    }
    connect(format_, &QComboBox::currentIndexChanged, this, &StudioWindow::formatChosen);
    connect(standard_, &QComboBox::currentIndexChanged, this, [this](int i) {
        model_.setStandard(i == 1   ? std::optional(disc::Standard::Pal)
                           : i == 2 ? std::optional(disc::Standard::Ntsc)
                                    : std::nullopt);
    });
    connect(disc_, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (i < 0)
            return;
        using K = disc::DiscChoice::Kind;
        const bool dvd = model_.format() == disc::Format::Dvd;
        model_.setDisc({dvd ? (i == 0 ? K::Dvd5 : K::Dvd9) : (i == 0 ? K::Cd80 : K::Cd74)});
    });
    connect(&model_, &BatchModel::planChanged, this, &StudioWindow::planChanged);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &StudioWindow::showPreview);
    connect(&grabber_, &FrameGrabber::grabbed, this, [this](const QString& path, const QImage& f) {
        frames_.insert(path, f);
        showPreview();
    });
    connect(&maker_, &DiscMaker::progress, this, &StudioWindow::progressed);
    connect(&maker_, &DiscMaker::step, step_, &QLabel::setText);
    connect(&maker_, &DiscMaker::finished, this, &StudioWindow::finished);

    formatChosen();
    setRunning(false);
    resize(1100, 640);
}

QString StudioWindow::message() const {
    return message_->text();
}

void StudioWindow::showMessage(const QString& text, bool error) {
    message_->setText(text);
    message_->setStyleSheet(error ? QStringLiteral("color: #b00000;") : QString());
}

int StudioWindow::selectedRow() const {
    const QModelIndex i = table_->selectionModel()->currentIndex();
    return i.isValid() ? i.row() : -1;
}

void StudioWindow::addFiles(const QStringList& paths) {
    if (maker_.running())
        return;
    const QStringList refused = model_.addFiles(paths);
    showMessage(refused.isEmpty() ? QString() : tr("Not added: ") + refused.join(tr("; ")), true);
    if (selectedRow() < 0 && model_.rowCount() > 0)
        table_->selectRow(0);
}

void StudioWindow::chooseFiles() {
    const QStringList paths = QFileDialog::getOpenFileNames(this, tr("Add video files"));
    addFiles(paths);
}

void StudioWindow::chooseImage() {
    const QString path = QFileDialog::getSaveFileName(this, tr("Disc image"), image_->text());
    if (!path.isEmpty())
        image_->setText(path);
}

void StudioWindow::removeSelected() {
    const int row = selectedRow();
    if (maker_.running() || row < 0)
        return;
    model_.removeFile(row);
    if (model_.rowCount() > 0)
        table_->selectRow(std::min(row, model_.rowCount() - 1));
}

void StudioWindow::moveSelected(int by) {
    const int row = selectedRow();
    if (maker_.running() || row < 0 || row + by < 0 || row + by >= model_.rowCount())
        return;
    model_.moveFile(row, row + by);
    table_->selectRow(row + by);
}

void StudioWindow::formatChosen() {
    const disc::Format f = kFormats[std::max(0, format_->currentIndex())];
    {
        const QSignalBlocker block(disc_);
        disc_->clear();
        if (f == disc::Format::Dvd)
            disc_->addItems({QStringLiteral("DVD-5"), QStringLiteral("DVD-9")});
        else
            disc_->addItems({tr("CD 80 min"), tr("CD 74 min")});
    }
    // The image's kind follows the format: an ISO, or a CUE with its BIN.
    QString image = image_->text();
    const QString suffix = QFileInfo(image).suffix().toLower();
    if (suffix == QLatin1String("iso") || suffix == QLatin1String("cue")) {
        image.chop(suffix.size());
        image_->setText(image +
                        (f == disc::Format::Dvd ? QStringLiteral("iso") : QStringLiteral("cue")));
    }
    model_.setFormat(f);
}

void StudioWindow::planChanged() {
    const make::DiscFill& fill = model_.fill();
    fill_->setValue(std::clamp(fill.percent, 0, 100));
    // Only %p, %v and %m are the bar's own: the text's "%" shows as it is.
    fill_->setFormat(fromBytes(fill.text));
    fill_->setAccessibleDescription(fromBytes(fill.text));
    // Red when the batch does not fit on one disc.
    QPalette palette = fill_->palette();
    palette.setColor(QPalette::Highlight, fill.fits() || !fill.planned
                                              ? QApplication::palette().color(QPalette::Highlight)
                                              : QColor(0xc0, 0, 0));
    fill_->setPalette(palette);
    fill_->setProperty("fits", fill.fits());
    table_->resizeColumnsToContents();
    showPreview();
}

void StudioWindow::showPreview() {
    const int row = selectedRow();
    const disc::TargetPlan* t = model_.target(row);
    if (!t) {
        preview_->setTarget(std::nullopt, false);
        return;
    }
    preview_->setTarget(*t, t->rate && t->rate->interlaced);
    const QString path = model_.paths().value(row);
    const auto cached = frames_.constFind(path);
    if (cached != frames_.constEnd()) {
        preview_->setFrame(*cached);
        return;
    }
    preview_->setFrame({});
    // A third of the way in, past any black start; at most a minute in, to be quick.
    const auto duration = model_.sources()[static_cast<std::size_t>(row)].durationMs;
    grabber_.grab(
        path, duration ? static_cast<qint64>(std::min<std::uint64_t>(*duration / 3, 60'000)) : 0);
}

void StudioWindow::setRunning(bool running) {
    for (QWidget* w : std::initializer_list<QWidget*>{add_, remove_, up_, down_, format_, standard_,
                                                      disc_, image_, choose_, make_})
        w->setEnabled(!running);
    cancel_->setEnabled(running);
}

void StudioWindow::makeDisc() {
    if (maker_.running())
        return;
    open_->hide();
    if (model_.rowCount() == 0)
        return showMessage(tr("Add a file first."), true);
    const make::DiscFill& fill = model_.fill();
    if (!fill.planned)
        return showMessage(fromBytes(fill.text), true);
    if (!fill.fits())
        return showMessage(tr("The files need %1 discs: remove some or choose a bigger disc.")
                               .arg(fill.discsNeeded),
                           true);
    if (const std::string why = make::unplanned(model_.plan(), model_.names()); !why.empty())
        return showMessage(fromBytes(why), true);
    make::DiscOptions o;
    o.format = model_.format();
    o.disc = model_.disc();
    o.output = QFile::encodeName(image_->text()).toStdString();
    for (const QString& path : model_.paths())
        o.inputs.push_back(QFile::encodeName(path).toStdString());
    const std::string image = make::imagePath(o);
    if (const std::string why = make::imageProblem(o, image); !why.empty())
        return showMessage(fromBytes(why), true);
    if (const std::string missing = make::missingTools(o.format); !missing.empty())
        return showMessage(fromBytes(missing), true);
    for (int i = 0; i < model_.rowCount(); ++i)
        model_.setPercent(i, 0);
    total_->setValue(0);
    step_->setText(tr("encoding"));
    showMessage({}, false);
    make::MakeRequest request =
        make::makeRequest(o, model_.request(), model_.sources(), image, make::workFolder(o, image));
    setRunning(maker_.start(std::move(request), model_.plan()));
}

void StudioWindow::cancel() {
    if (!maker_.running())
        return;
    maker_.cancel();
    step_->setText(tr("stopping"));
    cancel_->setEnabled(false);
}

void StudioWindow::progressed(const QList<int>& percents, int total) {
    for (int i = 0; i < percents.size(); ++i)
        model_.setPercent(i, percents[i]);
    total_->setValue(total);
}

void StudioWindow::finished(int status, const QString& image, const QString& error) {
    setRunning(false);
    step_->clear();
    if (status == 0) {
        total_->setValue(100);
        made_ = image;
        showMessage(tr("Made %1").arg(image), false);
        open_->show();
    } else if (status == 130) {
        showMessage(tr("Stopped. Make disc again goes on from the encodes already done."), true);
    } else {
        showMessage(error.isEmpty() ? tr("The disc could not be made.") : error, true);
    }
}

void StudioWindow::openFolder() {
    if (!made_.isEmpty())
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(made_).absolutePath()));
}

void StudioWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !maker_.running())
        event->acceptProposedAction();
}

void StudioWindow::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    addFiles(paths);
    event->acceptProposedAction();
}

} // namespace quorvel::studio
