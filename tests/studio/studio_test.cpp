// The disc window's model and run, offscreen: rows, fill, warnings, order
// and a Cancel that stops the engine without freezing the window.
#include "studio/studio_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;
using studio::BatchModel;

namespace {

const QString kData = QStringLiteral(QUORVEL_TEST_DATA);
const QString kWide = kData + QStringLiteral("/mpeg/ps-mpeg2-720x576-dar16x9-25.mpg");
const QString kNtsc = kData + QStringLiteral("/mpeg/ps-mpeg2-720x480-dar4x3-30000-1001.mpg");
const QString kUnknownRate = kData + QStringLiteral("/mp4/avc1-64x48-vfr-avg-20.mp4");

QString cell(const BatchModel& m, int row, int column) {
    return m.data(m.index(row, column)).toString();
}

} // namespace

class StudioTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void rowsWarningsAndOrder() {
        BatchModel m;
        const QStringList refused =
            m.addFiles({kWide, QStringLiteral(__FILE__), kNtsc, kUnknownRate});
        QCOMPARE(refused.size(), 1);
        QVERIFY(refused.front().startsWith(QStringLiteral("studio_test.cpp: ")));
        QCOMPARE(m.rowCount(), 3);
        struct Row {
            const char* name;
            const char* shape;
            bool warned;
        } const rows[] = {
            {"ps-mpeg2-720x576-dar16x9-25.mpg", "16:9", false},
            {"ps-mpeg2-720x480-dar4x3-30000-1001.mpg", "4:3", false},
            {"avc1-64x48-vfr-avg-20.mp4", "4:3", true},
        };
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(cell(m, i, BatchModel::Name), QString::fromLatin1(rows[i].name));
            QVERIFY(cell(m, i, BatchModel::Shape).contains(QLatin1String(rows[i].shape)));
            QVERIFY(cell(m, i, BatchModel::Time).startsWith(QStringLiteral("0:00:")));
            QVERIFY(cell(m, i, BatchModel::Rate).contains(QStringLiteral(" kbit/s")));
            QCOMPARE(!cell(m, i, BatchModel::Warnings).isEmpty(), rows[i].warned);
        }
        // One batch, one standard: every row the same TV frame.
        for (int i = 1; i < 3; ++i)
            QCOMPARE(m.target(i)->tv.height, m.target(0)->tv.height);

        // Moving a row moves its plan with it; removing drops both.
        m.moveFile(0, 2);
        QCOMPARE(cell(m, 2, BatchModel::Name), QString::fromLatin1(rows[0].name));
        QCOMPARE(m.target(2)->aspect, disc::DisplayAspect::Wide);
        QCOMPARE(m.target(0)->aspect, disc::DisplayAspect::Standard);
        m.removeFile(1);
        QCOMPARE(m.rowCount(), 2);
        QCOMPARE(m.plan().inputs.size(), std::size_t{2});
        QVERIFY(cell(m, 1, BatchModel::Warnings).isEmpty());
    }

    void fillFollowsChoices() {
        BatchModel m;
        QCOMPARE(m.fill().text, std::string("0% of a DVD-5"));
        m.addFiles({kWide, kNtsc});
        QVERIFY(m.fill().fits());
        QVERIFY(m.fill().text.find("% of a DVD-5, video 9,") != std::string::npos);
        m.setStandard(disc::Standard::Ntsc);
        QCOMPARE(m.target(0)->tv.height, 480);
        m.setFormat(disc::Format::Vcd);
        QVERIFY(m.fill().text.find("of a CD 80 min, video 1,150") != std::string::npos);
        QCOMPARE(m.target(0)->tv.width, 352);
        QVERIFY(cell(m, 0, BatchModel::Shape).startsWith(QStringLiteral("352x240 4:3")));
        m.setDisc({disc::DiscChoice::Kind::Dvd9});
        QVERIFY(!m.fill().planned);
        // The window's fill bar says the same.
        studio::StudioWindow w;
        w.addFiles({kWide});
        auto* bar = w.findChild<QProgressBar*>(QStringLiteral("fill"));
        QVERIFY(bar->text().contains(QStringLiteral("% of a DVD-5")));
        QVERIFY(bar->property("fits").toBool());
        // Keys in the list: Ctrl+Down moves the chosen file, Delete removes it.
        w.addFiles({kNtsc});
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        auto* table = w.findChild<QTableView*>(QStringLiteral("files"));
        table->setFocus();
        table->selectRow(0);
        QTest::keyClick(table, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(cell(w.model(), 1, BatchModel::Name), QFileInfo(kWide).fileName());
        QTest::keyClick(table, Qt::Key_Delete);
        QCOMPARE(w.model().paths(), QStringList{kNtsc});
    }

    void cancelStopsCleanly() {
        QTemporaryDir dir;
        // Twenty seconds: seconds of encoding, so Cancel comes while it runs.
        const QString clip = dir.filePath("clip.mkv");
        QCOMPARE(
            QProcess::execute("ffmpeg", {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                         "testsrc2=s=320x240:r=25:d=20", "-c:v", "mpeg4", clip}),
            0);
        studio::StudioWindow w;
        w.show();
        w.addFiles({clip, clip});
        w.findChild<QLineEdit*>(QStringLiteral("image"))->setText(dir.filePath("out.iso"));
        w.makeDisc();
        QVERIFY2(w.maker().running(), qPrintable(w.message()));
        w.cancel();
        // The window goes on answering while the engine stops.
        QTRY_VERIFY_WITH_TIMEOUT(!w.maker().running(), 20000);
        QVERIFY2(w.message().startsWith(QStringLiteral("Stopped")), qPrintable(w.message()));
        QVERIFY(!QFile::exists(dir.filePath("out.iso")));
        QVERIFY(w.findChild<QPushButton*>()->isEnabled());
        // An image in the way is named, not overwritten.
        QFile(dir.filePath("out.iso")).open(QIODevice::WriteOnly);
        w.makeDisc();
        QVERIFY(!w.maker().running());
        QVERIFY(w.message().contains(QStringLiteral("exists")));
    }
};

QTEST_MAIN(StudioTest)
#include "studio_test.moc"
