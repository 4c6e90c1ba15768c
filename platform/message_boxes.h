#pragma once

#include <QString>

namespace ornavex {

enum class MessageIcon { None, Information, Exclamation, Question, Critical };
enum class MessageButtons { Ok, OkCancel, YesNo };
enum class MessageAnswer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // Only meaningful for YesNo / OkCancel; Ok boxes ignore it.
    MessageAnswer defaultAnswer = MessageAnswer::Ok;
};

// Modal message boxes owned by the main window.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(const MessageBoxRequest& request) = 0;
};

}  // namespace ornavex
