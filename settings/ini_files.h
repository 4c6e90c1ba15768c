#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace ornavex {

// The longest value a read hands back, in characters (code points).
inline constexpr int kIniValueMaxLength = 254;

// The value of key in section of the file at iniPath, cut to kIniValueMaxLength;
// empty when the file, the section or the key is missing or the file can't be read.
QString ReadIniValue(const QString& iniPath, const QString& section, const QString& key);

// The same, but never cut and byte for byte: for values that must survive being
// written back, such as a folder path of any length or one whose name is no
// UTF-8 (its bytes are carried as pathFromBytes does).
QString ReadWholeIniValue(const QString& iniPath, const QString& section, const QString& key);

enum class IniWriteResult {
    Stored,   // the file holds the value (also when it held it already)
    Refused,  // section, key or value can't be put into one line, or the file's
              // text can't be rewritten without damage; the file stays as it was
    Failed,   // the file can't be read or replaced; it stays as it was
};

// Sets key in section, creating file and section when missing. Replaces the
// file atomically, in the encoding it has (UTF-8, or UTF-16 with a byte-order
// mark, which refuses bytes that are no UTF-8); a file whose key already reads
// back as the value is left untouched.
IniWriteResult StoreIniValue(const QString& iniPath, const QString& section, const QString& key,
                             const QString& value);

// StoreIniValue for callers that only care whether the value is stored.
bool WriteIniValue(const QString& iniPath, const QString& section, const QString& key,
                   const QString& value);

// The same look-up on a file's bytes already in memory.
QString iniValueFromText(const QByteArray& text, const QString& section, const QString& key);

// The file's bytes with key set to value, every other character kept; nothing
// when StoreIniValue would refuse.
std::optional<QByteArray> iniTextWithValue(const QByteArray& text, const QString& section,
                                           const QString& key, const QString& value);

}  // namespace ornavex
