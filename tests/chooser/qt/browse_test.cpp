// The "..." button end to end: the real dialog, the path box and the reader.
#include "app/form1.h"
#include "chooser/qt/qt_dialog.h"
#include "tests/support/fake_avi_library.h"
#include "tests/support/fake_dialog.h"
#include "tests/support/modal.h"

#include <QComboBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>

using namespace quorvel;
using fakes::onModal;
using fakes::typeAndEnter;

namespace {

const QString kCorpus = QStringLiteral(QUORVEL_TEST_DATA "/avi/");

// A copy of a corpus file whose video rate divisor and frame duration are 0,
// so the reader has nothing to put in their place.
QByteArray withoutRate(QByteArray avi) {
    const qsizetype avih = avi.indexOf("avih");
    qsizetype strh = avi.indexOf("strh");
    while (strh >= 0 && avi.mid(strh + 8, 4) != "vids")
        strh = avi.indexOf("strh", strh + 4);
    if (avih < 0 || strh < 0)
        return {};
    avi.replace(avih + 8, 4, QByteArray(4, '\0'));      // dwMicroSecPerFrame
    avi.replace(strh + 8 + 20, 4, QByteArray(4, '\0')); // dwScale
    return avi;
}

} // namespace

class BrowseTest : public QObject {
    Q_OBJECT

    RUVIV_CommonDialog::QtCommonDialogPlatform platform;
    std::unique_ptr<Form1> form;
    QStringList messages;
    QTemporaryDir dir;

    QLineEdit* box(const char* n) { return form->findChild<QLineEdit*>(n); }
    QStringList state() {
        QStringList s;
        for (const char* n : {"Text1", "txtSW", "txtSH", "txtOWM", "txtOHM", "txtOWT", "txtOHT"})
            s << box(n)->text();
        for (const char* n : {"opSP", "opSNT1", "opSNT2", "opOPal", "opONT1", "opONT2"})
            if (form->findChild<QRadioButton*>(n)->isChecked())
                s << n;
        s << form->findChild<QComboBox*>("boxFormat")->currentText();
        return s;
    }
    // Clicks "..." and answers the dialog with `names` typed into its name box.
    void browse(const QString& names, std::function<void(QFileDialog*)> inspect = {}) {
        onModal<QFileDialog>([=, this](QFileDialog* dialog) {
            if (inspect)
                inspect(dialog);
            dialog->setDirectory(dir.path());
            if (names.isEmpty())
                dialog->reject();
            else
                typeAndEnter(dialog, names);
        });
        QTest::mouseClick(form->findChild<QPushButton*>("btnBrowse"), Qt::LeftButton);
    }
    void clickBrowse() {
        QTest::mouseClick(form->findChild<QPushButton*>("btnBrowse"), Qt::LeftButton);
    }
    void copyCorpus(const QString& from, const QString& to) {
        QFile::remove(dir.filePath(to));
        QVERIFY(QFile::copy(kCorpus + from, dir.filePath(to)));
    }

private Q_SLOTS:
    void init() {
        messages.clear();
        RUVIV_CommonDialog::dialogParams = {};
        form = std::make_unique<Form1>();
        form->setMessageSink([this](const QString& text) { messages << text; });
        form->show();
        QApplication::setActiveWindow(form.get());
    }
    void cleanup() { form.reset(); }

    void cancelChangesNothing() {
        fakes::FakeAviLibrary lib;
        form->setAviLibrary(&lib);
        box("Text1")->setText("previous");
        const QStringList before = state();
        QString title, filter, folder;
        browse({}, [&](QFileDialog* d) {
            title = d->windowTitle();
            filter = d->nameFilters().join('|');
            folder = d->directory().absolutePath();
        });
        QCOMPARE(state(), before);
        QVERIFY(lib.calls.empty());
        QVERIFY(messages.isEmpty());
        QCOMPARE(title, QStringLiteral("Show Open"));
        QCOMPARE(filter, QStringLiteral("AVI Files (*.avi)"));
        QCOMPARE(folder, QDir(QCoreApplication::applicationDirPath()).absolutePath());
    }

