#pragma once

#include <functional>

#include "platform/message_boxes.h"

namespace ornavex {

// The one-line help behind the help picture; `then` runs once the user has read it.
void showPreviewHint(MessageBoxes& boxes, std::function<void()> then);

}  // namespace ornavex
