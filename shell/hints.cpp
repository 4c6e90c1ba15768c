#include "shell/hints.h"

namespace ornavex {

void showPreviewHint(MessageBoxes& boxes) {
    boxes.show({QStringLiteral(" Hilfethemen"), kPreviewHint, MessageIcon::Information,
                MessageButtons::Ok});
}

}  // namespace ornavex
