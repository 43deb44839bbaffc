// A monkey at the window: a seeded, bounded run of random user actions on the
// real Form1 (keys, clicks, list choices, the "..." road with the dialog
// answered from a table), with the window's invariants checked after each one.
// QUORVEL_MONKEY_SEED and QUORVEL_MONKEY_ACTIONS change the run; a failure
// prints both and the last actions, so the same run can be replayed. A long
// run also checks that the window neither holds on to more memory nor slows
// down as it is used.
#include "app/form1.h"
#include "app/message.h"
#include "tests/support/asan_heap.h"
#include "tests/support/fake_dialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <cstddef>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>

#include <unistd.h>

using namespace quorvel;

namespace {

const std::string kCorpus = QUORVEL_TEST_DATA "/avi";

// What the dialog answers; an empty name is a cancel.
const char* const kAnswers[] = {
    "cif-352x288-25.avi",
    "hd-1280x720-24000-1001.avi",
    "film-640x272-24.avi",
    "odd-101x75-30.avi",
    "rate-320x240-60.avi",
    "missing.avi",
    "",
};

const char* const kSourceBoxes[] = {"txtSW", "txtSH"};
const char* const kResultBoxes[] = {"txtOWM", "txtOHM", "txtOWT", "txtOHT"};
const char* const kClickable[] = {"Text1",  "txtSW",  "txtSH",  "txtOWM",   "txtOHM",
                                  "txtOWT", "txtOHT", "opOPal", "opONT1",   "opONT2",
                                  "opSP",   "Label1", "Frame2", "boxFormat"};

struct Key {
    int code;
    const char* name;
};
const Key kKeys[] = {
    {Qt::Key_0, "0"},          {Qt::Key_1, "1"},          {Qt::Key_2, "2"},
    {Qt::Key_4, "4"},          {Qt::Key_5, "5"},          {Qt::Key_8, "8"},
    {Qt::Key_9, "9"},          {Qt::Key_A, "a"},          {Qt::Key_D, "d"},
    {Qt::Key_S, "s"},          {Qt::Key_U, "u"},          {Qt::Key_V, "v"},
    {Qt::Key_Minus, "-"},      {Qt::Key_Plus, "+"},       {Qt::Key_Space, "space"},
    {Qt::Key_Period, "."},     {Qt::Key_Backspace, "bs"}, {Qt::Key_Tab, "tab"},
    {Qt::Key_Backtab, "btab"}, {Qt::Key_Return, "ret"},   {Qt::Key_Escape, "esc"},
    {Qt::Key_Up, "up"},        {Qt::Key_Down, "down"},
};

const Key kListKeys[] = {{Qt::Key_Up, "up"},   {Qt::Key_Down, "down"}, {Qt::Key_Home, "home"},
                         {Qt::Key_End, "end"}, {Qt::Key_V, "v"},       {Qt::Key_S, "s"},
                         {Qt::Key_D, "d"},     {Qt::Key_U, "u"}};

// The corpus files held open, each with its descriptor. Only these are
// counted, as Qt's own threads open event descriptors whenever they are first
// scheduled, which under load can come after any look.
QStringList openCorpusFiles() {
    static const std::string corpus = std::filesystem::canonical(kCorpus).string() + "/";
    QStringList open;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const std::string target = std::filesystem::read_symlink(entry.path(), error).string();
        if (!error && target.starts_with(corpus))
            open << QString::fromStdString(entry.path().filename().string() + " -> " + target);
    }
    open.sort();
    return open;
}

// The failure report shows this many of the last actions; the seed and the
// count replay the whole run.
constexpr qsizetype kActionsShown = 400;

// What the process holds: its resident size, or under AddressSanitizer the
// heap in use, as freed blocks wait in its quarantine (up to 256 MB) and keep
// the resident size growing for a while whatever the program does.
std::uint64_t memoryInUse() {
#ifdef QUORVEL_ASAN
    return __sanitizer_get_current_allocated_bytes();
#else
    std::ifstream statm("/proc/self/statm");
    std::uint64_t pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::uint64_t>(sysconf(_SC_PAGESIZE));
#endif
}

