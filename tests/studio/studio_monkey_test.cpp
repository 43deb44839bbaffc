// A monkey at the disc window: seeded random adds (readable or not),
// removes, moves, format, standard and disc choices, and Make disc with a
// Cancel soon after, the window's invariants checked after each. Memory in
// use must not grow between the run's halves. QUORVEL_MONKEY_SEED and
// QUORVEL_MONKEY_ACTIONS change the run.
#include "studio/studio_window.h"
#include "tests/support/asan_heap.h"

#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

#include <malloc.h>
#include <random>

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
        for (int i = 0; i < actions; ++i) {
            const int action = pick(9);
            if (action < 2) {
                w.addFiles({QStringLiteral(QUORVEL_TEST_DATA) + kFiles[pick(8)]});
            } else if (action == 2) {
                w.removeSelected();
            } else if (action == 3) {
                w.moveSelected(pick(2) ? 1 : -1);
            } else if (action == 4) {
                table->selectRow(pick(std::max(1, w.model().rowCount())));
            } else if (action < 7) {
                auto* combo = w.findChild<QComboBox*>(QLatin1String(combos[pick(3)]));
                combo->setCurrentIndex(pick(combo->count()));
            } else if (action == 7 && pick(6) == 0) { // rarely: a run costs ffmpeg processes
                w.makeDisc();
                runs += w.maker().running();
                QTest::qWait(pick(200));
                w.cancel();
                QTRY_VERIFY_WITH_TIMEOUT(!w.maker().running(), 30000);
            }
            // The rows' plan is the batch's plan as it stands, whatever came before.
            const studio::BatchModel& m = w.model();
            const disc::Plan fresh = disc::makePlan(m.request(), m.sources());
            bool same = fresh.inputs.size() == static_cast<std::size_t>(m.rowCount()) &&
                        make::discFill(fresh).text == m.fill().text &&
                        fill->property("fits").toBool() == m.fill().fits();
            for (int r = 0; same && r < m.rowCount(); ++r)
                same = !fresh.inputs[r].targets.empty() && m.target(r) &&
                       fresh.inputs[r].targets.front().movie == m.target(r)->movie &&
                       fresh.inputs[r].targets.front().tv == m.target(r)->tv;
            QVERIFY2(
                same,
                qPrintable(QStringLiteral("seed %1, action %2: %3").arg(seed).arg(i).arg(action)));
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
