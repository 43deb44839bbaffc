#include "chooser/qt/qt_dialog.h"
#include "resize/rounding.h"
#include "tests/support/modal.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <fcntl.h>
#include <functional>
#include <unistd.h>

using namespace quorvel::RUVIV_CommonDialog;
using quorvel::fakes::onModal;
using quorvel::fakes::typeAndEnter;
using namespace std::string_literals;
using Names = std::vector<std::string>;

namespace {

// Notes which windows the hooks move, then lets the Qt operations do it.
struct RecordingOps final : WindowOps {
    explicit RecordingOps(WindowOps& real) : real(real) {}
    bool windowRect(Handle w, Rect& r) override { return real.windowRect(w, r); }
    ScreenSize primaryScreenSize() override { return real.primaryScreenSize(); }
    void moveWindow(Handle w, std::int32_t x, std::int32_t y) override {
        moved.push_back(w);
        real.moveWindow(w, x, y);
    }
    void unhook(Handle hook) override { real.unhook(hook); }
    WindowOps& real;
    std::vector<Handle> moved;
};

// Files named by bytes that QFile cannot spell, nor QTemporaryDir remove.
struct FilesByName {
    ~FilesByName() {
        for (const QByteArray& path : paths)
            ::unlink(path.constData());
    }
    bool create(const QByteArray& path) {
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd < 0)
            return false;
        paths << path;
        return ::close(fd) == 0;
    }
    QList<QByteArray> paths;
};

// The list or the detail view, whichever the dialog shows.
QAbstractItemView* shownView(QFileDialog* d) {
    QAbstractItemView* view = d->findChild<QListView*>("listView");
    return view->isVisible() ? view : d->findChild<QTreeView*>("treeView");
}

// The model lists a folder's files as it reads them and sorts them a moment
// later, which can be seconds on a loaded machine: a test of the list's order
// waits until the names show in the order given.
bool listedInOrder(QFileDialog* d, const QStringList& names) {
    auto* model = d->findChild<QFileSystemModel*>();
    return QTest::qWaitFor([&] {
        int above = -1;
        for (const QString& name : names) {
            const QModelIndex row = model->index(d->directory().filePath(name));
            if (!row.isValid() || row.row() <= above)
                return false;
            above = row.row();
        }
        return true;
    });
}

// Clicks `path`'s row, as a user does, once the folder has been listed.
void clickRow(QFileDialog* d, const QString& path, Qt::KeyboardModifiers keys = {}) {
    QAbstractItemView* view = shownView(d);
    auto* model = d->findChild<QFileSystemModel*>();
    QModelIndex row;
    QVERIFY(QTest::qWaitFor([&] {
        row = model->index(path);
        return row.isValid() && !view->visualRect(row).isEmpty();
    }));
    view->setFocus(); // where a real click puts it
    QVERIFY(QTest::qWaitFor([&] { return view->hasFocus(); }));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, keys, view->visualRect(row).center());
}

} // namespace

class ChooserTest : public QObject {
    Q_OBJECT

    QtCommonDialogPlatform platform;
    QTemporaryDir dir;
    QTimer watchdog; // closes what a failing test leaves open, so it fails rather than hangs
    bool timedOut = false;

private Q_SLOTS:
    void initTestCase() {
        for (const char* name : {"a.avi", "b.avi"})
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        QVERIFY(QFile::link(dir.filePath("a.avi"), dir.filePath("link.avi")));
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, this, [this] {
            timedOut = true;
            for (int i = 0; i < 5; ++i)
                if (auto* stuck = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
                    stuck->reject();
        });
    }

    void init() {
        dialogParams = {};
        dialogParams.lpstrInitialDir = dir.path().toStdString();
        timedOut = false;
        watchdog.start(10000);
    }

    void cleanup() {
        watchdog.stop();
        QVERIFY2(!timedOut, "a dialog was left open");
    }

    void typedNamesAreReturned_data() {
        QTest::addColumn<QString>("typed"); // empty: cancel
        QTest::addColumn<int>("prompt");    // the create prompt's answer, if it is to come
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("cancel") << "" << 0 << QStringList{};
        QTest::newRow("one file") << "a.avi" << 0 << QStringList{"a.avi"};
        QTest::newRow("several") << "\"a.avi\" \"b.avi\"" << 0 << QStringList{"a.avi", "b.avi"};
        QTest::newRow("missing, created")
            << "new.avi" << int(QMessageBox::Yes) << QStringList{"new.avi"};
        QTest::newRow("missing, refused") << "new.avi" << int(QMessageBox::No) << QStringList{};
    }

