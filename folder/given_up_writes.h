#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>
#include <vector>

#include "folder/page_file.h"

namespace ornavex {

// One process among all that ran since the machine started.
struct ProcessIdentity {
    qint64 pid = 0;
    quint64 startTicks = 0;
    bool operator==(const ProcessIdentity&) const = default;
};

std::optional<ProcessIdentity> identityOfProcess(qint64 pid);
// Gone or a zombie: nothing it began in the file system is still to come.
bool hasFinished(const ProcessIdentity& process);

// A page whose write was given up after it was ready to get its name: should
// the name hold this very file once the folder answers again, it goes. Not
// before its writer has finished, or its rename could still come after.
struct GivenUpWrite {
    QString path;
    FileIdentity identity;
    ProcessIdentity writer;
    bool operator==(const GivenUpWrite&) const = default;
};

// $XDG_STATE_HOME/ornavex/given-up-writes (default ~/.local/state/...), or
// empty where neither variable names an absolute folder.
QString givenUpWritesJournalPath();

// One line a write: device, inode, size, change time, writer's pid and start,
// the path's bytes in hex. Lines that do
// not parse, or name no absolute path, are dropped; so is all past the limits.
QByteArray formatGivenUpWrites(const std::vector<GivenUpWrite>& writes);
std::vector<GivenUpWrite> parseGivenUpWrites(QByteArrayView journal);

inline constexpr qsizetype kMaxJournalBytes = 256 * 1024;
inline constexpr size_t kMaxGivenUpWrites = 64;

// The writes given up, kept in a file of their own so that the next start can
// still take a name back after the program ended. Without a usable file they
// are kept for this run only.
class GivenUpWrites {
  public:
    explicit GivenUpWrites(QString journalPath);

    // What earlier runs left; only the first call finds any.
    std::vector<GivenUpWrite> takeEarlier();
    void add(const GivenUpWrite& write);
    void done(const GivenUpWrite& write);

  private:
    void loadOnce();
    void save() const;

    QString path_;
    bool loaded_ = false;
    std::vector<GivenUpWrite> earlier_;
    std::vector<GivenUpWrite> all_;
};

}  // namespace ornavex
