#include "app/form1.h"
#include "app/layout.h"
#include "app/layout_builder.h"
#include "tests/support/fake_dialog.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <memory>

using namespace quorvel;

namespace {

QString name(std::string_view s) {
    return QString::fromUtf8(s.data(), int(s.size()));
}

QRect pixels(const ControlSpec& spec) {
    return QRect(spec.left / 15, spec.top / 15, spec.width / 15, spec.height / 15);
}

// The window's controls as its layout was drawn up, in twips, written out
// here rather than read from the layout table so that a change to the table
// shows up as a failure.
struct ExpectedControl {
    const char* name;
    const char* className;
    const char* container;
    const char* caption;
    int left, top, width, height;
    bool disabled = false;
    bool centred = false;
    bool heading = false; // underlined
};

const ExpectedControl kExpectedControls[] = {
    {"Label6", "QLabel", "Form1", "AVI File:", 240, 360, 735, 255},
    {"Text1", "QLineEdit", "Form1", "", 960, 330, 5655, 405},
    {"btnBrowse", "QPushButton", "Form1", "...", 6720, 360, 375, 375},
    {"Frame1", "QGroupBox", "Form1", "Source AVI", 240, 960, 3135, 2415},
    {"Frame2", "QGroupBox", "Form1", "Resized AVI", 3840, 960, 3255, 3255},
    {"Command1", "QPushButton", "Form1", "bye bye...", 240, 3480, 3135, 495},
    {"Label9", "QLabel", "Form1", "Quorvel: exact sizes for disc video", 240, 4080, 3135, 255,
     false, true},

    {"Label1", "QLabel", "Frame1", "Width:", 600, 480, 735, 375},
    {"txtSW", "QLineEdit", "Frame1", "", 1200, 360, 1215, 375},
    {"Label2", "QLabel", "Frame1", "Height:", 600, 840, 735, 375},
    {"txtSH", "QLineEdit", "Frame1", "", 1200, 720, 1215, 375},
    {"opSP", "QRadioButton", "Frame1", "PAL (25 fps)", 720, 1200, 1815, 375, true},
    {"opSNT1", "QRadioButton", "Frame1", "NTSC (23.976 fps)", 720, 1560, 1815, 375, true},
    {"opSNT2", "QRadioButton", "Frame1", "NTSC (29.97 fps)", 720, 1920, 1695, 375, true},

    {"Label5", "QLabel", "Frame2", "Output Format:", 120, 360, 1215, 375},
    {"boxFormat", "QComboBox", "Frame2", "", 1320, 360, 1815, 375},
    {"Label7", "QLabel", "Frame2", "Movie", 1320, 960, 855, 255, false, true, true},
    {"Label8", "QLabel", "Frame2", "TV", 2280, 960, 855, 255, false, true, true},
    {"Label4", "QLabel", "Frame2", "Width:", 120, 1320, 735, 375},
    {"txtOWM", "QLineEdit", "Frame2", "", 1320, 1200, 855, 375},
    {"txtOWT", "QLineEdit", "Frame2", "", 2280, 1200, 855, 375},
    {"Label3", "QLabel", "Frame2", "Height:", 120, 1680, 735, 375},
    {"txtOHM", "QLineEdit", "Frame2", "", 1320, 1560, 855, 375},
    {"txtOHT", "QLineEdit", "Frame2", "", 2280, 1560, 855, 375},
    {"opOPal", "QRadioButton", "Frame2", "PAL (25 fps)", 960, 2040, 1815, 375},
    {"opONT1", "QRadioButton", "Frame2", "NTSC (23.976 fps)", 960, 2400, 1815, 375},
    {"opONT2", "QRadioButton", "Frame2", "NTSC (29.97 fps)", 960, 2760, 1815, 375},
};

// A user at the mouse: a click is a press and, a moment later, a release that
// comes whatever the screen shows. A message box that comes up in between gets
// the release (the window under it is blocked), then the user closes it.
class User {
public:
    explicit User(QWidget& window) : window_(window) {
        closer_.setInterval(5);
        QObject::connect(&closer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible())
                return;
            release();
            boxes << box->text();
            box->accept();
        });
        closer_.start();
    }

    void click(QWidget* target) {
        at_ = target->mapTo(&window_, target->rect().center());
        down_ = true;
        QTest::mousePress(window_.windowHandle(), Qt::LeftButton, {}, at_);
        release();
    }

    QStringList boxes; // the texts of the message boxes closed

