#include "platform/sane_scan_thread.h"

#include "platform/sane_device.h"

namespace ornavex {

SaneScanThread::SaneScanThread(SaneDevice& device, QObject* parent)
    : QThread(parent), device_(device) {}

SaneScanThread::~SaneScanThread() {
    if (isRunning()) requestCancel();
    wait();
}

void SaneScanThread::requestCancel() {
    cancelRequested_ = true;
    device_.cancelScan();
}

void SaneScanThread::run() {
    result_ =
        device_.scanPage([this](int permille) { emit progressed(permille); }, cancelRequested_);
}

}  // namespace ornavex
