#pragma once

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>
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
    NoData,  // the page ended before a single line arrived
    Failed,
};

struct SaneDeviceInfo {
    QString name;  // what opens the device, e.g. "test:0"
    QString vendor;
    QString model;
    QString type;
};

struct SaneDeviceList {
    DeviceStatus status = DeviceStatus::Good;
    std::vector<SaneDeviceInfo> devices;
};

enum class SaneOptionType { Bool, Int, Fixed, String, Button, Group };
enum class SaneConstraint { None, Range, WordList, StringList };

// One device option as read from the device; numbers of fixed-point options are
// already converted to double.
struct SaneOptionInfo {
    int index = 0;
    QString name;
    QString title;
    SaneOptionType type = SaneOptionType::Group;
    SaneConstraint constraint = SaneConstraint::None;
    double minimum = 0;
    double maximum = 0;
    double quantum = 0;
    std::vector<double> words;
    QStringList strings;
    int size = 0;  // bytes of the value
    bool active = false;
    bool settable = false;
};

struct OptionResult {
    DeviceStatus status = DeviceStatus::Good;
    bool inexact = false;   // the device changed the value it was given
    bool reloaded = false;  // other options changed with it and were read again
};

struct ScanResult {
    DeviceStatus status = DeviceStatus::Failed;
    QImage page;  // with the resolution in effect as dots per metre
};

// Permille of the page read so far, or -1 when the length is not known.
using ScanProgress = std::function<void(int permille)>;

}  // namespace ornavex
