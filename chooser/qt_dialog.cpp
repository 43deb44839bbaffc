#include "chooser/qt_dialog.h"

#include "chooser/dialog_answer.h"
#include "chooser/name_filters.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>
#include <QMessageBox>
#include <QScreen>
#include <QThread>
#include <QWidget>

#include <atomic>

namespace quorvel::RUVIV_CommonDialog {

namespace {

constexpr const char* kHandleProperty = "quorvelWindowHandle";

QHash<Handle, QPointer<QWidget>>& handleTable() {
    static QHash<Handle, QPointer<QWidget>> table;
    return table;
}

// The record's strings end at their first NUL, like the C strings they stand for.
QString textOf(const std::string& field) {
    const auto end = field.find('\0');
    return QString::fromStdString(field.substr(0, end));
}

// Blanks only: other white space is part of a file name.
QString withoutBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.mid(first, last - first);
}

// Stands in for a thread's activation hook: calls the hook procedure for each
// window that appears while it is installed. A window's Show comes first,
// before the window is on screen (so the move is never seen) and before any
// activation, which Qt delivers later from its queue: hooking WindowActivate
// instead would catch the owner's own pending activation.
class ActivationHook final : public QObject {
public:
    explicit ActivationHook(HookProc procedure) : procedure_(procedure) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Show)
            return false;
        auto* window = qobject_cast<QWidget*>(watched);
        if (window == nullptr || !activates(window))
            return false;
        procedure_(kHcbtActivate, static_cast<std::int32_t>(windowHandle(window)), 0);
        return false;
    }

private:
    // Windows that never take the activation (menus, tooltips) are not ones
    // the hook waits for.
    static bool activates(const QWidget* window) {
        if (!window->isWindow() || window->testAttribute(Qt::WA_ShowWithoutActivating))
            return false;
        switch (window->windowType()) {
        case Qt::Popup:
        case Qt::ToolTip:
        case Qt::SplashScreen:
        case Qt::Desktop:
            return false;
        default:
            return !window->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus);
        }
    }

    HookProc procedure_;
};

// Qt's file dialog made to answer like the module's: several existing files
// may be chosen, while a single typed name that does not exist is offered for
// creation instead of being refused.
class OpenDialog final : public QFileDialog {
public:
    explicit OpenDialog(QWidget* parent) : QFileDialog(parent) {
        setOption(QFileDialog::DontUseNativeDialog);
        setOption(QFileDialog::DontResolveSymlinks);
        setAcceptMode(QFileDialog::AcceptOpen);
        // AnyFile lets a missing name reach accept(); the views still take
        // several files at once.
        setFileMode(QFileDialog::AnyFile);
        for (auto* view : findChildren<QAbstractItemView*>()) {
            if (view->objectName() == QLatin1String("listView") ||
                view->objectName() == QLatin1String("treeView"))
                view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        }
    }

    const QStringList& chosen() const { return chosen_; }

    void accept() override {
        const QStringList files = selectedFiles();
        if (files.isEmpty())
            return;
        if (files.size() == 1) {
            acceptOne(files.front());
            return;
        }
        for (const QString& file : files) {
            const QFileInfo info(file);
            if (!info.isFile() && !info.isSymLink()) {
                QMessageBox::warning(
                    this, windowTitle(),
                    tr("%1\nFile not found.\nPlease verify the correct file name was given.")
                        .arg(info.fileName()));
                return;
            }
        }
        finish(files);
    }

private:
    void acceptOne(const QString& file) {
        const QFileInfo info(file);
        if (info.isDir()) {
            QFileDialog::accept(); // opens the folder
            return;
        }
        if (!info.exists() && !info.isSymLink()) {
            if (!info.absoluteDir().exists()) {
                QMessageBox::warning(this, windowTitle(),
                                     QCoreApplication::translate("quorvel", "The folder %1 does "
                                                                            "not exist.")
                                         .arg(QDir::toNativeSeparators(info.absolutePath())));
                return;
            }
            const auto answer = QMessageBox::question(
                this, windowTitle(),
                QCoreApplication::translate("quorvel",
                                            "%1 does not exist.\nDo you want to create it?")
                    .arg(info.fileName()),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
            if (answer != QMessageBox::Yes)
                return;
        }
        finish({file});
    }

    void finish(const QStringList& files) {
        chosen_ = files;
        QDialog::accept();
    }

    QStringList chosen_;
};

void configure(OpenDialog& dialog, const OpenFileName& params) {
    const QString title = textOf(params.lpstrTitle);
    if (!title.isEmpty())
        dialog.setWindowTitle(title);

    QStringList filters;
    for (const auto& filter : nameFiltersFrom(params.lpstrFilter))
        filters.push_back(QString::fromStdString(filter));
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        const qsizetype index = params.nFilterIndex - 1;
        dialog.selectNameFilter(filters.at(index >= 0 && index < filters.size() ? index : 0));
    }