    void oneFileFillsTheWindow() {
        copyCorpus("hd-1280x720-24000-1001.avi", "film.avi");
        browse("film.avi");
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(state(), QStringList({dir.filePath("film.avi"), "1280", "720", "720", "405", "720",
                                       "480", "opSNT1", "opONT1", "DVD"}));
    }

    void onlyTheFirstOfSeveralIsRead() {
        fakes::FakeAviLibrary lib;
        lib.record = fakes::FakeAviLibrary::makeRecord(352, 288, 25, 1);
        form->setAviLibrary(&lib);
        copyCorpus("cif-352x288-25.avi", "a.avi");
        copyCorpus("ntsc-640x480-30000-1001.avi", "b.avi");
        browse("\"a.avi\" \"b.avi\"");
        QCOMPARE(box("Text1")->text(), dir.filePath("a.avi"));
        QCOMPARE(QString::fromStdString(lib.openedPath), dir.filePath("a.avi"));
        QCOMPARE(std::count(lib.calls.begin(), lib.calls.end(), "open"), 1);
        QCOMPARE(box("txtSW")->text(), QStringLiteral("352"));
    }

    void createdMissingFileShowsTheOpenFailure() {
        box("txtSW")->setText("640");
        onModal<QMessageBox>(
            [](QMessageBox* prompt) { prompt->button(QMessageBox::Yes)->click(); });
        browse("new.avi");
        QCOMPARE(box("Text1")->text(), dir.filePath("new.avi"));
        QCOMPARE(messages,
                 QStringList{"Error while opening the AVI file... No such file or directory"});
        QCOMPARE(box("txtSW")->text(), QStringLiteral("640"));
    }

