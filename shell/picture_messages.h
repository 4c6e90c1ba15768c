#pragma once

#include <QString>

namespace ornavex {

// Why a picture that was asked for stays out of the preview. The file is
// named as the store's confirmation names it, the reason follows on its own line.

inline QString unansweredPictureText(const QString& fileName) {
    return QStringLiteral("Die Bilddatei ''") + fileName +
           QStringLiteral(
               "'' konnte nicht gelesen werden.   \n"
               "Ihr Speicherort antwortet nicht, zum Beispiel ein nicht erreichbares "
               "Netzlaufwerk. Die Vorschau bleibt ohne dieses Bild.");
}

inline QString oversizedPictureText(const QString& fileName) {
    return QStringLiteral("Die Bilddatei ''") + fileName +
           QStringLiteral(
               "'' ist zu groß, um sie zu öffnen.   \n"
               "Geöffnet werden Bilder bis zur Größe der größten Seite, die ein Scanner "
               "liefert (Legal-Format bei 1200 dpi).");
}

}  // namespace ornavex
