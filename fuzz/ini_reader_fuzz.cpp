#include <fuzzer/FuzzedDataProvider.h>

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdlib>

#include "settings/ini_files.h"

namespace {

QString take(FuzzedDataProvider& data) {
    const std::string text = data.ConsumeRandomLengthString(40);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void require(bool condition) {
    if (!condition) std::abort();
}

int codePoints(const QString& text) {
    return static_cast<int>(text.toUcs4().size());
}

}  // namespace

// Input: section, key and value to look up and store, then the file's bytes.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const QString section = take(data);
    const QString key = take(data);
    const QString value = take(data);
    const std::string rest = data.ConsumeRemainingBytesAsString();
    const QByteArray file(rest.data(), static_cast<qsizetype>(rest.size()));

    require(codePoints(ornavex::iniValueFromText(file, section, key)) <=
            ornavex::kIniValueMaxLength);

    const std::optional<QByteArray> updated = ornavex::iniTextWithValue(file, section, key, value);
    if (!updated) return 0;
    // What was stored reads back as it would from a fresh file holding only that key...
    const std::optional<QByteArray> alone =
        ornavex::iniTextWithValue(QByteArray(), section, key, value);
    require(alone.has_value());
    require(ornavex::iniValueFromText(*updated, section, key) ==
            ornavex::iniValueFromText(*alone, section, key));
    // ...and storing it again changes nothing.
    require(ornavex::iniTextWithValue(*updated, section, key, value) == updated);
    return 0;
}
