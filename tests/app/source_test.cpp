// The window after a file's record has been read: what it shows, which
// reactions run, and what a bad record leaves behind.
#include "app/form1.h"
#include "tests/support/fake_avi_library.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>
#include <memory>

using namespace quorvel;
using fakes::FakeAviLibrary;

class SourceTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Form1> form;
    FakeAviLibrary lib;
    QStringList messages;

    QLineEdit* box(const char* n) { return form->findChild<QLineEdit*>(n); }
    QRadioButton* option(const char* n) { return form->findChild<QRadioButton*>(n); }
    QComboBox* list() { return form->findChild<QComboBox*>("boxFormat"); }
    QStringList results() {
        return {box("txtOWM")->text(), box("txtOHM")->text(), box("txtOWT")->text(),
                box("txtOHT")->text()};
    }
    QStringList checkedOptions() {
        QStringList on;
        for (const char* n : {"opSP", "opSNT1", "opSNT2", "opOPal", "opONT1", "opONT2"})
            if (option(n)->isChecked())
                on << n;
        return on;
    }
    FileInfoOutcome load(std::uint32_t w, std::uint32_t h, std::uint32_t rate,
                         std::uint32_t scale) {
        lib.record = FakeAviLibrary::makeRecord(w, h, rate, scale);
        return form->fileInfo("/videos/clip.avi");
    }

