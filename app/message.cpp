#include "app/message.h"

#include <QMessageBox>

namespace quorvel {

void showQuorvelMessage(QWidget* parent, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quorvel"), text, QMessageBox::Ok, parent);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

} // namespace quorvel
