#pragma once

#include <QString>

#include "platform/message_boxes.h"

namespace ornavex {

inline const QString kPreviewHint =
    QStringLiteral("Klicken Sie die Vorschau doppelt an, um sie zu vergrößern.    ");
inline const QString kMessageTitle = QStringLiteral(" Ornavex");

// The one-line help behind the help picture.
void showPreviewHint(MessageBoxes& boxes);

}  // namespace ornavex
