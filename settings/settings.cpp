#include "settings/settings.h"

#include <QStringList>
#include <cmath>
#include <limits>

namespace ornavex {
namespace {

const QString kSection = QStringLiteral("Default");
const QString kFolderKey = QStringLiteral("Ordner");
const QString kLastFileKey = QStringLiteral("LastFile");
const QString kTipsKey = QStringLiteral("Tips");
const QString kScannerKey = QStringLiteral("Scanner");

// Name, vendor and model; SANE's names hold no tab.
constexpr QChar kFieldSeparator = u'\t';

int countFromText(const QString& stored) {
    bool numeric = false;
    const double value = stored.trimmed().toDouble(&numeric);
    if (!numeric || !std::isfinite(value)) return 0;
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<short>::min() ||
        rounded > std::numeric_limits<short>::max()) {
        return 0;
    }
    return static_cast<int>(rounded);
}

}  // namespace

Settings::Settings(QString iniPath) : iniPath_(std::move(iniPath)) {}

QString Settings::documentFolder() const {
    return ReadWholeIniValue(iniPath_, kSection, kFolderKey);
}

IniWriteResult Settings::storeDocumentFolder(const QString& folder) const {
    return StoreIniValue(iniPath_, kSection, kFolderKey, folder);
}

QString Settings::lastFile() const {
    return ReadWholeIniValue(iniPath_, kSection, kLastFileKey);
}

void Settings::rememberSavedPage(const QString& pagePath, const QString& folder) const {
    WriteIniValue(iniPath_, kSection, kLastFileKey, pagePath);
    WriteIniValue(iniPath_, kSection, kFolderKey, folder);
}

int Settings::tipsShown() const {
    return countFromText(ReadIniValue(iniPath_, kSection, kTipsKey));
}

void Settings::setTipsShown(int count) const {
    WriteIniValue(iniPath_, kSection, kTipsKey, QString::number(count));
}

std::optional<RememberedScanner> Settings::scanner() const {
    const QStringList fields =
        ReadWholeIniValue(iniPath_, kSection, kScannerKey).split(kFieldSeparator);
    if (fields.size() != 3 || fields[0].isEmpty()) return std::nullopt;
    return RememberedScanner{fields[0], fields[1], fields[2]};
}

void Settings::rememberScanner(const RememberedScanner& scanner) const {
    QStringList fields = {scanner.name, scanner.vendor, scanner.model};
    for (QString& field : fields) field.remove(kFieldSeparator);
    WriteIniValue(iniPath_, kSection, kScannerKey, fields.join(kFieldSeparator));
}

}  // namespace ornavex
