// Clicks the window's exit button, Command1, from inside the installed
// program, as a mouse would: the press and release go to the top-level window
// at the button's place and the widgets route them from there. The program
// has no options or variables of its own for this; Qt loads the plugin.

#include <QAbstractButton>
#include <QApplication>
#include <QGenericPlugin>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <cstdio>

namespace {

class ClickCommand1 final : public QObject {
public:
    ClickCommand1() {
        connect(&timer_, &QTimer::timeout, this, &ClickCommand1::poll);
        timer_.start(100);
    }

private:
    void poll() {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* button = top->findChild<QAbstractButton*>(QStringLiteral("Command1"));
            if (button == nullptr || !button->isVisible() || top->windowHandle() == nullptr ||
                !top->windowHandle()->isExposed())
                continue;
            timer_.stop();
            std::fprintf(stderr, "clickcommand1: clicking Command1 \"%s\"\n",
                         qPrintable(button->text()));
            const QPoint centre = button->mapTo(top, button->rect().center());
            QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, centre);
            return;
        }
        // The window never came: fail rather than wait for the caller's timeout.
        if (++polls_ == 200) {
            std::fprintf(stderr, "clickcommand1: no visible Command1 after 20 s\n");
            QCoreApplication::exit(3);
        }
    }

    QTimer timer_;
    int polls_ = 0;
};

} // namespace

class ClickCommand1Plugin final : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "click_command1.json")

public:
    QObject* create(const QString& key, const QString&) override {
        return key.compare(QLatin1String("clickcommand1"), Qt::CaseInsensitive) == 0
                   ? new ClickCommand1
                   : nullptr;
    }
};

#include "click_command1.moc"