    const QString defaultExtension = textOf(params.lpstrDefExt);
    if (!defaultExtension.isEmpty())
        dialog.setDefaultSuffix(defaultExtension);

    const QString initialDir = textOf(params.lpstrInitialDir);
    if (!initialDir.isEmpty())
        dialog.setDirectory(initialDir);
    // A path here wins over the initial folder, so the dialog reopens where
    // the last answer was.
    const QString name = withoutBlanks(textOf(params.lpstrFile));
    if (!name.isEmpty())
        dialog.selectFile(name);
}

// All chosen files live in one folder; a typed path to elsewhere is kept
// relative to it.
bool writeChosen(const QStringList& files, OpenFileName& params) {
    const QString folder = QFileInfo(files.front()).absolutePath();
    const QDir dir(folder);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(files.size()));
    for (const QString& file : files)
        names.push_back(QDir::toNativeSeparators(dir.relativeFilePath(file)).toStdString());
    return writeAnswer(QDir::toNativeSeparators(folder).toStdString(), names, kPathSeparator,
                       params);
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

QtCommonDialogPlatform::QtCommonDialogPlatform() {
    setPlatform(this);
    setWindowOps(this);
}

QtCommonDialogPlatform::~QtCommonDialogPlatform() {
    setPlatform(nullptr);
    setWindowOps(nullptr);
    for (auto& [handle, hook] : hooks_) {
        if (hook != nullptr) {
            if (QCoreApplication::instance() != nullptr)
                QCoreApplication::instance()->removeEventFilter(hook);
            delete hook.data();
        }
    }
}

Handle QtCommonDialogPlatform::windowInstance(Handle /*window*/) {
    return static_cast<Handle>(QCoreApplication::applicationPid());
}

std::int32_t QtCommonDialogPlatform::currentThreadId() {
    static std::atomic<std::int32_t> lastId{0};
    thread_local const std::int32_t id = ++lastId;
    return id;
}

Handle QtCommonDialogPlatform::installHook(HookProc hook, Handle /*instance*/,
                                           std::int32_t thread) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || hook == nullptr || thread != currentThreadId() ||
        QThread::currentThread() != app->thread())
        return 0;
    auto* filter = new ActivationHook(hook);
    app->installEventFilter(filter);
    const Handle handle = ++lastHook_;
    hooks_.emplace(handle, filter);
    return handle;
}

std::int32_t QtCommonDialogPlatform::getOpenFileName(OpenFileName& params) {
    // The owner may go away while the dialog runs, taking the dialog with it.
    QPointer<OpenDialog> dialog = new OpenDialog(windowFromHandle(params.hwndOwner));
    configure(*dialog, params);
    const int code = dialog->exec();
    if (dialog.isNull())
        return 0;
    const QStringList files = dialog->chosen();
    delete dialog.data();
    if (code != QDialog::Accepted || files.isEmpty())
        return 0;
    return writeChosen(files, params) ? 1 : 0;
}

bool QtCommonDialogPlatform::windowRect(Handle window, Rect& rect) {
    QWidget* widget = windowFromHandle(window);
    if (widget == nullptr)
        return false;
    const QRect outer = widget->isWindow()
                            ? widget->frameGeometry()
                            : QRect(widget->mapToGlobal(QPoint(0, 0)), widget->size());
    rect = Rect{outer.x(), outer.y(), outer.x() + outer.width(), outer.y() + outer.height()};
    return true;
}

ScreenSize QtCommonDialogPlatform::primaryScreenSize() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return {};
    const QSize size = screen->geometry().size();
    return {static_cast<double>(size.width()), static_cast<double>(size.height())};
}

void QtCommonDialogPlatform::moveWindow(Handle window, std::int32_t x, std::int32_t y) {
    QWidget* widget = windowFromHandle(window);
    if (widget == nullptr)
        return;
    if (widget->isWindow())
        widget->move(x, y); // a window's move places its frame
    else
        widget->move(widget->parentWidget()->mapFromGlobal(QPoint(x, y)));
}

void QtCommonDialogPlatform::unhook(Handle hook) {
    const auto found = hooks_.find(hook);
    if (found == hooks_.end())
        return;
    if (QObject* filter = found->second.data()) {
        if (QCoreApplication::instance() != nullptr)
            QCoreApplication::instance()->removeEventFilter(filter);
        // Called from inside the filter's own eventFilter.
        filter->deleteLater();
    }
    hooks_.erase(found);
}

} // namespace quorvel::RUVIV_CommonDialog
