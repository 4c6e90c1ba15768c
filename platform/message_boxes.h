#pragma once

#include <QString>
#include <functional>

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

using AnswerHandler = std::function<void(MessageAnswer)>;

// Message boxes owned by the main window.
class MessageBoxes {
  public:
    virtual ~MessageBoxes() = default;
    // Shows the box and returns at once; the answer arrives later from the event
    // loop (a scripted stand-in may answer at once). The handler runs exactly once.
    virtual void ask(const MessageBoxRequest& request, AnswerHandler then) = 0;
    // Raises the box the user has yet to answer over the other windows.
    virtual void bringToFront() = 0;
};

}  // namespace ornavex
