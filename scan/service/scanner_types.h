#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <vector>

namespace ornavex {

// The scanner statuses the program tells apart, translated from the library's codes.
enum class DeviceStatus {
    Good,
    Cancelled,
    NoDocuments,
    Jammed,
    CoverOpen,
    Busy,
    IoError,
    NoMemory,
    AccessDenied,
    Invalid,
    Unsupported,
    NoData,    // the page ended before a single line arrived
    TooLarge,  // larger than the largest page the program opens again
    Failed,
};

struct SaneDeviceInfo {
    QString name;  // what opens the device, e.g. "test:0"
    QString vendor;
    QString model;
    QString type;
};

// Whether the device is reached over the network, as SANE tells it: by its
// type, or by a backend that only speaks to network scanners.
inline bool isNetworkDevice(const SaneDeviceInfo& device) {
    for (const char* backend : {"net:", "airscan:", "escl:"}) {
        if (device.name.startsWith(QLatin1String(backend))) return true;
    }
    return device.type.contains(QLatin1String("network"), Qt::CaseInsensitive);
}

// Whether two device entries are the same scanner under names that may differ: a USB
// scanner's name holds its bus and device number, which change when it is plugged in
// again, while its driver (the backend, before the first ':'), vendor and model stay.
inline bool isSameScanner(const SaneDeviceInfo& one, const SaneDeviceInfo& other) {
    const auto backend = [](const QString& name) { return name.section(QLatin1Char(':'), 0, 0); };
    return backend(one.name) == backend(other.name) && one.vendor == other.vendor &&
           one.model == other.model;
}

// The one device of the list that is the given scanner under another name, if exactly one is.
inline const SaneDeviceInfo* replugged(const SaneDeviceInfo& scanner,
                                       const std::vector<SaneDeviceInfo>& devices) {
    const SaneDeviceInfo* found = nullptr;
    for (const SaneDeviceInfo& device : devices) {
        if (device.name == scanner.name) return nullptr;  // not gone
        if (!isSameScanner(device, scanner)) continue;
        if (found) return nullptr;  // which one is meant, only the user knows
        found = &device;
    }
    return found;
}

struct SaneDeviceList {
    DeviceStatus status = DeviceStatus::Good;
    std::vector<SaneDeviceInfo> devices;
};

enum class SaneOptionType { Bool, Int, Fixed, String, Button, Group };
enum class SaneConstraint { None, Range, WordList, StringList };
enum class SaneUnit { None, Pixel, Bit, Millimetre, Dpi, Percent, Microsecond };

// One device option as read from the device; numbers of fixed-point options are
// already converted to double. The value is the one the device held when read.
struct SaneOptionInfo {
    int index = 0;
    QString name;
    QString title;
    SaneOptionType type = SaneOptionType::Group;
    SaneConstraint constraint = SaneConstraint::None;
    SaneUnit unit = SaneUnit::None;
    double minimum = 0;
    double maximum = 0;
    double quantum = 0;
    std::vector<double> words;
    QStringList strings;
    int size = 0;  // bytes of the value
    bool active = false;
    bool settable = false;
    bool hasValue = false;
    double number = 0;
    QString text;
};

struct OptionResult {
    DeviceStatus status = DeviceStatus::Good;
    bool inexact = false;   // the device changed the value it was given
    bool reloaded = false;  // other options changed with it and were read again
};

// What the user chose for one page; empty or non-positive fields are left as the device has them.
struct ScanRequest {
    QString source;  // the device's own strings, e.g. "Flatbed", "Color"
    QString mode;
    int dpi = 0;
    double width = -1;  // in the unit of the device's br-x / br-y options
    double height = -1;
    // Further options as "name=value", set first: the test device's pictures and faults.
    QStringList otherOptions;
};

struct ScanResult {
    DeviceStatus status = DeviceStatus::Failed;
    QImage page;  // with the resolution in effect as dots per metre
};

// How a worker that runs the scanner library was lost.
enum class WorkerLoss { Hung, Crashed };

}  // namespace ornavex
