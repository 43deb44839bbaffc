#include "app/message_rule.h"

namespace quorvel {

bool MessageRule::tell(const QString& text) {
    if (showing_ || (shown_ && depth_ > 0))
        return false;
    shown_ = true;
    showing_ = true;
    // The box runs its own event loop: handlers may run (and open Actions) inside it.
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{showing_};
    sink_(text);
    return true;
}

} // namespace quorvel
