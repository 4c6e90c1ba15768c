#pragma once

#include <QString>

namespace ornavex {

// Whether a store may replace a file that already exists under the name.
enum class ReplacePolicy { KeepExisting, ReplaceExisting };

enum class PageWriteStatus {
    Ok,
    NoPicture,      // nothing to write
    AlreadyExists,  // the name was taken and the policy kept the old file
    WriteFailed,    // folder missing, no permission, disk full, ... (see systemError)
    NoAnswer,       // the folder stopped answering; the write was given up and never lands
};

struct PageWriteResult {
    PageWriteStatus status = PageWriteStatus::Ok;
    int systemError = 0;  // errno of the failing step, 0 when none
    bool ok() const { return status == PageWriteStatus::Ok; }
};

}  // namespace ornavex
