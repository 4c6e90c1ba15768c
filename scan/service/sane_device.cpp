#include "scan/service/sane_device.h"

#include <sane/sane.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "scan/service/frame_assembler.h"
#include "scan/service/sane_session.h"
#include "scan/service/sane_status.h"
#include "scan/service/sane_words.h"

namespace ornavex {
namespace {

// Reads the size of a pipe-fed backend's chunks: measured faster than larger requests.
constexpr std::size_t kReadSize = 32 * 1024;

SANE_Handle asHandle(void* handle) {
    return static_cast<SANE_Handle>(handle);
}

SaneOptionType typeOf(SANE_Value_Type type) {
    switch (type) {
        case SANE_TYPE_BOOL:
            return SaneOptionType::Bool;
        case SANE_TYPE_INT:
            return SaneOptionType::Int;
        case SANE_TYPE_FIXED:
            return SaneOptionType::Fixed;
        case SANE_TYPE_STRING:
            return SaneOptionType::String;
        case SANE_TYPE_BUTTON:
            return SaneOptionType::Button;
        default:
            return SaneOptionType::Group;
    }
}

SaneUnit unitOf(SANE_Unit unit) {
    switch (unit) {
        case SANE_UNIT_PIXEL:
            return SaneUnit::Pixel;
        case SANE_UNIT_BIT:
            return SaneUnit::Bit;
        case SANE_UNIT_MM:
            return SaneUnit::Millimetre;
        case SANE_UNIT_DPI:
            return SaneUnit::Dpi;
        case SANE_UNIT_PERCENT:
            return SaneUnit::Percent;
        case SANE_UNIT_MICROSECOND:
            return SaneUnit::Microsecond;
        default:
            return SaneUnit::None;
    }
}

bool isIgnorable(DeviceStatus status) {
    // An option the device lacks is simply not set.
    return status == DeviceStatus::Good || status == DeviceStatus::Unsupported;
}

void readConstraint(const SANE_Option_Descriptor& d, SaneOptionInfo& info) {
    const SaneOptionType type = info.type;
    if (d.constraint_type == SANE_CONSTRAINT_RANGE && d.constraint.range) {
        info.constraint = SaneConstraint::Range;
        info.minimum = numberOfSaneWord(d.constraint.range->min, type);
        info.maximum = numberOfSaneWord(d.constraint.range->max, type);
        info.quantum = numberOfSaneWord(d.constraint.range->quant, type);
    } else if (d.constraint_type == SANE_CONSTRAINT_WORD_LIST && d.constraint.word_list) {
        info.constraint = SaneConstraint::WordList;
        const SANE_Word* list = d.constraint.word_list;
        for (SANE_Word i = 1; i <= list[0]; ++i)
            info.words.push_back(numberOfSaneWord(list[i], type));
    } else if (d.constraint_type == SANE_CONSTRAINT_STRING_LIST && d.constraint.string_list) {
        info.constraint = SaneConstraint::StringList;
        for (const SANE_String_Const* s = d.constraint.string_list; *s; ++s) {
            info.strings << QString::fromUtf8(*s);
        }
    }
}

SaneOptionInfo describe(int index, const SANE_Option_Descriptor& d) {
    SaneOptionInfo info;
    info.index = index;
    info.name = QString::fromUtf8(d.name ? d.name : "");
    info.title = QString::fromUtf8(d.title ? d.title : "");
    info.type = typeOf(d.type);
    info.unit = unitOf(d.unit);
    info.size = d.size;
    info.active = SANE_OPTION_IS_ACTIVE(d.cap);
    info.settable = SANE_OPTION_IS_SETTABLE(d.cap);
    readConstraint(d, info);
    return info;
}

// The value the device accepts that lies closest to the one asked for.
double fitToConstraint(const SaneOptionInfo& info, double value) {
    if (info.constraint == SaneConstraint::Range) {
        value = std::clamp(value, info.minimum, info.maximum);
        if (info.quantum > 0) {
            value = info.minimum + std::round((value - info.minimum) / info.quantum) * info.quantum;
            if (value > info.maximum) value -= info.quantum;
        }
    } else if (info.constraint == SaneConstraint::WordList && !info.words.empty()) {
        value = *std::min_element(
            info.words.begin(), info.words.end(),
            [value](double a, double b) { return std::abs(a - value) < std::abs(b - value); });
    }
    return value;
}

int framesOf(SANE_Frame format) {
    return format == SANE_FRAME_RED || format == SANE_FRAME_GREEN || format == SANE_FRAME_BLUE ? 3
                                                                                               : 1;
}

bool toFrameParameters(const SANE_Parameters& p, FrameParameters& out) {
    switch (p.format) {
        case SANE_FRAME_GRAY:
            out.format = FrameFormat::Gray;
            break;
        case SANE_FRAME_RGB:
            out.format = FrameFormat::Rgb;
            break;
        case SANE_FRAME_RED:
            out.format = FrameFormat::Red;
            break;
        case SANE_FRAME_GREEN:
            out.format = FrameFormat::Green;
            break;
        case SANE_FRAME_BLUE:
            out.format = FrameFormat::Blue;
            break;
        default:
            return false;
    }
    out.lastFrame = p.last_frame;
    out.bytesPerLine = p.bytes_per_line;
    out.pixelsPerLine = p.pixels_per_line;
    out.lines = p.lines < 0 ? -1 : p.lines;
    out.depth = p.depth;
    return true;
}

}  // namespace

struct SaneDevice::FrameRead {
    FrameAssembler& assembler;
    std::vector<std::uint8_t>& buffer;
    std::size_t frameSize;  // 0 when the line count is unknown
    int frameIndex;
    int frameCount;
    int lastPermille;
    int lastLines;
};

SaneDevice::SaneDevice(SaneSession& session, void* handle, QString name)
    : session_(session), handle_(handle), name_(std::move(name)) {
    ++session_.openDevices_;
    reloadOptions();
}

SaneDevice::~SaneDevice() {
    finishPage();
    sane_close(asHandle(handle_));
    --session_.openDevices_;
}

void SaneDevice::reloadOptions() {
    options_.clear();
    SANE_Int count = 0;
    if (sane_control_option(asHandle(handle_), 0, SANE_ACTION_GET_VALUE, &count, nullptr) !=
        SANE_STATUS_GOOD) {
        return;
    }
    for (int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = sane_get_option_descriptor(asHandle(handle_), i);
        if (!d) continue;
        options_.push_back(describe(i, *d));
        readValue(options_.back());
    }
}

void SaneDevice::readValue(SaneOptionInfo& info) const {
    info.hasValue = false;
    if (!info.active || info.size <= 0) return;
    if (info.type == SaneOptionType::String) {
        QByteArray buffer(info.size + 1, '\0');
        if (sane_control_option(asHandle(handle_), info.index, SANE_ACTION_GET_VALUE, buffer.data(),
                                nullptr) != SANE_STATUS_GOOD) {
            return;
        }
        info.text = QString::fromUtf8(buffer.constData());
        info.hasValue = true;
    } else if (info.type == SaneOptionType::Int || info.type == SaneOptionType::Fixed ||
               info.type == SaneOptionType::Bool) {
        std::vector<SANE_Word> words(std::max<std::size_t>(1, info.size / sizeof(SANE_Word)));
        if (sane_control_option(asHandle(handle_), info.index, SANE_ACTION_GET_VALUE, words.data(),
                                nullptr) != SANE_STATUS_GOOD) {
            return;
        }
        info.number = numberOfSaneWord(words.front(), info.type);
        info.hasValue = true;
    }
}

const SaneOptionInfo* SaneDevice::option(const QString& optionName) const {
    const auto found = std::find_if(options_.begin(), options_.end(),
                                    [&](const SaneOptionInfo& o) { return o.name == optionName; });
    return found == options_.end() ? nullptr : &*found;
}

bool SaneDevice::isActive(const QString& optionName) const {
    const SaneOptionInfo* info = option(optionName);
    return info && info->active;
}

OptionResult SaneDevice::control(const SaneOptionInfo& info, void* value) {
    OptionResult result;
    SANE_Int flags = 0;
    result.status = toDeviceStatus(
        sane_control_option(asHandle(handle_), info.index, SANE_ACTION_SET_VALUE, value, &flags));
    result.inexact = flags & SANE_INFO_INEXACT;
    if (flags & SANE_INFO_RELOAD_OPTIONS) {
        reloadOptions();
        result.reloaded = true;
    } else {
        const auto changed =
            std::find_if(options_.begin(), options_.end(),
                         [&](const SaneOptionInfo& o) { return o.index == info.index; });
        if (changed != options_.end()) readValue(*changed);
    }
    return result;
}

OptionResult SaneDevice::setNumber(const QString& optionName, double value) {
    const SaneOptionInfo* info = option(optionName);
    if (!info || !info->active || !info->settable ||
        (info->type != SaneOptionType::Int && info->type != SaneOptionType::Fixed)) {
        return {DeviceStatus::Unsupported};
    }
    // Array options get the same value in every element.
    const std::size_t elements = std::max<std::size_t>(1, info->size / sizeof(SANE_Word));
    std::vector<SANE_Word> words(elements, saneWordOf(fitToConstraint(*info, value), info->type));
    const SaneOptionInfo copy = *info;  // a reload replaces the descriptors
    return control(copy, words.data());
}

OptionResult SaneDevice::setText(const QString& optionName, const QString& value) {
    const SaneOptionInfo* info = option(optionName);
    if (!info || !info->active || !info->settable || info->type != SaneOptionType::String) {
        return {DeviceStatus::Unsupported};
    }
    QString chosen = value;
    if (info->constraint == SaneConstraint::StringList) {
        const auto match = std::find_if(
            info->strings.begin(), info->strings.end(),
            [&](const QString& s) { return s.compare(value, Qt::CaseInsensitive) == 0; });
        if (match == info->strings.end()) return {DeviceStatus::Invalid};
        chosen = *match;
    }
    QByteArray buffer = chosen.toUtf8();
    if (buffer.size() >= info->size) return {DeviceStatus::Invalid};
    buffer.resize(info->size, '\0');
    const SaneOptionInfo copy = *info;
    return control(copy, buffer.data());
}

OptionResult SaneDevice::setBool(const QString& optionName, bool value) {
    const SaneOptionInfo* info = option(optionName);
    if (!info || !info->active || !info->settable || info->type != SaneOptionType::Bool) {
        return {DeviceStatus::Unsupported};
    }
    SANE_Word word = value ? SANE_TRUE : SANE_FALSE;
    const SaneOptionInfo copy = *info;
    return control(copy, &word);
}

std::optional<double> SaneDevice::number(const QString& optionName) const {
    const SaneOptionInfo* info = option(optionName);
    if (!info || !info->active ||
        (info->type != SaneOptionType::Int && info->type != SaneOptionType::Fixed)) {
        return std::nullopt;
    }
    std::vector<SANE_Word> words(std::max<std::size_t>(1, info->size / sizeof(SANE_Word)));
    if (sane_control_option(asHandle(handle_), info->index, SANE_ACTION_GET_VALUE, words.data(),
                            nullptr) != SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return numberOfSaneWord(words.front(), info->type);
}

std::optional<QString> SaneDevice::text(const QString& optionName) const {
    const SaneOptionInfo* info = option(optionName);
    if (!info || !info->active || info->type != SaneOptionType::String) return std::nullopt;
    QByteArray buffer(info->size + 1, '\0');
    if (sane_control_option(asHandle(handle_), info->index, SANE_ACTION_GET_VALUE, buffer.data(),
                            nullptr) != SANE_STATUS_GOOD) {
        return std::nullopt;
    }
    return QString::fromUtf8(buffer.constData());
}

double SaneDevice::resolutionInEffect() const {
    for (const char* name : {"resolution", "y-resolution"}) {
        if (const std::optional<double> dpi = number(QString::fromLatin1(name))) return *dpi;
    }
    return 0;
}

DeviceStatus SaneDevice::setFromText(const QString& optionName, const QString& value) {
    const SaneOptionInfo* info = option(optionName);
    if (!info) return DeviceStatus::Unsupported;
    switch (info->type) {
        case SaneOptionType::Bool:
            return setBool(optionName,
                           value == QLatin1String("true") || value == QLatin1String("1"))
                .status;
        case SaneOptionType::Int:
        case SaneOptionType::Fixed: {
            bool isNumber = false;
            const double number = value.toDouble(&isNumber);
            return isNumber ? setNumber(optionName, number).status : DeviceStatus::Invalid;
        }
        case SaneOptionType::String:
            return setText(optionName, value).status;
        default:
            return DeviceStatus::Unsupported;
    }
}

DeviceStatus SaneDevice::apply(const ScanRequest& request) {
    for (const QString& assignment : request.otherOptions) {
        const qsizetype equals = assignment.indexOf(QLatin1Char('='));
        if (equals <= 0) return DeviceStatus::Invalid;
        const DeviceStatus status =
            setFromText(assignment.left(equals), assignment.mid(equals + 1));
        if (!isIgnorable(status)) return status;
    }
    const std::array<std::pair<const char*, QString>, 2> choices = {
        std::pair{"source", request.source}, std::pair{"mode", request.mode}};
    for (const auto& [name, value] : choices) {
        if (value.isEmpty()) continue;
        const DeviceStatus status = setText(QString::fromLatin1(name), value).status;
        if (!isIgnorable(status)) return status;
    }
    if (request.dpi > 0) {
        const DeviceStatus status = setNumber(QStringLiteral("resolution"), request.dpi).status;
        if (!isIgnorable(status)) return status;
    }
    const std::array<std::tuple<double, const char*, const char*>, 2> sides = {
        std::tuple{request.width, "tl-x", "br-x"}, std::tuple{request.height, "tl-y", "br-y"}};
    for (const auto& [length, topLeft, bottomRight] : sides) {
        if (length <= 0) continue;
        const SaneOptionInfo* origin = option(QString::fromLatin1(topLeft));
        const double start = origin ? origin->minimum : 0.0;
        if (origin) setNumber(QString::fromLatin1(topLeft), start);
        const DeviceStatus status =
            setNumber(QString::fromLatin1(bottomRight), start + length).status;
        if (!isIgnorable(status)) return status;
    }
    return DeviceStatus::Good;
}

DeviceStatus SaneDevice::startFrame(const PageCallbacks& callbacks) {
    return retryWhileBusy([&] {
        if (callbacks.cancelRequested && callbacks.cancelRequested()) {
            return DeviceStatus::Cancelled;
        }
        return toDeviceStatus(sane_start(asHandle(handle_)));
    });
}

DeviceStatus SaneDevice::readFrame(FrameRead& frame, const PageCallbacks& callbacks) {
    const auto cancelled = [&] { return callbacks.cancelRequested && callbacks.cancelRequested(); };
    int busyRetries = 0;
    for (;;) {
        if (cancelled()) return DeviceStatus::Cancelled;
        SANE_Int length = 0;
        const SANE_Status status = sane_read(asHandle(handle_), frame.buffer.data(),
                                             static_cast<SANE_Int>(frame.buffer.size()), &length);
        // Some backends hand over the last bytes together with EOF: keep them.
        if (length > 0) frame.assembler.feed(frame.buffer.data(), static_cast<std::size_t>(length));
        if (status == SANE_STATUS_EOF) return DeviceStatus::Good;
        if (status != SANE_STATUS_GOOD) {
            const DeviceStatus translated = toDeviceStatus(status);
            if (translated != DeviceStatus::Busy || busyRetries >= 4) return translated;
            std::this_thread::sleep_for(std::chrono::milliseconds(50 << busyRetries++));
            continue;
        }
        if (!callbacks.progress) continue;
        int permille = -1;
        if (frame.frameSize > 0) {
            const std::size_t done = std::min(frame.assembler.bytesInFrame(), frame.frameSize);
            permille = static_cast<int>((frame.frameIndex * 1000 + done * 1000 / frame.frameSize) /
                                        frame.frameCount);
        }
        const int lines = frame.assembler.linesDone();
        if (permille != frame.lastPermille || lines != frame.lastLines) {
            frame.lastPermille = permille;
            frame.lastLines = lines;
            callbacks.progress(permille, lines);
        }
    }
}

PageOutcome SaneDevice::scanPage(FrameAssembler& assembler, double requestedDpi,
                                 const PageCallbacks& callbacks) {
    pageCancelled_ = false;  // from here on, this page owes the device one cancel
    PageOutcome outcome;
    const double readBack = resolutionInEffect();
    outcome.dpi = readBack > 0 ? readBack : requestedDpi;
    std::vector<std::uint8_t> buffer(kReadSize);
    DeviceStatus status = DeviceStatus::Good;
    for (int frameIndex = 0;; ++frameIndex) {
        status = startFrame(callbacks);
        if (status != DeviceStatus::Good) break;
        SANE_Parameters parameters{};
        status = toDeviceStatus(sane_get_parameters(asHandle(handle_), &parameters));
        if (status != DeviceStatus::Good) break;
        FrameParameters frame;
        if (!toFrameParameters(parameters, frame)) {
            status = DeviceStatus::Unsupported;
            break;
        }
        if (!FrameAssembler::fitsLargestPage(frame)) {
            status = DeviceStatus::TooLarge;
            break;
        }
        if (!assembler.beginFrame(frame)) {
            status = DeviceStatus::Unsupported;
            break;
        }
        const std::size_t frameSize =
            frame.lines > 0 ? std::size_t(frame.lines) * std::size_t(frame.bytesPerLine) : 0;
        FrameRead read{assembler, buffer, frameSize, frameIndex, framesOf(parameters.format),
                       -2,        -1};
        status = readFrame(read, callbacks);
        if (status != DeviceStatus::Good || parameters.last_frame) break;
    }
    if (callbacks.cancelRequested && callbacks.cancelRequested()) status = DeviceStatus::Cancelled;
    outcome.lines = assembler.linesDone();
    if (status == DeviceStatus::Good && outcome.lines == 0) status = DeviceStatus::NoData;
    outcome.status = status;
    if (callbacks.ended) callbacks.ended(outcome);
    finishPage();
    return outcome;
}

void SaneDevice::finishPage() {
    if (!pageCancelled_) {
        pageCancelled_ = true;
        sane_cancel(asHandle(handle_));
    }
}

}  // namespace ornavex
