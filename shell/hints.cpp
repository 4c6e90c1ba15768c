#include "shell/hints.h"

#include "shell/user_texts.h"

namespace ornavex {

void showPreviewHint(MessageBoxes& boxes, std::function<void()> then) {
    boxes.ask({helpTitle(), previewHintText(), MessageIcon::Information, MessageButtons::Ok},
              [then = std::move(then)](MessageAnswer) {
                  if (then) then();
              });
}

}  // namespace ornavex
