#include "shell/hints.h"

#include "shell/user_texts.h"

namespace ornavex {

void showPreviewHint(MessageBoxes& boxes) {
    boxes.show({helpTitle(), previewHintText(), MessageIcon::Information, MessageButtons::Ok});
}

}  // namespace ornavex
