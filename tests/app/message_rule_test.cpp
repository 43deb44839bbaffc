// One message per user action, shared by the handlers nested inside it.
#include "app/message_rule.h"

#include <QTest>

using quorvel::MessageRule;

class MessageRuleTest : public QObject {
    Q_OBJECT

    QStringList shown;
    MessageRule rule{[this](const QString& text) { shown << text; }};

private Q_SLOTS:
    void init() {
        shown.clear();
        rule.setSink([this](const QString& text) { shown << text; });
    }

    void nestedHandlersShareTheActionsOneMessage() {
        MessageRule::Action click(rule);
        {
            MessageRule::Action optionSetByCode(rule);
            QVERIFY(rule.tell("first"));
        }
        MessageRule::Action listSetByCode(rule);
        QVERIFY(!rule.tell("second"));
        QVERIFY(!rule.tell("third"));
        QCOMPARE(shown, QStringList{"first"});
    }

    void eachNewActionMayTellAgain() {
        for (const char* text : {"one", "two"}) {
            MessageRule::Action action(rule);
            QVERIFY(rule.tell(text));
        }
        QCOMPARE(shown, QStringList({"one", "two"}));
    }

    void outsideAnyActionEveryMessageIsShown() {
        QVERIFY(rule.tell("a"));
        QVERIFY(rule.tell("b"));
        QCOMPARE(shown, QStringList({"a", "b"}));
    }

    // A box runs its own event loop: whatever is set off while it is up (a
    // queued handler, a timer) joins its action and shows no second box.
    void nothingStacksOnAMessageThatIsStillUp() {
        int up = 0;
        rule.setSink([&](const QString& text) {
            shown << text;
            if (up++ > 0)
                return;
            rule.tell("timer, while up");
            MessageRule::Action queuedHandler(rule);
            rule.tell("handler, while up");
        });
        QVERIFY(rule.tell("box"));
        QCOMPARE(shown, QStringList{"box"});
        MessageRule::Action next(rule);
        rule.setSink([this](const QString& text) { shown << text; });
        QVERIFY(rule.tell("after"));
        QCOMPARE(shown, QStringList({"box", "after"}));
    }
};

QTEST_APPLESS_MAIN(MessageRuleTest)
#include "message_rule_test.moc"