// This thread's processor time, which other work on the machine hardly moves.
double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// A run shorter than this (a replay, say) is too short to show a trend.
constexpr unsigned long kShortestMeasuredRun = 2000;
// Limits for the last three quarters of a run, with room for the allocator's
// and the system's noise: what the memory in use may grow in all and per
// action, and how much slower the last quarter's actions may be than the
// first quarter's. A kilobyte kept per action, or a cost that grows with the
// session, goes past them within a few thousand actions.
constexpr std::uint64_t kMemoryGrowthAllowed = 2 * 1024 * 1024;
constexpr std::uint64_t kMemoryPerActionAllowed = 64;
constexpr double kSlowdownAllowed = 2.0;

unsigned long envNumber(const char* name, unsigned long fallback) {
    const QByteArray value = qgetenv(name);
    bool ok = false;
    const unsigned long number = value.toULong(&ok);
    return ok ? number : fallback;
}

} // namespace

class MonkeyTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Form1> form;
    fakes::FakeDialog dialog;
    std::mt19937 random;
    QStringList actions; // the last kActionsShown of them
    long long actionsDone = 0;
    int boxesUp = 0;
    int mostBoxesUp = 0;
    bool typedIntoResult = false;
    bool trace = qEnvironmentVariableIsSet("QUORVEL_MONKEY_TRACE");
    bool restarted = false;                         // the program ended and was started again
    std::pair<QString, std::function<void()>> next; // the second half of a two-step action

    template <typename T = QWidget> T* get(const char* name) {
        return form->findChild<T*>(QString::fromLatin1(name));
    }
    std::size_t pick(std::size_t count) {
        return std::uniform_int_distribution<std::size_t>(0, count - 1)(random);
    }
    QStringList results() {
        QStringList texts;
        for (const char* name : kResultBoxes)
            texts << get<QLineEdit>(name)->text();
        return texts;
    }

    void newWindow() {
        form = std::make_unique<Form1>();
        form->setMessageSink([this](const QString& text) {
            mostBoxesUp = std::max(mostBoxesUp, ++boxesUp);
            // The user closes each box as it comes.
            QTimer::singleShot(0, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    box->accept();
            });
            showQuorvelMessage(form.get(), text);
            --boxesUp;
        });
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }

    void settle() {
        for (int i = 0; i < 3; ++i)
            QCoreApplication::processEvents();
        // The window system gives the activation back when a box closes.
        if (!QApplication::activeWindow() && form->isVisible())
            QApplication::setActiveWindow(form.get());
        while (actions.size() > kActionsShown)
            actions.removeFirst();
        if (trace)
            qInfo() << actions.back() << "|" << get<QLineEdit>("txtSW")->text()
                    << get<QLineEdit>("txtSH")->text() << results() << form->fps
                    << form->format.value_or(-1) << QApplication::focusWidget();
    }

    // A click outside an open list closes it and goes no further; the user
    // then clicks again. The roads below want their click to arrive.
    void closePopup() {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            actions << QStringLiteral("close list");
            popup->close();
            settle();
        }
    }

    void click(QWidget* target) {
        const bool option = qobject_cast<QRadioButton*>(target) != nullptr;
        const QPoint inside = option ? QPoint(8, target->height() / 2) : target->rect().center();
        QTest::mouseClick(form->windowHandle(), Qt::LeftButton, {},
                          target->mapTo(form.get(), inside));
    }

    // The exit button ends the program: its event loop returns 0 (quitting on
    // the last window's close is off). Then the program is started again.
    void endTheProgram(std::function<void()> userAct) {
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(3000);
        QTimer::singleShot(0, userAct);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!form->isVisible());
        newWindow();
        restarted = true;
    }

    void act() {
        typedIntoResult = false;
        restarted = false;
        if (next.second) {
            actions << next.first;
            std::exchange(next, {}).second();
            settle();
            return;
        }
        const std::size_t kind = pick(100);
        if (kind < 45) {
            const Key& key = kKeys[pick(std::size(kKeys))];
            QWidget* target =
                QApplication::focusWidget() ? QApplication::focusWidget() : form.get();
            actions << QStringLiteral("key %1 %2").arg(target->objectName(), key.name);
            for (const char* name : kResultBoxes)
                typedIntoResult |=
                    target == get(name) && key.code != Qt::Key_Tab && key.code != Qt::Key_Backtab;
            if (target == get("Command1") && key.code == Qt::Key_Space)
                endTheProgram([target] { QTest::keyClick(target, Qt::Key_Space); });
            else
                QTest::keyClick(target, Qt::Key(key.code));
        } else if (kind < 75) {
            const char* name = kClickable[pick(std::size(kClickable))];
            actions << QStringLiteral("click %1").arg(name);
            click(get(name));
        } else if (kind < 83) {
            // A list choice: Tab's way into the list, then (as the next action) a key there.
            actions << QStringLiteral("focus boxFormat");
            get("boxFormat")->setFocus(Qt::TabFocusReason);
            const Key& key = kListKeys[pick(std::size(kListKeys))];
            next = {QStringLiteral("list %1").arg(key.name),
                    [this, key] { QTest::keyClick(get("boxFormat"), Qt::Key(key.code)); }};
        } else if (kind < 88) {
            // Click into a source box, then (as the next action) type a number over it.
            const char* source = kSourceBoxes[pick(2)];
            actions << QStringLiteral("click %1").arg(source);
            click(get(source));
            const QString number = QString::number(int(pick(2000)) - 200);
            next = {QStringLiteral("type %1 %2").arg(source, number), [this, source, number] {
                        get<QLineEdit>(source)->selectAll();
                        QTest::keyClicks(get(source), number);
                    }};
        } else if (kind < 99) {
            closePopup();
            const std::string answer = kAnswers[pick(std::size(kAnswers))];
            actions << QStringLiteral("browse %1").arg(answer.empty() ? "cancel" : answer.c_str());
            dialog.folder = kCorpus;
            dialog.names.clear();
            if (!answer.empty())
                dialog.names.push_back(answer);
            const QString before = get<QLineEdit>("Text1")->text();
            click(get("btnBrowse"));
            settle();
            const QString expected =
                answer.empty() ? before : QString::fromStdString(kCorpus + "/" + answer);
            QCOMPARE(get<QLineEdit>("Text1")->text(), expected);
        } else {
            closePopup();
            actions << QStringLiteral("click Command1");
            endTheProgram([this] { click(get("Command1")); });
        }
        settle();
    }

    // The result boxes (and fps) are as they were, or what the core makes of
    // the inputs now.
    void checkResults(const QStringList& before, std::int16_t fpsBefore) {
        const QStringList now = results();
        if (restarted || typedIntoResult || (now == before && form->fps == fpsBefore))
            return;
        const std::string width = get<QLineEdit>("txtSW")->text().toStdString();
        const std::string height = get<QLineEdit>("txtSH")->text().toStdString();
        ResizeInput input;
        input.widthText = width;
        input.heightText = height;
        input.palSelected = get<QRadioButton>("opOPal")->isChecked();
        input.ntscFilmSelected = !input.palSelected && get<QRadioButton>("opONT1")->isChecked();
        input.format = form->format;
        const ResizeResult core = computeResize(input);
        QVERIFY2(core.ok(), "the results changed although the inputs cannot be computed");
        QStringList expected = before;
        for (const BoxWrite& write : core.writes) {
            const int index = write.box == ResultBox::MovieWidth    ? 0
                              : write.box == ResultBox::MovieHeight ? 1
                              : write.box == ResultBox::TvWidth     ? 2
                                                                    : 3;
            expected[index] = QString::fromStdString(write.text);
        }
        QCOMPARE(now, expected);
        QCOMPARE(form->fps, core.fps);
    }

