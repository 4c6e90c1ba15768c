#pragma once

#include <QString>
#include <optional>

#include "settings/ini_files.h"

namespace ornavex {

// The scanner chosen last, as the settings file remembers it.
struct RememberedScanner {
    QString name;
    QString vendor;
    QString model;
};

// Section "Default" of the settings file: each key is named here only.
// Every call reads or writes the file, so other running copies see the change.
class Settings {
  public:
    explicit Settings(QString iniPath);

    const QString& iniPath() const { return iniPath_; }

    // Whole values: a path cut to the read limit would name another folder and
    // be written back.
    QString documentFolder() const;
    IniWriteResult storeDocumentFolder(const QString& folder) const;
    QString lastFile() const;
    void rememberSavedPage(const QString& pagePath, const QString& folder) const;

    // How often the store's confirmation was shown; a stored text that is no
    // number counts as none.
    int tipsShown() const;
    void setTipsShown(int count) const;

    // Nothing when no scanner is remembered or the value is damaged.
    std::optional<RememberedScanner> scanner() const;
    void rememberScanner(const RememberedScanner& scanner) const;

  private:
    QString iniPath_;
};

}  // namespace ornavex
