#pragma once

#include "app/message.h"

namespace quorvel {

// One message per user action. A click, a key that moves the focus or a file
// read opens an Action; the handlers that the program's own changes set off
// inside it (an option selected from code, the list set to "DVD") open nested
// Actions that share the outer one's single message. A message asked for while
// another is still on screen counts as the same action's and is dropped, so two
// boxes never stack up. Outside any Action every message is shown.
class MessageRule {
public:
    explicit MessageRule(MessageSink sink) : sink_(std::move(sink)) {}

    void setSink(MessageSink sink) { sink_ = std::move(sink); }

    class Action {
    public:
        explicit Action(MessageRule& rule) : rule_(rule) {
            if (rule_.depth_++ == 0 && !rule_.showing_)
                rule_.shown_ = false;
        }
        ~Action() { --rule_.depth_; }
        Action(const Action&) = delete;
        Action& operator=(const Action&) = delete;

    private:
        MessageRule& rule_;
    };

    // Shows `text` unless this action has shown a message already; true when shown.
    bool tell(const QString& text);

private:
    MessageSink sink_;
    int depth_ = 0;
    bool shown_ = false;
    bool showing_ = false; // the sink is running (a modal box is up)
};

} // namespace quorvel
