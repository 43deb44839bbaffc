#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace quorvel {

// Where the window's messages go. The default shows an application-modal
// "Quorvel" box with an OK button and no icon; tests put a recorder in its place.
using MessageSink = std::function<void(const QString& text)>;

void showQuorvelMessage(QWidget* parent, const QString& text);

} // namespace quorvel
