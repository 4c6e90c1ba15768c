#pragma once

#include <QChar>
#include <QString>

namespace ornavex {

// The only path separator the path logic knows.
inline constexpr QChar kPathSeparator = u'/';
inline const QString kPathSeparatorText = QStringLiteral("/");

}  // namespace ornavex
