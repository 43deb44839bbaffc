#include "app/form1.h"
#include "chooser/qt_dialog.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    quorvel::RUVIV_CommonDialog::QtCommonDialogPlatform dialogPlatform;
    quorvel::Form1 window;
    window.show();
    return QApplication::exec();
}