private Q_SLOTS:
    void randomActionsKeepTheWindowSound() {
        const unsigned long seed = envNumber("QUORVEL_MONKEY_SEED", 20261209);
        const unsigned long count = envNumber("QUORVEL_MONKEY_ACTIONS", 20000);
        random.seed(static_cast<std::mt19937::result_type>(seed));
        QApplication::setQuitOnLastWindowClosed(false);
        newWindow();
        // Qt opens what it needs (fonts, the first box) on first use.
        actions << "warm-up";
        form->setFocus();
        dialog.folder = kCorpus;
        dialog.names = {kAnswers[0]};
        click(get("btnBrowse"));
        get<QLineEdit>("txtSW")->setText("x");
        get<QComboBox>("boxFormat")->setCurrentIndex(1);
        settle();

        auto report = qScopeGuard([&] {
            qWarning("monkey failed: QUORVEL_MONKEY_SEED=%lu QUORVEL_MONKEY_ACTIONS=%lu, after "
                     "%lld actions, the last of them:\n%s",
                     seed, count, actionsDone, qPrintable(actions.join("; ")));
        });
        // Memory and processor time at each quarter of the run.
        std::uint64_t memory[5] = {};
        double seconds[5] = {};
        int quarter = 0;
        for (unsigned long i = 0; i < count; ++i) {
            if (i == count * static_cast<unsigned long>(quarter) / 4) {
                memory[quarter] = memoryInUse();
                seconds[quarter++] = cpuSeconds();
            }
            const QStringList before = results();
            const std::int16_t fpsBefore = form->fps;
            ++actionsDone;
            act();
            if (QTest::currentTestFailed())
                return;
            QVERIFY2(mostBoxesUp <= 1, "two message boxes at once");
            QVERIFY2(QApplication::activeModalWidget() == nullptr, "a modal window stayed up");
            QVERIFY(form->isVisible());
            checkResults(before, fpsBefore);
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(form->format.value_or(-1), get<QComboBox>("boxFormat")->currentIndex());
            QCOMPARE(openCorpusFiles(), QStringList()); // every file read is closed again
        }
        memory[4] = memoryInUse();
        seconds[4] = cpuSeconds();
        report.dismiss();
        qInfo("%lu actions from seed %lu", count, seed);
        if (count < kShortestMeasuredRun)
            return;
        // Once Qt has made what it makes on first use (the first quarter), what
        // an action leaves behind is gone by the next.
        const std::uint64_t grown = memory[4] > memory[1] ? memory[4] - memory[1] : 0;
        const unsigned long measured = count - count / 4;
        const double firstQuarter = (seconds[1] - seconds[0]) / static_cast<double>(count / 4);
        const double lastQuarter =
            (seconds[4] - seconds[3]) / static_cast<double>(count - count * 3 / 4);
        qInfo("memory in use %llu KB after the first quarter, %llu KB at the end; %.3f ms of "
              "processor time per action in the first quarter, %.3f ms in the last",
              static_cast<unsigned long long>(memory[1] / 1024),
              static_cast<unsigned long long>(memory[4] / 1024), firstQuarter * 1e3,
              lastQuarter * 1e3);
        QVERIFY2(grown <= kMemoryGrowthAllowed + kMemoryPerActionAllowed * measured,
                 qPrintable(QStringLiteral("memory in use grew by %1 KB over %2 actions")
                                .arg(grown / 1024)
                                .arg(measured)));
        QVERIFY2(lastQuarter <= kSlowdownAllowed * firstQuarter,
                 qPrintable(QStringLiteral("actions slowed from %1 ms to %2 ms each")
                                .arg(firstQuarter * 1e3)
                                .arg(lastQuarter * 1e3)));
    }
};

QTEST_MAIN(MonkeyTest)
#include "monkey_test.moc"