    void typedNamesAreReturned() {
        QFETCH(QString, typed);
        QFETCH(int, prompt);
        QFETCH(QStringList, expected);
        QString question;
        bool stayedOpen = false;
        onModal<QFileDialog>([&](QFileDialog* d) {
            if (prompt != 0)
                onModal<QMessageBox>([&](QMessageBox* box) {
                    question = box->text();
                    box->button(QMessageBox::StandardButton(prompt))->click();
                });
            if (!typed.isEmpty()) {
                typeAndEnter(d, typed);
                stayedOpen = d->isVisible();
            }
            if (d->isVisible())
                d->reject();
        });
        const OpenResult r = ShowOpen(0, kCenterOnScreen);
        Names want;
        for (const QString& name : expected)
            want.push_back(name.toStdString());
        QCOMPARE(Names(r.files.begin(), r.files.end()), want);
        QCOMPARE(r.folder, want.empty() ? "" : dir.path().toStdString() + '/');
        QCOMPARE(r.cancelled, std::int16_t(want.empty() ? -1 : 0));
        QCOMPARE(stayedOpen, !typed.isEmpty() && want.empty());
        if (prompt != 0)
            QCOMPARE(question, "new.avi does not exist.\nDo you want to create it?");
    }

    // Control-clicks in the list, as a user picks several files; the link
    // comes back as itself.
    void filesPickedInTheListAreReturned() {
        onModal<QFileDialog>([](QFileDialog* d) {
            auto* view = d->findChild<QListView*>("listView");
            const QModelIndex root = view->rootIndex();
            QVERIFY(QTest::qWaitFor([&] { return view->model()->rowCount(root) == 3; }));
            QVERIFY(listedInOrder(d, {"a.avi", "b.avi", "link.avi"}));
            for (int row = 0; row < 3; ++row) {
                const QModelIndex index = view->model()->index(row, 0, root);
                if (index.data().toString() != "b.avi")
                    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::ControlModifier,
                                      view->visualRect(index).center());
            }
            d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
        });
        const OpenResult r = ShowOpen(0, kCenterOnScreen);
        QCOMPARE(Names(r.files.begin(), r.files.end()), (Names{"a.avi", "link.avi"}));
    }

    // After b.avi was read the next dialog opens with it selected. Typed
    // names come back in the order typed; names picked in the list come back
    // in the list's order, whatever was selected first.
    void severalNamesKeepTheUsersOrderAfterAChoice_data() {
        QTest::addColumn<QString>("typed"); // empty: control-click a.avi instead
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("typed, preselected last")
            << "\"a.avi\" \"b.avi\"" << QStringList{"a.avi", "b.avi"};
        QTest::newRow("typed, preselected first")
            << "\"b.avi\" \"a.avi\"" << QStringList{"b.avi", "a.avi"};
        QTest::newRow("typed, one missing") << "\"new.avi\" \"b.avi\"" << QStringList{};
        QTest::newRow("picked in the list") << "" << QStringList{"a.avi", "b.avi"};
    }

    void severalNamesKeepTheUsersOrderAfterAChoice() {
        QFETCH(QString, typed);
        QFETCH(QStringList, expected);
        onModal<QFileDialog>([](QFileDialog* d) { typeAndEnter(d, "b.avi"); });
        QCOMPARE(ShowOpen(0, kCenterOnScreen).files(1), "b.avi");

        QString warning;
        onModal<QFileDialog>([&](QFileDialog* d) {
            auto* view = d->findChild<QListView*>("listView");
            auto* box = d->findChild<QLineEdit*>("fileNameEdit");
            // Focus goes where a user's keys or clicks would put it.
            d->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(d));
            QVERIFY(QTest::qWaitFor(
                [&] { return view->selectionModel()->selectedRows().size() == 1; }));
            if (typed.isEmpty()) {
                QVERIFY(listedInOrder(d, {"a.avi", "b.avi"}));
                clickRow(d, dir.filePath("a.avi"), Qt::ControlModifier);
                QTRY_COMPARE(box->text(), "\"a.avi\" \"b.avi\"");
                d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
            } else {
                if (expected.isEmpty()) // only then is there a box to answer
                    onModal<QMessageBox>([&](QMessageBox* box) {
                        warning = box->text();
                        box->accept();
                    });
                box->setFocus();
                QTRY_VERIFY(box->hasFocus());
                typeAndEnter(d, typed);
            }
            if (d->isVisible())
                d->reject();
        });
        const OpenResult r = ShowOpen(0, kCenterOnScreen);
        Names want;
        for (const QString& name : expected)
            want.push_back(name.toStdString());
        QCOMPARE(Names(r.files.begin(), r.files.end()), want);
        QCOMPARE(warning,
                 want.empty()
                     ? "new.avi\nFile not found.\nPlease verify the correct file name was given."
                     : "");
    }

    // A name that is not valid UTF-8 shows with U+FFFD for its bad byte (Qt's
    // list leaves such files out, so the name is pasted as shown elsewhere);
    // the answer still holds the file's own bytes, and the next dialog starts
    // on it.
    void nameThatIsNotUtf8ComesBackAsItsBytes() {
        QTemporaryDir latin1;
        const QByteArray folder = QFile::encodeName(latin1.path());
        const QByteArray name = "caf\xe9.avi";
        FilesByName files;
        QVERIFY(files.create(folder + '/' + name));
        const QString shown = QFile::decodeName(name);
        QVERIFY(shown.contains(QChar::ReplacementCharacter));
        dialogParams.lpstrInitialDir = folder.toStdString();
        onModal<QFileDialog>([&](QFileDialog* d) {
            typeAndEnter(d, shown);
            if (d->isVisible())
                d->reject();
        });
        const OpenResult r = ShowOpen(0, kCenterOnScreen);
        QCOMPARE(r.folder, folder.toStdString() + '/');
        QCOMPARE(r.files(1), name.toStdString());
        QCOMPARE(::access((r.folder + r.files(1)).c_str(), F_OK), 0);

        QString again;
        onModal<QFileDialog>([&](QFileDialog* d) {
            again = d->findChild<QLineEdit*>("fileNameEdit")->text();
            d->reject();
        });
        ShowOpen(0, kCenterOnScreen);
        QCOMPARE(again, shown);
    }

    // Two such names show alike, and the answer cannot say which was meant.
    void namesThatShowAlikeAreRefused() {
        QTemporaryDir latin1;
        const QByteArray folder = QFile::encodeName(latin1.path());
        FilesByName files;
        for (const char* name : {"caf\xe9.avi", "caf\xe8.avi"})
            QVERIFY(files.create(folder + '/' + name));
        dialogParams.lpstrInitialDir = folder.toStdString();
        QString warning;
        bool stayedOpen = false;
        onModal<QFileDialog>([&](QFileDialog* d) {
            onModal<QMessageBox>([&](QMessageBox* box) {
                warning = box->text();
                box->accept();
            });
            typeAndEnter(d, QFile::decodeName("caf\xe9.avi"));
            stayedOpen = d->isVisible();
            d->reject();
        });
        QCOMPARE(ShowOpen(0, kCenterOnScreen).cancelled, std::int16_t(-1));
        QVERIFY(stayedOpen);
        QCOMPARE(warning, QFile::decodeName("caf\xe9.avi") +
                              "\nMore than one file in the folder shows this name.\nPlease "
                              "rename one of them.");
    }

    void dialogTakesTitleFiltersFolderAndNameFromTheRecord() {
        dialogParams.lpstrTitle = "Open AVI\0"s;
        dialogParams.lpstrFilter = "AVI Files (*.avi)\0*.avi\0All Files (*.*)\0*.*\0\0"s;
        dialogParams.nFilterIndex = 2;
        dialogParams.lpstrFile = "  clip.avi \0old"s;
        QStringList seen;
        onModal<QFileDialog>([&](QFileDialog* d) {
            seen << d->windowTitle() << d->nameFilters() << d->selectedNameFilter()
                 << d->directory().absolutePath()
                 << d->findChild<QLineEdit*>("fileNameEdit")->text();
            d->reject();
        });
        ShowOpen(0, kCenterOnScreen);
        QCOMPARE(seen, (QStringList{"Open AVI", "AVI Files (*.avi)", "All Files (*)",
                                    "All Files (*)", dir.path(), "clip.avi"}));
    }

    void answerLongerThanTheBufferFails() {
        OpenFileName params = dialogParams;
        params.lpstrFile = "         \0"s;
        params.nMaxFile = 10;
        params.nMaxFileTitle = 2048;
        onModal<QFileDialog>([](QFileDialog* d) { typeAndEnter(d, "a.avi"); });
        QCOMPARE(platform.getOpenFileName(params), 0);
        QCOMPARE(params.lpstrFile, "         \0"s);
    }

    // Show reaches the dialog before any activation: only the dialog moves, not
    // the owner, whose own activation is still queued here, nor the prompt
    // that comes up later.
    void dialogAloneIsCentred_data() {
        QTest::addColumn<int>("center");
        QTest::newRow("over the owner") << int(kCenterOnOwner);
        QTest::newRow("on the screen") << int(kCenterOnScreen);
    }

    void dialogAloneIsCentred() {
        QFETCH(int, center);
        RecordingOps ops(platform);
        setWindowOps(&ops);
        QWidget owner;
        owner.setGeometry(100, 50, 801, 601);
        owner.show();
        const QRect ownerFrame = owner.frameGeometry();
        QRect dialogFrame;
        Handle dialogHandle = 0;
        onModal<QFileDialog>([&](QFileDialog* d) {
            dialogFrame = d->frameGeometry();
            dialogHandle = windowHandle(d);
            onModal<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
            typeAndEnter(d, "new.avi");
            d->reject();
        });
        ShowOpen(windowHandle(&owner), std::int16_t(center));
        setWindowOps(&platform);

        const QRect area = center == kCenterOnOwner ? ownerFrame : owner.screen()->geometry();
        const auto middle = [](double start, double side, double inner) {
            return int(quorvel::roundHalfEven(side / 2 + start - inner / 2));
        };
        QCOMPARE(dialogFrame.topLeft(),
                 QPoint(middle(area.x(), area.width(), dialogFrame.width()),
                        middle(area.y(), area.height(), dialogFrame.height())));
        QCOMPARE(owner.frameGeometry(), ownerFrame);
        QCOMPARE(ops.moved, std::vector<Handle>{dialogHandle});
    }
};

QTEST_MAIN(ChooserTest)
#include "chooser_test.moc"