    void rateDivisorZeroShowsTheSizeAndOneMessage() {
        QFile bad(dir.filePath("norate.avi"));
        QFile good(kCorpus + "pal-720x576-25.avi");
        QVERIFY(good.open(QIODevice::ReadOnly) && bad.open(QIODevice::WriteOnly));
        const QByteArray patched = withoutRate(good.readAll());
        QVERIFY(!patched.isEmpty());
        bad.write(patched);
        bad.close();
        browse("norate.avi");
        QCOMPARE(state(),
                 QStringList({dir.filePath("norate.avi"), "720", "576", "", "", "", "", ""}));
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains("divisor"), qPrintable(messages[0]));
    }

    void tooManyFilesAreToldAndChangeNothing() {
        QStringList names;
        for (int i = 0; i < 201; ++i) {
            const QString name = QStringLiteral("f%1.avi").arg(i, 3, 10, QChar('0'));
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            names << '"' + name + '"';
        }
        const QStringList before = state();
        browse(names.join(' '));
        QCOMPARE(state(), before);
        QCOMPARE(messages, QStringList{"More than 200 files were chosen."});
    }

    // Text1 shows the path before the file is read, so it is there when the
    // open fails; the reader gets exactly the dialog's bytes.
    void pathIsShownBeforeTheFileIsRead_data() {
        QTest::addColumn<QByteArray>("folder");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("path");
        QTest::newRow("plain") << QByteArray("/videos") << QByteArray("clip.avi")
                               << QByteArray("/videos/clip.avi");
        QTest::newRow("root") << QByteArray("/") << QByteArray("x.avi") << QByteArray("/x.avi");
        QTest::newRow("Latin-1 name")
            << QByteArray("/v") << QByteArray("caf\xe9.avi") << QByteArray("/v/caf\xe9.avi");
    }
    void pathIsShownBeforeTheFileIsRead() {
        QFETCH(QByteArray, folder);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, path);
        fakes::FakeAviLibrary lib;
        lib.openResult = -1;
        lib.openError = ENOENT;
        form->setAviLibrary(&lib);
        fakes::FakeDialog dialog(&platform);
        dialog.folder = folder.toStdString();
        dialog.names = {name.toStdString()};
        box("Text1")->setText("previous");
        QString shownWhenTold;
        form->setMessageSink([&](const QString& text) {
            messages << text;
            shownWhenTold = box("Text1")->text();
        });
        clickBrowse();
        QCOMPARE(lib.openedPath, path.toStdString());
        QCOMPARE(box("Text1")->text(), QFile::decodeName(path));
        QCOMPARE(shownWhenTold, QFile::decodeName(path));
        QCOMPARE(messages,
                 QStringList{"Error while opening the AVI file... No such file or directory"});
    }

    // A file whose size the window cannot use: one message, the same on every
    // load, whatever was loaded or chosen before.
    void unusableSizeIsToldOncePerLoad_data() {
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("wrongBox");
        QTest::newRow("640x0") << 640u << 0u
                               << "The file's frame size cannot be used. The source height must "
                                  "not be 0."
                               << "txtSH";
        QTest::newRow("40000x480") << 40000u << 480u
                                   << "The file's frame size cannot be used. The source width is "
                                      "out of range. It must be a whole number from -32768 to "
                                      "32767."
                                   << "txtSW";
    }
    void unusableSizeIsToldOncePerLoad() {
        QFETCH(uint, width);
        QFETCH(uint, height);
        QFETCH(QString, message);
        QFETCH(QString, wrongBox);
        fakes::FakeAviLibrary lib;
        form->setAviLibrary(&lib);
        fakes::FakeDialog dialog(&platform);
        dialog.folder = "/videos";
        dialog.names = {"clip.avi"};
        form->findChild<QComboBox*>("boxFormat")->setCurrentIndex(0);
        lib.record = fakes::FakeAviLibrary::makeRecord(width, height, 25, 1);
        clickBrowse();
        QCOMPARE(messages, QStringList{message});
        QTRY_COMPARE(QApplication::focusWidget()->objectName(), wrongBox);
        clickBrowse();
        QCOMPARE(messages, QStringList({message, message}));
        // A good file afterwards is shown in full.
        lib.record = fakes::FakeAviLibrary::makeRecord(640, 480, 25, 1);
        clickBrowse();
        QCOMPARE(messages.size(), 2);
        QCOMPARE(box("txtOWT")->text(), QStringLiteral("720"));
    }

    // The dialog's bytes name the file; the box shows them decoded.
    void latin1FileNameIsReadByItsBytes() {
        const std::string folder = QFile::encodeName(dir.path()).toStdString();
        const std::string name = "caf\xe9.avi";
        std::filesystem::copy_file((kCorpus + "cif-352x288-25.avi").toStdString(),
                                   folder + "/" + name,
                                   std::filesystem::copy_options::overwrite_existing);
        // The folder's own clean-up goes by decoded names and would miss it.
        const auto remove = qScopeGuard([&] { std::filesystem::remove(folder + "/" + name); });
        fakes::FakeDialog dialog(&platform);
        dialog.folder = folder;
        dialog.names = {name};
        clickBrowse();
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        QCOMPARE(box("Text1")->text(),
                 QFile::decodeName(QByteArray::fromStdString(folder + "/" + name)));
        QCOMPARE(state().mid(1),
                 QStringList({"352", "288", "704", "576", "720", "576", "opSP", "opOPal", "DVD"}));
    }

    void dialogIsCentredOverTheMainWindow() {
        fakes::FakeDialog dialog(&platform);
        clickBrowse();
        QCOMPARE(dialog.shown, 1);
        QVERIFY(dialog.hook == &RUVIV_CommonDialog::CenterOnOwnerHook);
        QCOMPARE(dialog.asked.hwndOwner, RUVIV_CommonDialog::windowHandle(form.get()));
        QCOMPARE(RUVIV_CommonDialog::hookOwner, RUVIV_CommonDialog::windowHandle(form.get()));
    }
};

QTEST_MAIN(BrowseTest)
#include "browse_test.moc"
