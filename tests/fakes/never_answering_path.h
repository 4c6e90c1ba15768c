#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QString>
#include <QThread>
#include <chrono>

namespace ornavex {

// A path whose open blocks in the kernel: a FIFO opened for reading without
// O_NONBLOCK waits for a writer, as an open on a network mount that stopped
// answering waits for its server. Handing the store an open step that blocks
// so stands in for such a mount; the real open step answers a FIFO at once.
class NeverAnsweringPath {
  public:
    explicit NeverAnsweringPath(QString path) : path_(std::move(path)) {
        ::mkfifo(QFile::encodeName(path_).constData(), 0600);
    }
    ~NeverAnsweringPath() {
        if (!released_) release();
    }
    NeverAnsweringPath(const NeverAnsweringPath&) = delete;
    NeverAnsweringPath& operator=(const NeverAnsweringPath&) = delete;

    const QString& path() const { return path_; }

    // Lets the threads left waiting in open() go on; true once a writer got in.
    bool release() {
        const QByteArray name = QFile::encodeName(path_);
        const QDeadlineTimer deadline(2000);
        while (!deadline.hasExpired()) {
            const int writer = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                ::close(writer);
                released_ = true;
                return true;
            }
            QThread::msleep(10);
        }
        return false;
    }

  private:
    QString path_;
    bool released_ = false;
};

}  // namespace ornavex
