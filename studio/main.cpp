// quorvel-studio: the disc window. Files named on the command line are added.
#include "studio/studio_window.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorvel-studio"));
    QApplication::setApplicationVersion(QStringLiteral(QUORVEL_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.quorvel.Studio"));
    quorvel::studio::StudioWindow window;
    window.addFiles(QApplication::arguments().mid(1));
    window.show();
    return app.exec();
}
