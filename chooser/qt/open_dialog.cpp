#include "chooser/qt/open_dialog.h"

#include "chooser/dialog_answer.h"
#include "chooser/name_filters.h"
#include "chooser/qt/native_path.h"
#include "chooser/qt/window_handles.h"
#include "resize/text.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPointer>
#include <QSettings>

#include <algorithm>

namespace quorvel::RUVIV_CommonDialog {

namespace {

// The record's strings end at their first NUL, like the C strings they stand for.
std::string_view cString(const std::string& field) {
    return std::string_view(field).substr(0, field.find('\0'));
}

QString textOf(const std::string& field) {
    return QString::fromUtf8(cString(field));
}

// Paths in the record are the file system's bytes.
QString pathOf(std::string_view bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

// Several existing files may be chosen, while a single typed name that does
// not exist is offered for creation instead of being refused.
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
        box_ = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        list_ = findChild<QListView*>(QStringLiteral("listView"));
        model_ = findChild<QFileSystemModel*>();
        // Queued, so that it comes after Qt's own handler, which writes the
        // names in the order they were selected.
        if (box_ != nullptr && list_ != nullptr && model_ != nullptr)
            connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
                    &OpenDialog::showSelectionInListOrder, Qt::QueuedConnection);
    }

    const QStringList& chosen() const { return chosen_; }

    // Several names in the name box come back as it lists them, typed or
    // picked, and each must exist.
    void accept() override {
        QStringList files = namesInBox();
        if (files.size() < 2)
            files = selectedFiles();
        if (files.isEmpty())
            return;
        if (files.size() == 1) {
            acceptOne(files.front());
            return;
        }
        for (const QString& file : files) {
            const auto native = nativeOrWarn(file);
            if (!native)
                return;
            const EntryKind kind = entryKind(*native);
            if (!kind.isFile && !kind.isLink) {
                QMessageBox::warning(
                    this, windowTitle(),
                    tr("%1\nFile not found.\nPlease verify the correct file name was given.")
                        .arg(QFileInfo(file).fileName()));
                return;
            }
        }
        finish(files);
    }

private:
    // Qt's reading of the box: one name, or several each in double quotes.
    QStringList namesInBox() const {
        if (box_ == nullptr)
            return {};
        const QString text = box_->text();
        QStringList names;
        if (!text.contains(u'"')) {
            names << text;
        } else {
            const QStringList parts = text.split(u'"');
            for (qsizetype i = 1; i < parts.size(); i += 2)
                names << parts.at(i);
        }
        QStringList files;
        const QDir folder = directory();
        for (QString name : std::as_const(names)) {
            if (name.isEmpty())
                continue;
            const QString suffix = defaultSuffix();
            if (!suffix.isEmpty() && !QFileInfo(name).fileName().contains(u'.') &&
                !QFileInfo(folder, name).isDir())
                name += u'.' + suffix;
            files << folder.absoluteFilePath(name);
        }
        return files;
    }

    // Picked in the list, the names show in the list's order; Qt's handler
    // leaves a box that has the focus alone, and so does this.
    void showSelectionInListOrder() {
        if (box_->hasFocus() || !box_->isVisible())
            return;
        QStringList names;
        for (const QModelIndex& row : selectedRowsInListOrder()) {
            if (!model_->isDir(row))
                names << row.data().toString();
        }
        if (names.size() < 2)
            return;
        for (QString& name : names)
            name = u'"' + name + u'"';
        box_->setText(names.join(u' '));
    }

    QModelIndexList selectedRowsInListOrder() const {
        if (list_ == nullptr)
            return {};
        QModelIndexList rows = list_->selectionModel()->selectedRows();
        std::sort(rows.begin(), rows.end(),
                  [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
        return rows;
    }

    // Qt's own file information would look for the name's UTF-8 form, which
    // is not the file when its name is not valid UTF-8.
    std::optional<QByteArray> nativeOrWarn(const QString& file) {
        auto native = nativePath(file);
        if (!native)
            QMessageBox::warning(this, windowTitle(),
                                 QCoreApplication::translate(
                                     "quorvel", "%1\nMore than one file in the folder shows this "
                                                "name.\nPlease rename one of them.")
                                     .arg(QFileInfo(file).fileName()));
        return native;
    }

    void acceptOne(const QString& file) {
        const QFileInfo info(file);
        const auto native = nativeOrWarn(file);
        if (!native)
            return;
        const EntryKind kind = entryKind(*native);
        if (kind.isDir) {
            QFileDialog::accept(); // opens the folder
            return;
        }
        if (!kind.exists && !kind.isLink) {
            if (!entryKind(native->left(std::max<qsizetype>(native->lastIndexOf('/'), 1))).isDir) {
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
    QLineEdit* box_ = nullptr;
    QListView* list_ = nullptr;
    QFileSystemModel* model_ = nullptr;
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

    const QString initialDir = pathOf(cString(params.lpstrInitialDir));
    if (!initialDir.isEmpty())
        dialog.setDirectory(initialDir);
    // A path here wins over the initial folder, so the dialog reopens where
    // the last answer was.
    // Spaces only: other white space is part of a file name.
    const QString name = pathOf(trimmed(cString(params.lpstrFile), kSpace));
    if (!name.isEmpty())
        dialog.selectFile(name);
}

// All chosen files live in one folder; a typed path to elsewhere is kept
// relative to it. The answer holds the file system's bytes.
bool writeChosen(const QStringList& files, OpenFileName& params) {
    const QString folder = QFileInfo(files.front()).absolutePath();
    const auto folderBytes = nativePath(folder);
    if (!folderBytes)
        return false;
    const QDir dir(folder);
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(files.size()));
    for (const QString& file : files) {
        const auto name = nativeNameUnder(*folderBytes, dir.relativeFilePath(file));
        if (!name)
            return false;
        names.push_back(name->toStdString());
    }
    return writeAnswer(folderBytes->toStdString(), names, kPathSeparator, params);
}

// QFileDialog reads its history, last folder and view from Qt's own settings
// file when it is made and writes them back when it is destroyed. The program
// keeps nothing, so Qt's settings are sent to a folder that cannot exist (a
// device file is in the way): nothing is read, and nothing can be created
// there, not even the folder. No other settings are used in the program.
void keepQtSettingsAway() {
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        for (const auto scope : {QSettings::UserScope, QSettings::SystemScope})
            QSettings::setPath(format, scope, QStringLiteral("/dev/null"));
}

} // namespace

std::int32_t runOpenDialog(OpenFileName& params) {
    keepQtSettingsAway();
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

} // namespace quorvel::RUVIV_CommonDialog
