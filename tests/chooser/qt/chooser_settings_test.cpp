// The dialog keeps nothing of its own: run with a fresh, empty home and
// configuration folder, it leaves both empty, and what it remembers between
// two calls comes from the module's record alone.

#include "chooser/qt/qt_dialog.h"
#include "tests/support/modal.h"

#include <QApplication>
#include <QDirIterator>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace quorvel::RUVIV_CommonDialog;
using quorvel::fakes::onModal;
using quorvel::fakes::typeAndEnter;

namespace {

// Everything below `folder`, hidden files included.
QStringList contentsOf(const QString& folder) {
    QStringList found;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        found << it.next();
    return found;
}

} // namespace

class ChooserSettingsTest : public QObject {
    Q_OBJECT

public:
    explicit ChooserSettingsTest(const QString& root) : root(root) {}

private:
    QString path(const char* name) const { return root + '/' + name; }

    QtCommonDialogPlatform platform;
    QString root;

private Q_SLOTS:
    void initTestCase() {
        for (const char* name : {"films", "other"})
            QVERIFY(QDir(root).mkdir(name));
        for (const char* name : {"films/a.avi", "other/b.avi"})
            QVERIFY(QFile(path(name)).open(QIODevice::WriteOnly));
        QCOMPARE(contentsOf(path("home")), QStringList{});
        QCOMPARE(contentsOf(path("config")), QStringList{});
    }

    // Cancel, then a file in another folder: Qt's dialog would save its
    // history and last folder as it is destroyed, each time.
    void dialogWritesNothingAndReopensOnTheRecordsAnswer() {
        dialogParams = {};
        dialogParams.lpstrInitialDir = path("films").toStdString();
        onModal<QFileDialog>([](QFileDialog* d) { d->reject(); });
        QCOMPARE(ShowOpen(0, kCenterOnScreen).cancelled, std::int16_t(-1));

        onModal<QFileDialog>([&](QFileDialog* d) { typeAndEnter(d, path("other/b.avi")); });
        const OpenResult chosen = ShowOpen(0, kCenterOnScreen);
        QCOMPARE(chosen.folder + chosen.files(1), path("other/b.avi").toStdString());

        // The caller sets its own folder again, as the browse command does;
        // the record's last answer still wins.
        dialogParams.lpstrInitialDir = path("films").toStdString();
        QString opened, name;
        onModal<QFileDialog>([&](QFileDialog* d) {
            opened = d->directory().absolutePath();
            name = d->findChild<QLineEdit*>("fileNameEdit")->text();
            d->reject();
        });
        ShowOpen(0, kCenterOnScreen);
        QCOMPARE(opened, path("other"));
        QCOMPARE(name, "b.avi");

        QCOMPARE(contentsOf(path("home")), QStringList{});
        QCOMPARE(contentsOf(path("config")), QStringList{});
    }
};

int main(int argc, char** argv) {
    // Before the application exists, so that Qt takes these folders.
    QTemporaryDir root;
    if (!root.isValid() || !QDir(root.path()).mkdir("home") || !QDir(root.path()).mkdir("config"))
        return 2;
    qputenv("HOME", QFile::encodeName(root.filePath("home")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root.filePath("config")));
    QApplication app(argc, argv);
    ChooserSettingsTest test(root.path());
    return QTest::qExec(&test, argc, argv);
}

#include "chooser_settings_test.moc"