private Q_SLOTS:
    void init() {
        lib = FakeAviLibrary{};
        messages.clear();
        form = std::make_unique<Form1>();
        form->setMessageSink([this](const QString& text) { messages << text; });
        form->setAviLibrary(&lib);
        form->show();
    }
    void cleanup() { form.reset(); }

    void showsSourceAndDvdSizes_data() {
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::addColumn<uint>("rate");
        QTest::addColumn<uint>("scale");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<int>("fps");
        QTest::addColumn<QStringList>("sizes"); // Movie W, Movie H, TV W, TV H
        QTest::newRow("640x480 NTSC video")
            << 640u << 480u << 30000u << 1001u << QStringList{"opSNT2", "opONT2"} << 3
            << QStringList{"640", "480", "720", "480"};
        QTest::newRow("352x288 PAL") << 352u << 288u << 25u << 1u << QStringList{"opSP", "opOPal"}
                                     << 1 << QStringList{"704", "576", "720", "576"};
        QTest::newRow("1280x720 NTSC film")
            << 1280u << 720u << 24000u << 1001u << QStringList{"opSNT1", "opONT1"} << 2
            << QStringList{"720", "405", "720", "480"};
        QTest::newRow("rate 0 is video")
            << 640u << 272u << 0u << 1u << QStringList{"opSNT2", "opONT2"} << 3
            << QStringList{"720", "306", "720", "480"};
        QTest::newRow("negative width")
            << 0xFFFFFD80u << 480u << 25u << 1u << QStringList{"opSP", "opOPal"} << 1
            << QStringList{"-768", "576", "720", "576"};
    }
    void showsSourceAndDvdSizes() {
        QFETCH(uint, width);
        QFETCH(uint, height);
        QFETCH(uint, rate);
        QFETCH(uint, scale);
        QFETCH(QStringList, options);
        QFETCH(int, fps);
        QFETCH(QStringList, sizes);
        QVERIFY(load(width, height, rate, scale).shown());
        QCOMPARE(box("txtSW")->text(), QString::number(qint32(width)));
        QCOMPARE(box("txtSH")->text(), QString::number(qint32(height)));
        QCOMPARE(checkedOptions(), options);
        QCOMPARE(list()->currentText(), QStringLiteral("DVD"));
        QCOMPARE(form->format, std::optional<int>(2));
        QCOMPARE(int(form->fps), fps);
        QCOMPARE(results(), sizes);
        QVERIFY(messages.isEmpty());
        QCOMPARE(lib.openHandles, 0);
    }

    void loadOverridesTheUsersEarlierChoices() {
        box("txtSW")->setText("100");
        box("txtSH")->setText("100");
        list()->setCurrentIndex(3); // User Defined
        option("opOPal")->setChecked(true);
        QVERIFY(load(640, 480, 30000, 1001).shown());
        QCOMPARE(checkedOptions(), QStringList({"opSNT2", "opONT2"}));
        QCOMPARE(list()->currentIndex(), 2);
        QCOMPARE(results(), QStringList({"640", "480", "720", "480"}));

        // The same class again keeps the same options and ends the same way.
        QVERIFY(load(640, 480, 30000, 1001).shown());
        QCOMPARE(checkedOptions(), QStringList({"opSNT2", "opONT2"}));
        QCOMPARE(results(), QStringList({"640", "480", "720", "480"}));
    }

    void rateDivisorZeroShowsOnlyTheSize() {
        QVERIFY(load(352, 288, 25, 1).shown());
        const QStringList before = results();
        const FileInfoOutcome outcome = load(1280, 720, 25, 0);
        QCOMPARE(outcome.kind, FileInfoOutcome::FailedWhileShowing);
        QCOMPARE(outcome.failure.kind, SourceOutcome::RateDivisorZero);
        QCOMPARE(box("txtSW")->text(), QStringLiteral("1280"));
        QCOMPARE(box("txtSH")->text(), QStringLiteral("720"));
        QCOMPARE(checkedOptions(), QStringList({"opSP", "opOPal"}));
        QCOMPARE(results(), before);
        QCOMPARE(form->fps, std::int16_t(1));
        QVERIFY(messages.isEmpty()); // the browse command tells the user
        QCOMPARE(lib.calls.back(), std::string("exit"));
        QCOMPARE(lib.openHandles, 0);
    }

    // The road that read the file tells about it, once (see the browse tests).
    void unusableSizeIsLeftToTheCaller_data() {
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::newRow("height 0") << 640u << 0u;
        QTest::newRow("width above 32767") << 40000u << 480u;
        QTest::newRow("both huge") << 0x7FFFFFFFu << 0x80000000u;
    }
    void unusableSizeIsLeftToTheCaller() {
        QFETCH(uint, width);
        QFETCH(uint, height);
        const FileInfoOutcome outcome = load(width, height, 30000, 1001);
        QCOMPARE(outcome.kind, FileInfoOutcome::FailedWhileShowing);
        QCOMPARE(outcome.failure.kind, SourceOutcome::SizeRefused);
        QCOMPARE(messages, QStringList());
        QCOMPARE(box("txtSW")->text(), QString::number(qint32(width)));
        QCOMPARE(results(), QStringList({"", "", "", ""}));
        QCOMPARE(lib.openHandles, 0);
        // The window still works afterwards.
        QVERIFY(load(640, 480, 25, 1).shown());
        QCOMPARE(results(), QStringList({"720", "540", "720", "576"}));
    }

    void failedOpenChangesNothing() {
        QVERIFY(load(640, 480, 25, 1).shown());
        const QStringList before = results();
        lib.openResult = -1;
        lib.openError = ENOENT;
        QCOMPARE(load(1280, 720, 30, 1).kind, FileInfoOutcome::Told);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith("Error while opening the AVI file... "));
        QCOMPARE(box("txtSW")->text(), QStringLiteral("640"));
        QCOMPARE(results(), before);
    }

    void failedInfoChangesNothing() {
        lib.infoResult = -1;
        lib.infoError = avifile::kErrorNoVideoStream;
        QCOMPARE(load(640, 480, 25, 1).kind, FileInfoOutcome::Told);
        QCOMPARE(messages.size(), 1);
        QVERIFY(messages[0].startsWith("Error while retrieving AVI information... "));
        QCOMPARE(box("txtSW")->text(), QString());
        QCOMPARE(checkedOptions(), QStringList());
        QCOMPARE(lib.openHandles, 0);
    }

    // The real reader behind the window: files from the corpus and paths that fail.
    void realFilesFillTheWindow_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>(
            "expected"); // source W, H, output option, Movie W, H, TV W, H
        QTest::newRow("NTSC video")
            << "ntsc-640x480-30000-1001.avi"
            << QStringList{"640", "480", "opONT2", "640", "480", "720", "480"};
        QTest::newRow("PAL") << "cif-352x288-25.avi"
                             << QStringList{"352", "288", "opOPal", "704", "576", "720", "576"};
        QTest::newRow("film") << "hd-1280x720-24000-1001.avi"
                              << QStringList{"1280", "720", "opONT1", "720", "405", "720", "480"};
        QTest::newRow("audio first")
            << "audio-first-320x240-30000-1001.avi"
            << QStringList{"320", "240", "opONT2", "640", "480", "720", "480"};
        QTest::newRow("odd size") << "odd-102x128-25.avi"
                                  << QStringList{"102", "128", "opOPal", "459",
                                                 "576", "720", "576"};
    }
    void realFilesFillTheWindow() {
        QFETCH(QString, file);
        QFETCH(QStringList, expected);
        form->setAviLibrary(nullptr);
        const int before = avifile::initCount();
        QVERIFY(form->fileInfo(QUORVEL_TEST_DATA "/avi/" + file.toStdString()).shown());
        QVERIFY2(messages.isEmpty(), qPrintable(messages.join('|')));
        const QStringList actual{box("txtSW")->text(),      box("txtSH")->text(),
                                 checkedOptions().value(1), box("txtOWM")->text(),
                                 box("txtOHM")->text(),     box("txtOWT")->text(),
                                 box("txtOHT")->text()};
        QCOMPARE(actual, expected);
        QCOMPARE(list()->currentText(), QStringLiteral("DVD"));
        QCOMPARE(avifile::initCount(), before);
    }

    void realFailuresAreToldInClearWords_data() {
        QTest::addColumn<QString>("name"); // created in a temporary folder
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing file")
            << "missing.avi" << QByteArray()
            << "Error while opening the AVI file... No such file or directory";
        QTest::newRow("folder")
            << "folder.avi" << QByteArray()
            << "Error while opening the AVI file... The file is not a regular file";
        QTest::newRow("not an AVI")
            << "text.avi" << QByteArray("hello, this is text")
            << "Error while opening the AVI file... The file is not an AVI file.";
        QTest::newRow("header list missing") << "bare.avi" << QByteArray("RIFF\x04\0\0\0AVI ", 12)
                                             << "Error while retrieving AVI information... ";
    }
    void realFailuresAreToldInClearWords() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (name == "folder.avi")
            QVERIFY(QDir(dir.path()).mkdir(name));
        else if (!content.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        form->setAviLibrary(nullptr);
        box("txtSW")->setText("7");
        const int before = avifile::initCount();
        QCOMPARE(form->fileInfo(QFile::encodeName(path).toStdString()).kind, FileInfoOutcome::Told);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].startsWith(expected), qPrintable(messages[0]));
        QVERIFY(messages[0].size() > int(std::strlen(kInfoFailedText)));
        QCOMPARE(box("txtSW")->text(), QStringLiteral("7"));
        QCOMPARE(avifile::initCount(), before);
    }
};

QTEST_MAIN(SourceTest)
#include "source_test.moc"
