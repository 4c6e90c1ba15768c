#pragma once

#include <QThread>
#include <atomic>

#include "platform/sane_types.h"

namespace ornavex {

class SaneDevice;

// Reads one page off the window's thread; progress arrives through a queued signal.
// Destroying it cancels a running scan and waits for the thread to end.
class SaneScanThread : public QThread {
    Q_OBJECT
  public:
    explicit SaneScanThread(SaneDevice& device, QObject* parent = nullptr);
    ~SaneScanThread() override;

    // Sets the flag first, then cancels at the device, so the pending read returns.
    void requestCancel();
    // Valid once finished() has been emitted.
    const ScanResult& result() const { return result_; }

  signals:
    void progressed(int permille);

  protected:
    void run() override;

  private:
    SaneDevice& device_;
    std::atomic<bool> cancelRequested_ = false;
    ScanResult result_;
};

}  // namespace ornavex
