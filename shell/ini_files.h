#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ornavex {

// The longest value a read hands back, in characters (code points).
inline constexpr int kIniValueMaxLength = 254;

// The value of key in section of the file at iniPath; empty when the file, the
// section or the key is missing or the file can't be read.
QString ReadIniValue(const QString& iniPath, const QString& section, const QString& key);

// Sets key in section, creating file and section when missing. Replaces the
// file atomically; on any failure the old file stays as it was and the result is false.
bool WriteIniValue(const QString& iniPath, const QString& section, const QString& key,
                   const QString& value);

// The same look-up on a file's bytes already in memory (UTF-8).
QString iniValueFromText(const QByteArray& text, const QString& section, const QString& key);

// The file's bytes with key set to value, every other byte kept; nothing when
// section, key or value can't be stored in one line of the file.
std::optional<QByteArray> iniTextWithValue(const QByteArray& text, const QString& section,
                                           const QString& key, const QString& value);

}  // namespace ornavex
