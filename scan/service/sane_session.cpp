#include "scan/service/sane_session.h"

#include <sane/sane.h>

#include "scan/service/sane_device.h"
#include "scan/service/sane_status.h"

namespace ornavex {

Q_LOGGING_CATEGORY(lcSane, "ornavex.scan.sane", QtCriticalMsg)

DeviceStatus toDeviceStatus(int saneStatus) {
    switch (static_cast<SANE_Status>(saneStatus)) {
        case SANE_STATUS_GOOD:
            return DeviceStatus::Good;
        case SANE_STATUS_CANCELLED:
            return DeviceStatus::Cancelled;
        case SANE_STATUS_NO_DOCS:
            return DeviceStatus::NoDocuments;
        case SANE_STATUS_JAMMED:
            return DeviceStatus::Jammed;
        case SANE_STATUS_COVER_OPEN:
            return DeviceStatus::CoverOpen;
        case SANE_STATUS_DEVICE_BUSY:
            return DeviceStatus::Busy;
        case SANE_STATUS_IO_ERROR:
            return DeviceStatus::IoError;
        case SANE_STATUS_NO_MEM:
            return DeviceStatus::NoMemory;
        case SANE_STATUS_ACCESS_DENIED:
            return DeviceStatus::AccessDenied;
        case SANE_STATUS_INVAL:
            return DeviceStatus::Invalid;
        case SANE_STATUS_UNSUPPORTED:
            return DeviceStatus::Unsupported;
        case SANE_STATUS_EOF:
            return DeviceStatus::NoData;
        default:
            return DeviceStatus::Failed;
    }
}

SaneSession::SaneSession(AuthorizeCallback authorize) {
    SANE_Int version = 0;
    const SANE_Status status = sane_init(&version, authorize);
    initialised_ = status == SANE_STATUS_GOOD;
    if (!initialised_) qCWarning(lcSane) << "sane_init:" << sane_strstatus(status);
}

SaneSession::~SaneSession() {
    if (initialised_) sane_exit();
}

SaneDeviceList SaneSession::listDevices() {
    SaneDeviceList result;
    if (!initialised_) {
        result.status = DeviceStatus::Failed;
        return result;
    }
    if (openDevices_ > 0) {
        result.status = DeviceStatus::Busy;
        return result;
    }
    const SANE_Device** list = nullptr;
    const SANE_Status status = sane_get_devices(&list, SANE_FALSE);
    result.status = toDeviceStatus(status);
    if (status != SANE_STATUS_GOOD || !list) return result;
    for (const SANE_Device** entry = list; *entry; ++entry) {
        const SANE_Device& device = **entry;
        result.devices.push_back(
            {QString::fromLocal8Bit(device.name), QString::fromLocal8Bit(device.vendor),
             QString::fromLocal8Bit(device.model), QString::fromLocal8Bit(device.type)});
    }
    return result;
}

SaneSession::Opened SaneSession::open(const QString& deviceName) {
    Opened opened;
    if (!initialised_) return opened;
    const QByteArray name = deviceName.toLocal8Bit();
    SANE_Handle handle = nullptr;
    opened.status =
        retryWhileBusy([&] { return toDeviceStatus(sane_open(name.constData(), &handle)); });
    if (opened.status != DeviceStatus::Good || !handle) {
        qCWarning(lcSane) << "sane_open" << deviceName << "failed";
        if (opened.status == DeviceStatus::Good) opened.status = DeviceStatus::Failed;
        return opened;
    }
    opened.device = std::make_unique<SaneDevice>(*this, handle, deviceName);
    return opened;
}

}  // namespace ornavex
