#include "folder/given_up_writes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <optional>

#include "platform/owned_fd.h"
#include "platform/path_bytes.h"

namespace ornavex {
namespace {

constexpr qsizetype kMaxPathBytes = 4096;

bool isDecimal(QByteArrayView field) {
    return !field.isEmpty() && field.size() <= 20 &&
           std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool isHex(QByteArrayView field) {
    return std::all_of(field.begin(), field.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    });
}

std::optional<GivenUpWrite> parseLine(const QByteArray& line) {
    const QList<QByteArray> fields = line.split(' ');
    if (fields.size() != 7 || !std::all_of(fields.begin(), fields.end() - 1, isDecimal)) {
        return std::nullopt;
    }
    const QByteArray& hex = fields[6];
    if (hex.size() % 2 != 0 || hex.size() > 2 * kMaxPathBytes || !isHex(hex)) return std::nullopt;
    const QByteArray path = QByteArray::fromHex(hex);
    if (!path.startsWith('/') || path.contains('\0')) return std::nullopt;
    bool ok[6] = {};
    GivenUpWrite write{pathFromBytes(path),
                       {fields[0].toULongLong(&ok[0]), fields[1].toULongLong(&ok[1]),
                        fields[2].toLongLong(&ok[2]), fields[3].toLongLong(&ok[3])},
                       {fields[4].toLongLong(&ok[4]), fields[5].toULongLong(&ok[5])}};
    if (!std::all_of(std::begin(ok), std::end(ok), [](bool b) { return b; })) return std::nullopt;
    if (write.writer.pid <= 0) return std::nullopt;
    return write;
}

// The fields after the command name, which may hold blanks and parentheses.
QList<QByteArray> processStatus(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray status = file.read(4096);
    const qsizetype nameEnd = status.lastIndexOf(')');
    if (nameEnd < 0) return {};
    return status.mid(nameEnd + 2).split(' ');
}

// A FIFO or a link planted under the name neither blocks nor leads elsewhere.
QByteArray readJournal(const QString& path) {
    const OwnedFd fd(::open(QFile::encodeName(path).constData(),
                            O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
    struct stat info {};
    if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
    QByteArray bytes(kMaxJournalBytes, Qt::Uninitialized);
    qsizetype filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(fd.get(), bytes.data() + filled, size_t(bytes.size() - filled));
        if (got <= 0) break;
        filled += got;
    }
    bytes.truncate(filled);
    return bytes;
}

}  // namespace

std::optional<ProcessIdentity> identityOfProcess(qint64 pid) {
    // Field 22 of the status, the start in clock ticks since boot; the list begins at field 3.
    const QList<QByteArray> fields = processStatus(pid);
    if (fields.size() < 20) return std::nullopt;
    bool ok = false;
    const quint64 start = fields[19].toULongLong(&ok);
    if (!ok) return std::nullopt;
    return ProcessIdentity{pid, start};
}

bool hasFinished(const ProcessIdentity& process) {
    const QList<QByteArray> fields = processStatus(process.pid);
    if (fields.size() < 20 || fields[19].toULongLong() != process.startTicks) return true;
    return fields[0] == "Z" || fields[0] == "X";
}

QString givenUpWritesJournalPath() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state)) {
        const QString home = qEnvironmentVariable("HOME");
        if (!QDir::isAbsolutePath(home)) return {};
        state = home + QStringLiteral("/.local/state");
    }
    return state + QStringLiteral("/ornavex/given-up-writes");
}

QByteArray formatGivenUpWrites(const std::vector<GivenUpWrite>& writes) {
    QByteArray journal;
    for (const GivenUpWrite& write : writes) {
        journal += QByteArray::number(write.identity.device) + ' ' +
                   QByteArray::number(write.identity.inode) + ' ' +
                   QByteArray::number(write.identity.size) + ' ' +
                   QByteArray::number(write.identity.modifiedNs) + ' ' +
                   QByteArray::number(write.writer.pid) + ' ' +
                   QByteArray::number(write.writer.startTicks) + ' ' +
                   bytesOfPath(write.path).toHex() + '\n';
    }
    return journal;
}

std::vector<GivenUpWrite> parseGivenUpWrites(QByteArrayView journal) {
    journal = journal.first(std::min(journal.size(), kMaxJournalBytes));
    // A last line cut short by the limit is no line.
    journal = journal.first(journal.lastIndexOf('\n') + 1);
    std::vector<GivenUpWrite> writes;
    for (const QByteArray& line : journal.toByteArray().split('\n')) {
        if (writes.size() == kMaxGivenUpWrites) break;
        if (std::optional<GivenUpWrite> write = parseLine(line)) writes.push_back(*write);
    }
    return writes;
}

GivenUpWrites::GivenUpWrites(QString journalPath) : path_(std::move(journalPath)) {}

void GivenUpWrites::loadOnce() {
    if (loaded_) return;
    loaded_ = true;
    if (path_.isEmpty()) return;
    earlier_ = parseGivenUpWrites(readJournal(path_));
    all_ = earlier_;
}

std::vector<GivenUpWrite> GivenUpWrites::takeEarlier() {
    loadOnce();
    return std::exchange(earlier_, {});
}

void GivenUpWrites::add(const GivenUpWrite& write) {
    loadOnce();
    if (all_.size() == kMaxGivenUpWrites) all_.erase(all_.begin());
    all_.push_back(write);
    save();
}

void GivenUpWrites::done(const GivenUpWrite& write) {
    loadOnce();
    const auto found = std::find(all_.begin(), all_.end(), write);
    if (found == all_.end()) return;
    all_.erase(found);
    save();
}

// Replaced as a whole, so an end in the middle leaves the old journal or the new one.
void GivenUpWrites::save() const {
    if (path_.isEmpty()) return;
    if (all_.empty()) {
        QFile::remove(path_);
        return;
    }
    if (!QDir().mkpath(QFileInfo(path_).path())) return;
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(formatGivenUpWrites(all_));
    file.commit();
}

}  // namespace ornavex
