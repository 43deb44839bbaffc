#include "app/form1.h"
#include "chooser/qt/qt_dialog.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // Lets Wayland desktops match the window to its installed entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("org.quorvel.Quorvel"));
    quorvel::RUVIV_CommonDialog::QtCommonDialogPlatform dialogPlatform;
    quorvel::Form1 window;
    window.show();
    return QApplication::exec();
}
