#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace ornavex {

// A file name on Linux is bytes, and older systems left names that are no UTF-8.
// Such a name still has to reach the system unchanged after it was held as text:
// each byte that is no part of valid UTF-8 is carried as the lone low surrogate
// U+DC80 to U+DCFF, which no decoded text holds. Valid UTF-8 decodes as usual.
QString pathFromBytes(QByteArrayView bytes);

// The bytes pathFromBytes was given: the carried bytes come back, everything
// else is UTF-8 as QFile::encodeName makes it.
QByteArray bytesOfPath(const QString& path);

// Whether path carries bytes that are no UTF-8.
bool carriesForeignBytes(const QString& path);

}  // namespace ornavex
