#pragma once

#include "platform/message_boxes.h"

namespace ornavex {

// The one-line help behind the help picture.
void showPreviewHint(MessageBoxes& boxes);

}  // namespace ornavex