private:
    void release() {
        if (!down_)
            return;
        down_ = false;
        QTest::mouseRelease(window_.windowHandle(), Qt::LeftButton, {}, at_);
    }

    QWidget& window_;
    QTimer closer_;
    QPoint at_;
    bool down_ = false;
};

} // namespace

class Form1Test : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Form1> form;
    QStringList messages;

    template <typename T> T* get(const char* objectName) {
        auto* w = form->findChild<T*>(QString::fromLatin1(objectName));
        if (!w)
            qFatal("no control %s", objectName);
        return w;
    }
    QLineEdit* box(const char* n) { return get<QLineEdit>(n); }
    QRadioButton* option(const char* n) { return get<QRadioButton>(n); }
    QComboBox* list() { return get<QComboBox>("boxFormat"); }

    QStringList results() {
        return {box("txtOWM")->text(), box("txtOHM")->text(), box("txtOWT")->text(),
                box("txtOHT")->text()};
    }

    // Types into a source box and moves the focus on with Tab, as a user would.
    void enter(const char* boxName, const QString& text) {
        QLineEdit* b = box(boxName);
        b->setFocus(Qt::MouseFocusReason);
        b->selectAll();
        QTest::keyClicks(b, text);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }

private Q_SLOTS:
    void init() {
        messages.clear();
        form = std::make_unique<Form1>();
        form->setMessageSink([this](const QString& text) { messages << text; });
        form->show();
        QApplication::setActiveWindow(form.get());
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    void cleanup() { form.reset(); }

    void controlsStandAsLaidOut_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kExpectedControls)); ++i)
            QTest::newRow(kExpectedControls[i].name) << i;
    }
    void controlsStandAsLaidOut() {
        QFETCH(int, row);
        const ExpectedControl& e = kExpectedControls[row];
        auto* w = form->findChild<QWidget*>(QString::fromLatin1(e.name));
        QVERIFY(w);
        QCOMPARE(w->metaObject()->className(), e.className);
        QCOMPARE(w->parentWidget()->objectName(), QString::fromLatin1(e.container));
        QCOMPARE(w->geometry(), QRect(e.left / 15, e.top / 15, e.width / 15, e.height / 15));
        QCOMPARE(w->isEnabled(), !e.disabled);
        QVERIFY(w->isVisible());
        QCOMPARE(w->font().underline(), e.heading);
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(w)) {
            caption = label->text();
            QCOMPARE(bool(label->alignment() & Qt::AlignHCenter), e.centred);
        } else if (auto* box = qobject_cast<QLineEdit*>(w)) {
            caption = box->text();
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            caption = button->text();
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            caption = group->title();
        } else if (auto* option = qobject_cast<QRadioButton*>(w)) {
            caption = option->text();
            QVERIFY(!option->isChecked());
        } else if (auto* list = qobject_cast<QComboBox*>(w)) {
            QVERIFY(!list->isEditable());
        }
        QCOMPARE(caption, QString::fromUtf8(e.caption));
    }

    // Nothing stands in the window beyond the controls above.
    void windowHoldsNoOtherControl() {
        QStringList expected;
        for (const ExpectedControl& e : kExpectedControls)
            expected << QString::fromLatin1(e.name);
        QStringList found;
        for (QWidget* w : form->findChildren<QWidget*>()) {
            QWidget* parent = w->parentWidget();
            if (parent == form.get() || qobject_cast<QGroupBox*>(parent))
                found << w->objectName();
        }
        expected.sort();
        found.sort();
        QCOMPARE(found, expected);
    }

    void windowIsFixedWithCloseBoxOnly() {
        QCOMPARE(form->objectName(), QStringLiteral("Form1"));
        QCOMPARE(form->windowTitle(), QStringLiteral("Quorvel"));
        QCOMPARE(form->size(), QSize(481, 289));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        const Qt::WindowFlags flags = form->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(!form->windowIcon().isNull());
        QCOMPARE(form->windowIcon().availableSizes().value(0), QSize(32, 32));
    }

    // Where a label overlaps another control, a hit test there finds the control.
    void labelsLieBeneathOtherControls() {
        int overlaps = 0;
        for (const ControlSpec& label : kLayout) {
            if (label.kind != ControlKind::Label)
                continue;
            for (const ControlSpec& other : kLayout) {
                const QRect both = pixels(label).intersected(pixels(other));
                if (other.kind == ControlKind::Label || other.container != label.container ||
                    both.isEmpty())
                    continue;
                QWidget* container = label.container == "Form1"
                                         ? form.get()
                                         : form->findChild<QWidget*>(name(label.container));
                QWidget* hit = container->childAt(both.center());
                QWidget* expected = form->findChild<QWidget*>(name(other.name));
                QVERIFY2(hit == expected || expected->isAncestorOf(hit),
                         qPrintable(name(label.name) + " over " + name(other.name)));
                ++overlaps;
            }
        }
        QCOMPARE(overlaps, 8); // Label1 and Label2 under both boxes, Label2 also under opSP
    }

    // The table's order does not matter: a label listed after a box still lies beneath it.
    void labelListedLastStillLiesBeneath() {
        QWidget window;
        window.setObjectName("W");
        constexpr ControlSpec table[] = {
            {"box", ControlKind::TextBox, "W", "", 0, 0, 1500, 375, 0, kAttrNone},
            {"label", ControlKind::Label, "W", "Width:", 750, 0, 1500, 375, 1, kAttrNone},
        };
        buildControls(window, table);
        QCOMPARE(window.childAt(60, 10)->objectName(), QStringLiteral("box"));
        QCOMPARE(window.childAt(120, 10)->objectName(), QStringLiteral("label"));
    }

    void startsBlankWithFocusOnBrowse() {
        for (const char* b : {"Text1", "txtSW", "txtSH", "txtOWM", "txtOHM", "txtOWT", "txtOHT"})
            QVERIFY2(box(b)->text().isEmpty(), b);
        QCOMPARE(list()->currentIndex(), -1);
        QCOMPARE(list()->currentText(), QString());
        QCOMPARE(list()->count(), 4);
        const QStringList entries{"VCD", "SVCD", "DVD", "User Defined"};
        for (int i = 0; i < 4; ++i)
            QCOMPARE(list()->itemText(i), entries[i]);
        QVERIFY(!form->format.has_value());
        QCOMPARE(form->fps, std::int16_t(0));
        QCOMPARE(QApplication::focusWidget(), get<QPushButton>("btnBrowse"));
    }

    void tabVisitsControlsInOrder_data() {
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("groupStop");
        QTest::newRow("no option selected") << QString() << "opONT2";
        QTest::newRow("PAL selected") << "opOPal"
                                      << "opOPal";
        QTest::newRow("film selected") << "opONT1"
                                       << "opONT1";
    }
    void tabVisitsControlsInOrder() {
        QFETCH(QString, selected);
        QFETCH(QString, groupStop);
        if (!selected.isEmpty())
            option(selected.toLatin1())->setChecked(true);
        const QStringList order{"btnBrowse", "Text1",  "txtSW",    "txtSH",
                                groupStop,   "txtOHM", "txtOWM",   "boxFormat",
                                "txtOWT",    "txtOHT", "Command1", "btnBrowse"};
        get<QPushButton>("btnBrowse")->setFocus(Qt::TabFocusReason);
        for (int i = 1; i < order.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), order[i]);
        }
        for (int i = order.size() - 2; i >= 0; --i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
            QCOMPARE(QApplication::focusWidget()->objectName(), order[i]);
        }
    }

    void arrowKeysMoveWithinOutputGroup() {
        option("opONT2")->setChecked(true);
        option("opONT2")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(option("opONT2"), Qt::Key_Up);
        QVERIFY(option("opONT1")->isChecked());
        QCOMPARE(QApplication::focusWidget(), option("opONT1"));
        QCOMPARE(option("opONT1")->focusPolicy(), Qt::StrongFocus);
        QCOMPARE(option("opONT2")->focusPolicy(), Qt::ClickFocus);
    }

    // Each of the six triggers recomputes once both source boxes are filled.
    void everyTriggerRecomputes_data() {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<QStringList>("expected"); // Movie W, Movie H, TV W, TV H
        QTest::newRow("leave width") << "txtSW" << QStringList{"320", "240", "352", "240"};
        QTest::newRow("leave height") << "txtSH" << QStringList{"320", "240", "352", "240"};
        QTest::newRow("pick DVD") << "boxFormat" << QStringList{"640", "480", "720", "480"};
        QTest::newRow("PAL") << "opOPal" << QStringList{"352", "264", "352", "288"};
        QTest::newRow("NTSC film") << "opONT1" << QStringList{"320", "240", "352", "240"};
        QTest::newRow("NTSC video") << "opONT2" << QStringList{"320", "240", "352", "240"};
    }
    void everyTriggerRecomputes() {
        QFETCH(QString, trigger);
        QFETCH(QStringList, expected);
        box("txtSW")->setText("640");
        box("txtSH")->setText("480");
        QCOMPARE(results(), QStringList({"", "", "", ""})); // typing alone computes nothing
        if (trigger.startsWith("txt")) {
            box(trigger.toLatin1())->setFocus(Qt::MouseFocusReason);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        } else if (trigger == "boxFormat") {
            list()->setFocus();
            QTest::keyClick(list(), Qt::Key_Down); // VCD
            QTest::keyClick(list(), Qt::Key_Down); // SVCD
            QTest::keyClick(list(), Qt::Key_Down); // DVD
            QCOMPARE(form->format, std::optional<int>(2));
        } else {
            QTest::mouseClick(option(trigger.toLatin1()), Qt::LeftButton, {}, QPoint(8, 12));
            QVERIFY(option(trigger.toLatin1())->isChecked());
        }
        QCOMPARE(results(), expected);
        QVERIFY(messages.isEmpty());
    }

    void typingDoesNotComputeUntilFocusLeaves() {
        enter("txtSW", "640");
        enter("txtSH", "480");
        QCOMPARE(results(), QStringList({"320", "240", "352", "240"}));
        box("txtSW")->setFocus(Qt::MouseFocusReason);
        box("txtSW")->selectAll();
        QTest::keyClicks(box("txtSW"), "720");
        QCOMPARE(results(), QStringList({"320", "240", "352", "240"}));
        QTest::keyClick(box("txtSW"), Qt::Key_Tab);
        QCOMPARE(results(), QStringList({"352", "235", "352", "240"}));
        QCOMPARE(form->fps, std::int16_t(3));
    }

    void formatChosenWithEmptyBoxIsStoredForLater() {
        list()->setCurrentIndex(1);
        QCOMPARE(form->format, std::optional<int>(1));
        QCOMPARE(results(), QStringList({"", "", "", ""}));
        enter("txtSW", "640");
        QCOMPARE(results(), QStringList({"", "", "", ""}));
        enter("txtSH", "480");
        QCOMPARE(results(), QStringList({"480", "360", "480", "480"}));
    }

    void userDefinedKeepsResultsUntilAnotherFormat() {
        box("txtSW")->setText("640");
        box("txtSH")->setText("480");
        list()->setCurrentIndex(2);
        box("txtOWM")->setText("typed");
        list()->setCurrentIndex(3);
        option("opOPal")->setChecked(true);
        QCOMPARE(results(), QStringList({"typed", "480", "720", "480"}));
        QCOMPARE(form->fps, std::int16_t(1));
        list()->setCurrentIndex(2);
        QCOMPARE(results(), QStringList({"720", "540", "720", "576"}));
    }

    void optionSelectedByCodeRecomputes() {
        box("txtSW")->setText("720");
        box("txtSH")->setText("576");
        list()->setCurrentIndex(2);
        option("opOPal")->setChecked(true);
        QCOMPARE(results(), QStringList({"720", "576", "720", "576"}));
        option("opONT2")->setChecked(true);
        QCOMPARE(results(), QStringList({"600", "480", "720", "480"}));
        QCOMPARE(form->fps, std::int16_t(3));
    }

    void sourceOptionsAreDisplayOnly() {
        box("txtSW")->setText("640");
        box("txtSH")->setText("480");
        QTest::mouseClick(option("opSP"), Qt::LeftButton, {}, QPoint(8, 12));
        QVERIFY(!option("opSP")->isChecked());
        QCOMPARE(results(), QStringList({"", "", "", ""}));
    }

    void badSourceShowsOneMessageAndChangesNothing_data() {
        QTest::addColumn<QString>("width");
        QTest::addColumn<QString>("height");
        QTest::addColumn<QString>("mentions");
        QTest::newRow("blanks count as filled") << "   "
                                                << "480"
                                                << "width is not a number";
        QTest::newRow("height 0") << "640"
                                  << "0"
                                  << "height must not be 0";
        QTest::newRow("width too large") << "40000"
                                         << "480"
                                         << "width is out of range";
        QTest::newRow("height text") << "640"
                                     << "tall"
                                     << "height is not a number";
    }
    void badSourceShowsOneMessageAndChangesNothing() {
        QFETCH(QString, width);
        QFETCH(QString, height);
        QFETCH(QString, mentions);
        box("txtSW")->setText("640");
        box("txtSH")->setText("480");
        list()->setCurrentIndex(2);
        QCOMPARE(form->fps, std::int16_t(3));
        const QStringList before = results();

        box("txtSW")->setText(width);
        box("txtSH")->setText(height);
        option("opOPal")->setChecked(true);
        QCOMPARE(messages.size(), 1);
        QVERIFY2(messages[0].contains(mentions), qPrintable(messages[0]));
        QCOMPARE(results(), before);
        QCOMPARE(form->fps, std::int16_t(3));

        list()->setCurrentIndex(0);
        QCOMPARE(messages.size(), 2); // a new action may tell again
        QCOMPARE(form->format, std::optional<int>(0));
    }

    void emptyBoxComputesNothingAndSaysNothing() {
        box("txtSW")->setText("640");
        list()->setCurrentIndex(2);
        option("opOPal")->setChecked(true);
        QCOMPARE(results(), QStringList({"", "", "", ""}));
        QVERIFY(messages.isEmpty());
        QCOMPARE(form->fps, std::int16_t(0));
    }

    void messageBoxOpeningIsNoLossOfFocus() {
        // Use the real message box: closing it must not set off another trigger.
        form->setMessageSink([this](const QString& text) {
            messages << text;
            QTimer::singleShot(0, [] {
                if (QWidget* box = QApplication::activeModalWidget())
                    box->close();
            });
            showQuorvelMessage(form.get(), text);
        });
        box("txtSH")->setText("480");
        box("txtSW")->setFocus(Qt::MouseFocusReason);
        QTest::keyClicks(box("txtSW"), "wide");
        QTest::keyClick(box("txtSW"), Qt::Key_Tab);
        QCOMPARE(messages.size(), 1);
        QTRY_VERIFY(!QApplication::activeModalWidget());
        QTest::qWait(50);
        QCOMPARE(messages.size(), 1);
    }

    void realMessageBoxHasTitleOkAndNoIcon() {
        QString title;
        QMessageBox::Icon icon = QMessageBox::Warning;
        QList<QAbstractButton*> buttons;
        Qt::WindowModality modality = Qt::NonModal;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            title = box->windowTitle();
            icon = box->icon();
            buttons = box->buttons();
            modality = box->windowModality();
            box->accept();
        });
        showQuorvelMessage(form.get(), "text");
        QCOMPARE(title, QStringLiteral("Quorvel"));
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons.size(), 1);
        QCOMPARE(modality, Qt::ApplicationModal);
    }

    // The program ends: its event loop returns, and not merely because its
    // last window closed. A bad source box left
    // by the click neither stops nor delays it.
    void command1EndsTheProgram_data() {
        QTest::addColumn<QString>("width");
        QTest::newRow("empty boxes") << "";
        QTest::newRow("abc in Width") << "abc";
    }
    void command1EndsTheProgram() {
        QFETCH(QString, width);
        form->setMessageSink([this](const QString& text) { showQuorvelMessage(form.get(), text); });
        QApplication::setQuitOnLastWindowClosed(false);
        const auto restore = qScopeGuard([] { QApplication::setQuitOnLastWindowClosed(true); });
        box("txtSH")->setText("480");
        box("txtSW")->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(box("txtSW"), width);
        User user(*form);
        QTimer::singleShot(0, [&] { user.click(get<QPushButton>("Command1")); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
        watchdog.start(3000);
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!form->isVisible());
        QCOMPARE(user.boxes, QStringList());
    }

    // The message for the box that was left comes once, and the click still
    // opens the dialog, after it.
    void browseClickAfterBadBoxShowsMessageThenDialog() {
        form->setMessageSink([this](const QString& text) { showQuorvelMessage(form.get(), text); });
        fakes::FakeDialog dialog;
        User user(*form);
        QStringList boxesWhenOpen{"not opened"};
        dialog.whileOpen = [&] { boxesWhenOpen = user.boxes; };
        box("txtSH")->setText("480");
        box("txtSW")->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(box("txtSW"), "abc");
        user.click(get<QPushButton>("btnBrowse"));
        QTRY_COMPARE(dialog.shown, 1);
        const QString expected = "The source width is not a number. Enter a whole number from "
                                 "-32768 to 32767.";
        QCOMPARE(boxesWhenOpen, QStringList{expected});
        QTest::qWait(20);
        QCOMPARE(user.boxes, QStringList{expected});
    }

    // The user fixes a bad box: told once, put back into it with the text
    // selected, not told again while moving about with the same texts.
    void badBoxIsToldOnceWhileTheUserFixesIt() {
        const QString notANumber =
            "The source width is not a number. Enter a whole number from -32768 to 32767.";
        box("txtSH")->setText("480");
        enter("txtSW", "abc");
        QCOMPARE(messages, QStringList{notANumber});
        QTRY_COMPARE(QApplication::focusWidget(), box("txtSW"));
        QCOMPARE(box("txtSW")->selectedText(), QStringLiteral("abc"));

        QTest::mouseClick(box("txtSH"), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), box("txtSH"));
        QTest::mouseClick(box("txtSW"), Qt::LeftButton);
        QTRY_COMPARE(QApplication::focusWidget(), box("txtSW"));
        QTest::keyClick(box("txtSW"), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QTest::qWait(10);
        QCOMPARE(messages.size(), 1);

        // Another trigger still tells.
        QTest::mouseClick(option("opOPal"), Qt::LeftButton, {}, QPoint(8, 12));
        QCOMPARE(messages.size(), 2);

        // A changed text is told again; so is the same mistake once fixed.
        enter("txtSW", "abd");
        QCOMPARE(messages.size(), 3);
        enter("txtSW", "640");
        QCOMPARE(messages.size(), 3);
        QCOMPARE(results(), QStringList({"352", "264", "352", "288"}));
        enter("txtSW", "abc");
        QCOMPARE(messages.size(), 4);
        enter("txtSW", "640");
        enter("txtSH", "0");
        QCOMPARE(messages.size(), 5);
        QTRY_COMPARE(QApplication::focusWidget(), box("txtSH"));
        QCOMPARE(box("txtSH")->selectedText(), QStringLiteral("0"));
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
