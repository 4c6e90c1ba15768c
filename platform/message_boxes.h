#pragma once

#include <QString>

namespace ornavex {

enum class MessageIcon { None, Information, Exclamation, Question, Critical };
// RetryElsewhereCancel: "Wiederholen", "Anderer Ort …" and "Abbrechen", for a
// step that failed and can be tried again, or elsewhere.
enum class MessageButtons { Ok, OkCancel, YesNo, RetryElsewhereCancel };
enum class MessageAnswer { Ok, Cancel, Yes, No, Retry, Elsewhere };

struct MessageBoxRequest {
    QString title;
    QString text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    // Ignored by Ok boxes.
    MessageAnswer defaultAnswer = MessageAnswer::Ok;
};

// The caption of every cancel button, in the boxes and in the program's own dialogs.
QString cancelButtonCaption();

// Modal message boxes owned by the main window.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer show(const MessageBoxRequest& request) = 0;
};

}  // namespace ornavex
