#include "../support/modal.h"
#include "chooser/qt_dialog.h"
#include "resize/rounding.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

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
                // The list or the detail view, whichever the dialog shows.
                QAbstractItemView* shown = view;
                if (!shown->isVisible())
                    shown = d->findChild<QTreeView*>("treeView");
                const QModelIndex a =
                    d->findChild<QFileSystemModel*>()->index(dir.filePath("a.avi"));
                shown->setFocus(); // as a real click in it would
                QTRY_VERIFY(shown->hasFocus());
                QTest::mouseClick(shown->viewport(), Qt::LeftButton, Qt::ControlModifier,
                                  shown->visualRect(a).center());
                QTRY_COMPARE(box->text(), "\"a.avi\" \"b.avi\"");
                d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Open)->click();
            } else {
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
