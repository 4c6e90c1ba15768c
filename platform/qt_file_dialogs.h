#pragma once

#include "platform/file_dialogs.h"

namespace ornavex {

class QtFileDialogs : public FileDialogs {
  public:
    std::optional<QString> chooseFile(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(QWidget* owner, const QString& title,
                                        const QString& startFolder) override;
};

}  // namespace ornavex
