#include "platform/qt_picture_store.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QImageReader>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/bmp_writer.h"
#include "platform/page_file.h"

namespace ornavex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kWatchInterval{100};

// Shared by the waiting window and the loading thread; whichever lets go last
// frees it, so a thread that answers long after the window gave up is harmless.
class LoadJob {
  public:
    LoadJob() { signOfLife(); }

    void signOfLife() { lastSign_.store(Clock::now().time_since_epoch().count()); }

    Clock::duration silence() const {
        return Clock::now().time_since_epoch() - Clock::duration(lastSign_.load());
    }

    void waitIn(QEventLoop* loop) {
        const std::lock_guard lock(mutex_);
        waiter_ = loop;
    }

    void finish(LoadedPicture result) {
        const std::lock_guard lock(mutex_);
        result_ = std::move(result);
        // A loop that is gone by the time this arrives drops it with its events.
        if (waiter_) {
            QEventLoop* waiter = waiter_;
            QMetaObject::invokeMethod(
                waiter, [waiter] { waiter->quit(); }, Qt::QueuedConnection);
        }
    }

    bool finished() const {
        const std::lock_guard lock(mutex_);
        return result_.has_value();
    }

    // The result if the thread is done; either way it will not wake the loop again.
    std::optional<LoadedPicture> stopWaiting() {
        const std::lock_guard lock(mutex_);
        waiter_ = nullptr;
        return std::move(result_);
    }

  private:
    std::atomic<Clock::rep> lastSign_{0};
    mutable std::mutex mutex_;
    QEventLoop* waiter_ = nullptr;
    std::optional<LoadedPicture> result_;
};

}  // namespace

QtPictureStore::QtPictureStore(OpenPictureFile open, PictureLoadDeadlines deadlines)
    : open_(std::move(open)), deadlines_(deadlines) {
    // Qt's own default refuses a colour A4 page at 600 dpi; the limit is
    // process-wide and backs up the check of each header.
    constexpr qint64 kMegabyte = 1024 * 1024;
    QImageReader::setAllocationLimit(int((kLoadBudgetBytes + kMegabyte - 1) / kMegabyte));
}

// A truncated file that the reader still decodes (a JPEG whose end is missing
// comes back with a gray rest) is shown as it is: the user sees the damage
// instead of an empty preview.
LoadedPicture QtPictureStore::load(const QString& path) {
    const auto job = std::make_shared<LoadJob>();
    QEventLoop loop;
    job->waitIn(&loop);
    try {
        std::thread([job, path, open = open_] {
            job->finish(readPictureFile(path, open, [&job] { job->signOfLife(); }));
        }).detach();
    } catch (const std::system_error&) {
        job->stopWaiting();
        return {PictureLoadStatus::NotAPicture, {}};
    }

    const QDeadlineTimer total(deadlines_.total);
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
        if (job->silence() > deadlines_.silence || total.hasExpired()) loop.quit();
    });
    watch.start(kWatchInterval);
    if (!job->finished()) loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (std::optional<LoadedPicture> result = job->stopWaiting()) return std::move(*result);
    return {PictureLoadStatus::NoAnswer, {}};
}

PageWriteResult QtPictureStore::saveBitmap(const QImage& picture, const QString& path,
                                           ReplacePolicy policy) {
    if (picture.isNull()) return {PageWriteStatus::NoPicture, 0};
    const QByteArray bytes = encodeBmp(picture);
    if (bytes.isEmpty()) return {PageWriteStatus::WriteFailed, EFBIG};
    return writePageFile(path, bytes, policy);
}

}  // namespace ornavex
