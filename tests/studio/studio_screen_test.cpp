// The disc window on a real X server (run under xvfb-run): three generated
// files added, the screen's pixels checked where the plan puts the preview's
// black borders and picture, and a small DVD made. QUORVEL_STUDIO_SHOT names
// a folder for the screenshots.
#include "studio/studio_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

using namespace quorvel;

namespace {

bool black(QRgb c) {
    return qRed(c) < 24 && qGreen(c) < 24 && qBlue(c) < 24;
}

} // namespace

class StudioScreenTest : public QObject {
    Q_OBJECT

    QImage shot(studio::StudioWindow& w, const QString& name) {
        QTest::qWait(300);
        const QImage screen = w.screen()->grabWindow(0).toImage();
        if (const QString dir = qEnvironmentVariable("QUORVEL_STUDIO_SHOT"); !dir.isEmpty())
            w.grab().save(dir + QLatin1Char('/') + name);
        return screen;
    }

    // The preview's borders black, the picture not, the outline around.
    void checkPreview(studio::StudioWindow& w, bool bars, bool wide) {
        QTRY_VERIFY_WITH_TIMEOUT(w.preview().hasFrame(), 20000);
        const QImage screen = shot(w, QStringLiteral("preview.png"));
        const auto g = w.preview().geometryNow();
        QVERIFY(g);
        const QPoint o = w.preview().mapToGlobal(QPoint(0, 0));
        auto at = [&](int x, int y) { return screen.pixel(o.x() + x, o.y() + y); };
        const disc::Rect f = g->frame;
        const disc::Rect p = g->picture;
        // The frame at the display aspect.
        QVERIFY(std::abs(f.width * (wide ? 9 : 3) - f.height * (wide ? 16 : 4)) <= (wide ? 16 : 4));
        QCOMPARE(p.height < f.height - 4, bars);
        const int cx = f.x + f.width / 2;
        if (bars) {
            QVERIFY(black(at(cx, f.y + (p.y - f.y) / 2)));
            QVERIFY(black(at(cx, p.y + p.height + (f.y + f.height - p.y - p.height) / 2)));
            QVERIFY(black(at(f.x + 1, f.y + 1)));
        }
        // testsrc2's picture is colour nearly everywhere: most of a row across it.
        int lit = 0;
        for (int x = p.x + 2; x < p.x + p.width - 2; x += 4)
            lit += !black(at(x, p.y + p.height / 3));
        QVERIFY2(lit * 4 > (p.width - 4) * 3 / 4, qPrintable(QString::number(lit)));
        QCOMPARE(at(f.x - 1, f.y + f.height / 2), studio::PreviewWidget::kOutline);
        QCOMPARE(at(1, 1), studio::PreviewWidget::kBackground);
    }

private Q_SLOTS:
    void previewAndDisc() {
        QTemporaryDir dir;
        // Wide 16:9, 4:3 and 2.4:1 (letterboxed on a 16:9 DVD), two seconds each.
        const char* const sizes[] = {"640x360", "640x480", "720x300"};
        QStringList files;
        for (const char* size : sizes) {
            const QString path = dir.filePath(QStringLiteral("clip-%1.mkv").arg(size));
            const int code = QProcess::execute(
                QStringLiteral("ffmpeg"),
                {"-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                 QStringLiteral("testsrc2=s=%1:r=25:d=2").arg(size), "-f", "lavfi", "-i",
                 "sine=d=2", "-c:v", "mpeg4", "-q:v", "5", "-c:a", "mp2", "-shortest", path});
            QCOMPARE(code, 0);
            files << path;
        }
        studio::StudioWindow w;
        w.resize(1100, 640);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.addFiles(files);
        QCOMPARE(w.model().rowCount(), 3);
        auto* table = w.findChild<QTableView*>(QStringLiteral("files"));
        table->selectRow(2);
        checkPreview(w, true, true);
        if (QTest::currentTestFailed())
            return;
        table->selectRow(1);
        checkPreview(w, false, false);
        if (QTest::currentTestFailed())
            return;
        // On a VCD the wide picture goes letterboxed into 4:3.
        table->selectRow(0);
        w.findChild<QComboBox*>(QStringLiteral("format"))->setCurrentIndex(2);
        checkPreview(w, true, false);
        if (QTest::currentTestFailed())
            return;
        w.findChild<QComboBox*>(QStringLiteral("format"))->setCurrentIndex(0);
        checkPreview(w, false, true);
        if (QTest::currentTestFailed())
            return;

        const QString image = dir.filePath(QStringLiteral("small.iso"));
        w.findChild<QLineEdit*>(QStringLiteral("image"))->setText(image);
        w.makeDisc();
        QVERIFY2(w.maker().running(), qPrintable(w.message()));
        QTRY_VERIFY_WITH_TIMEOUT(!w.maker().running(), 300000);
        QVERIFY2(w.message().startsWith(QStringLiteral("Made ")), qPrintable(w.message()));
        QVERIFY(QFileInfo(image).size() > 0);
        table->selectRow(2); // the letterboxed film, for the README
        shot(w, QStringLiteral("studio.png"));
    }
};

QTEST_MAIN(StudioScreenTest)
#include "studio_screen_test.moc"
