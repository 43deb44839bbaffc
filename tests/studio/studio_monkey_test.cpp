// A monkey at the disc window: seeded random adds (readable or not),
// removes, moves, format, standard and disc choices, and Make disc with a
// Cancel soon after, the window's invariants checked after each. Memory in
// use must not grow between the run's halves. QUORVEL_MONKEY_SEED and
// QUORVEL_MONKEY_ACTIONS change the run.
#include "studio/studio_window.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <malloc.h>
#include <random>

#if defined(__SANITIZE_ADDRESS__)
#define QUORVEL_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVEL_ASAN 1
#endif
#endif
#ifdef QUORVEL_ASAN
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace quorvel;

namespace {

std::size_t heapInUse() {
#ifdef QUORVEL_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

const char* const kFiles[] = {
    "/mpeg/ps-mpeg2-720x576-dar16x9-25.mpg",
    "/mpeg/ps-mpeg2-176x144-long-25.mpg",
    "/mp4/avc1-64x48-25.mp4",
    "/mkv/h264-64x48-25-tff.mkv",
    "/avi/film-640x272-24.avi",
    "/mp4/avc1-64x48-vfr-avg-20.mp4",
    "/missing.mkv",
    "",
};

} // namespace

class StudioMonkeyTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void monkey() {
        const unsigned seed = qEnvironmentVariableIsSet("QUORVEL_MONKEY_SEED")
                                  ? qEnvironmentVariableIntValue("QUORVEL_MONKEY_SEED")
                                  : 28;
        const int actions = qEnvironmentVariableIsSet("QUORVEL_MONKEY_ACTIONS")
                                ? qEnvironmentVariableIntValue("QUORVEL_MONKEY_ACTIONS")
                                : 600;
        std::mt19937 random(seed);
        auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
        QTemporaryDir dir;
        studio::StudioWindow w;
        w.show();
        w.findChild<QLineEdit*>(QStringLiteral("image"))->setText(dir.filePath("m.iso"));
        auto* table = w.findChild<QTableView*>(QStringLiteral("files"));
        auto* fill = w.findChild<QProgressBar*>(QStringLiteral("fill"));
        const char* const combos[] = {"format", "standard", "disc"};
        std::size_t half = 0;
        int runs = 0;
        QString last;
        for (int i = 0; i < actions; ++i) {
            const int rows = w.model().rowCount();
            switch (pick(9)) {
            case 0:
            case 1: {
                const QString file = QStringLiteral(QUORVEL_TEST_DATA) + kFiles[pick(8)];
                last = QStringLiteral("add ") + file;
                w.addFiles({file});
                break;
            }
            case 2:
                last = QStringLiteral("remove");
                w.removeSelected();
                break;
            case 3:
                last = QStringLiteral("move");
                w.moveSelected(pick(2) ? 1 : -1);
                break;
            case 4:
                last = QStringLiteral("select");
                table->selectRow(rows > 0 ? pick(rows) : 0);
                break;
            case 5:
            case 6: {
                auto* combo = w.findChild<QComboBox*>(QLatin1String(combos[pick(3)]));
                last = QStringLiteral("choose ") + combo->objectName();
                combo->setCurrentIndex(pick(combo->count()));
                break;
            }
            case 7:
                // Rarely: a run costs ffmpeg processes.
                if (pick(6) == 0) {
                    last = QStringLiteral("make and cancel");
                    w.makeDisc();
                    runs += w.maker().running();
                    QTest::qWait(pick(200));
                    w.cancel();
                    QTRY_VERIFY_WITH_TIMEOUT(!w.maker().running(), 30000);
                }
                break;
            default:
                QTest::qWait(pick(3));
            }
            const QByteArray where =
                QStringLiteral("seed %1, action %2: %3").arg(seed).arg(i).arg(last).toUtf8();
            QVERIFY2(w.model().plan().inputs.size() ==
                         static_cast<std::size_t>(w.model().rowCount()),
                     where.constData());
            QVERIFY2(fill->property("fits").toBool() == w.model().fill().fits(), where.constData());
            QVERIFY2(!w.maker().running(), where.constData());
            if (i == actions / 2)
                half = heapInUse();
        }
        QVERIFY(runs > 0);
        // Files come and go; the heap does not grow with them (a frame per
        // distinct file is kept, a few at most).
        const std::size_t end = heapInUse();
        QVERIFY2(end < half + 4 * 1024 * 1024,
                 qPrintable(QStringLiteral("%1 -> %2 bytes").arg(half).arg(end)));
    }
};

QTEST_MAIN(StudioMonkeyTest)
#include "studio_monkey_test.moc"
