// ornavexfault: a SANE backend for the tests that hangs, crashes or fails on request, so the
// scanner worker's recovery is tried against a real library loaded by SANE's dll backend.
//
// Loading: dll opens <dir>/libsane-ornavexfault.so.1 for each <dir> of LD_LIBRARY_PATH (then
// its own library folder); the folder's dll.conf must list "ornavexfault". Frontends see one
// device, "ornavexfault:0" (vendor "Ornavex", model "Störgerät", type "flatbed scanner").
//
// Device: a flatbed with the options mode ("Gray" | "Color", default Gray), resolution (int,
// dpi, 50..600, default 100) and tl-x, tl-y, br-x, br-y (int, in PIXELS: x 0..200, y 0..300,
// default the whole 200 x 300 area). Values out of range or off the step are rounded and
// reported as inexact. The page is the selected area, 8 bits per sample, with x and y counted
// from the device's corner: Gray (x + y) % 256; Color (one RGB frame) R = x % 256, G = y % 256,
// B = 128. sane_read hands out at most 4096 bytes per call.
//
// Faults: ORNAVEX_FAULT, read at sane_init and again at every sane_open, holds a comma-separated
// list of <call>=<action>, e.g. "ORNAVEX_FAULT=read=crash-midway,close=hang".
//   <call>:   init, get_devices, open, control_option, start, get_parameters, read, cancel,
//             close, exit
//   <action>: hang   never returns (sleeps in pause(), no busy loop)
//             crash  dies by SIGSEGV (without a core file)
//             fail   returns SANE_STATUS_IO_ERROR (no effect on the calls that return nothing)
//   read only:  hang-midway, crash-midway  deliver about half of the page, then hang / crash
//               slow  sleeps 20 ms before each chunk; a sane_cancel meanwhile makes the pending
//                     or the next read return SANE_STATUS_CANCELLED
//   open only:  auth  asks the frontend's authorization callback for resource "ornavexfault:0"
//                     (plain, no $MD5$ salt); only user "scan" with password "geheim" may open,
//                     anything else or no callback gives SANE_STATUS_ACCESS_DENIED
//   "resolution=unreadable": reading the resolution option gives SANE_STATUS_INVAL (setting it
//               still works), as some drivers do.
// Unknown entries are named on stderr and otherwise ignored.

#include <pthread.h>
#include <sane/sane.h>
#include <sane/saneopts.h>
#include <signal.h>
#include <strings.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <thread>

#define ORNAVEX_SANE_ENTRY extern "C" __attribute__((visibility("default")))

namespace {

enum class Call {
    Init,
    GetDevices,
    Open,
    ControlOption,
    Start,
    GetParameters,
    Read,
    Cancel,
    Close,
    Exit,
    Count
};
enum class Action { None, Hang, Crash, Fail, HangMidway, CrashMidway, Slow, Auth };

constexpr std::array<std::string_view, static_cast<size_t>(Call::Count)> kCallNames = {
    "init",           "get_devices", "open",   "control_option", "start",
    "get_parameters", "read",        "cancel", "close",          "exit"};

struct Faults {
    std::array<Action, static_cast<size_t>(Call::Count)> actions{};
    bool resolutionUnreadable = false;

    Action at(Call call) const { return actions[static_cast<size_t>(call)]; }
};

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

Action actionFor(Call call, std::string_view name) {
    if (name == "hang") return Action::Hang;
    if (name == "crash") return Action::Crash;
    if (name == "fail") return Action::Fail;
    if (call == Call::Read && name == "hang-midway") return Action::HangMidway;
    if (call == Call::Read && name == "crash-midway") return Action::CrashMidway;
    if (call == Call::Read && name == "slow") return Action::Slow;
    if (call == Call::Open && name == "auth") return Action::Auth;
    return Action::None;
}

bool applyEntry(Faults& faults, std::string_view entry) {
    const auto equals = entry.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view key = trimmed(entry.substr(0, equals));
    const std::string_view value = trimmed(entry.substr(equals + 1));
    if (key == "resolution") {
        faults.resolutionUnreadable = value == "unreadable";
        return faults.resolutionUnreadable;
    }
    const auto call = std::find(kCallNames.begin(), kCallNames.end(), key);
    if (call == kCallNames.end()) return false;
    const auto index = static_cast<size_t>(call - kCallNames.begin());
    faults.actions[index] = actionFor(static_cast<Call>(index), value);
    return faults.actions[index] != Action::None;
}

Faults faultsFromEnvironment() {
    Faults faults;
    const char* variable = std::getenv("ORNAVEX_FAULT");
    std::string_view rest = variable ? variable : "";
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        const std::string_view entry = trimmed(rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
        if (!entry.empty() && !applyEntry(faults, entry))
            std::fprintf(stderr, "ornavexfault: ignoring ORNAVEX_FAULT entry '%.*s'\n",
                         static_cast<int>(entry.size()), entry.data());
    }
    return faults;
}

[[noreturn]] void hangForever() {
    for (;;) pause();
}

[[noreturn]] void crashNow() {
    // A scripted crash is expected: leave no core file in the test's folder.
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    core.rlim_cur = 0;
    setrlimit(RLIMIT_CORE, &core);
    signal(SIGSEGV, SIG_DFL);
    sigset_t segv;
    sigemptyset(&segv);
    sigaddset(&segv, SIGSEGV);
    pthread_sigmask(SIG_UNBLOCK, &segv, nullptr);
    raise(SIGSEGV);
    std::abort();
}

// Global state: what the environment asks for, and the frontend's callback. Everything about an
// open device lives in its Scanner and goes with sane_close.
Faults g_faults;
SANE_Auth_Callback g_authorize = nullptr;

// Hangs or crashes when the call is scripted to; true when it is to fail.
bool scriptedFailure(Call call) {
    switch (g_faults.at(call)) {
        case Action::Hang:
            hangForever();
        case Action::Crash:
            crashNow();
        case Action::Fail:
            return true;
        default:
            return false;
    }
}

enum Option { kOptionCount, kGroup, kMode, kResolution, kTlX, kTlY, kBrX, kBrY, kOptions };

constexpr SANE_Word kWidth = 200;
constexpr SANE_Word kHeight = 300;
constexpr size_t kChunk = 4096;
const SANE_String_Const kModes[] = {SANE_VALUE_SCAN_MODE_GRAY, SANE_VALUE_SCAN_MODE_COLOR, nullptr};
constexpr SANE_Int kModeSize = 6;  // "Color" and its terminator
const SANE_Range kResolutionRange = {50, 600, 1};
const SANE_Range kXRange = {0, kWidth, 1};
const SANE_Range kYRange = {0, kHeight, 1};

SANE_Option_Descriptor wordOption(const char* name, const char* title, const char* desc,
                                  SANE_Unit unit, const SANE_Range* range) {
    SANE_Option_Descriptor option{};
    option.name = name;
    option.title = title;
    option.desc = desc;
    option.type = SANE_TYPE_INT;
    option.unit = unit;
    option.size = sizeof(SANE_Word);
    option.cap = SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT;
    option.constraint_type = range ? SANE_CONSTRAINT_RANGE : SANE_CONSTRAINT_NONE;
    option.constraint.range = range;
    return option;
}

std::array<SANE_Option_Descriptor, kOptions> optionDescriptors() {
    std::array<SANE_Option_Descriptor, kOptions> options{};
    options[kOptionCount] = wordOption(SANE_NAME_NUM_OPTIONS, SANE_TITLE_NUM_OPTIONS,
                                       SANE_DESC_NUM_OPTIONS, SANE_UNIT_NONE, nullptr);
    options[kOptionCount].cap = SANE_CAP_SOFT_DETECT;
    options[kGroup].name = "";
    options[kGroup].title = SANE_TITLE_STANDARD;
    options[kGroup].desc = SANE_DESC_STANDARD;
    options[kGroup].type = SANE_TYPE_GROUP;
    options[kMode] = wordOption(SANE_NAME_SCAN_MODE, SANE_TITLE_SCAN_MODE, SANE_DESC_SCAN_MODE,
                                SANE_UNIT_NONE, nullptr);
    options[kMode].type = SANE_TYPE_STRING;
    options[kMode].size = kModeSize;
    options[kMode].constraint_type = SANE_CONSTRAINT_STRING_LIST;
    options[kMode].constraint.string_list = kModes;
    options[kResolution] = wordOption(SANE_NAME_SCAN_RESOLUTION, SANE_TITLE_SCAN_RESOLUTION,
                                      SANE_DESC_SCAN_RESOLUTION, SANE_UNIT_DPI, &kResolutionRange);
    options[kTlX] = wordOption(SANE_NAME_SCAN_TL_X, SANE_TITLE_SCAN_TL_X, SANE_DESC_SCAN_TL_X,
                               SANE_UNIT_PIXEL, &kXRange);
    options[kTlY] = wordOption(SANE_NAME_SCAN_TL_Y, SANE_TITLE_SCAN_TL_Y, SANE_DESC_SCAN_TL_Y,
                               SANE_UNIT_PIXEL, &kYRange);
    options[kBrX] = wordOption(SANE_NAME_SCAN_BR_X, SANE_TITLE_SCAN_BR_X, SANE_DESC_SCAN_BR_X,
                               SANE_UNIT_PIXEL, &kXRange);
    options[kBrY] = wordOption(SANE_NAME_SCAN_BR_Y, SANE_TITLE_SCAN_BR_Y, SANE_DESC_SCAN_BR_Y,
                               SANE_UNIT_PIXEL, &kYRange);
    return options;
}

// The area and format of one page, fixed when it starts.
struct Page {
    bool color = false;
    SANE_Word left = 0, top = 0, width = 0, height = 0;

    SANE_Int bytesPerLine() const { return color ? 3 * width : width; }
    size_t bytes() const { return static_cast<size_t>(bytesPerLine()) * height; }

    SANE_Byte byteAt(size_t offset) const {
        const auto line = static_cast<SANE_Word>(offset / bytesPerLine());
        const auto column = static_cast<SANE_Word>(offset % bytesPerLine());
        const SANE_Word y = top + line;
        if (!color) return static_cast<SANE_Byte>((left + column + y) % 256);
        const SANE_Word x = left + column / 3;
        const SANE_Word samples[] = {x % 256, y % 256, 128};
        return static_cast<SANE_Byte>(samples[column % 3]);
    }

    SANE_Parameters parameters() const {
        return {
            color ? SANE_FRAME_RGB : SANE_FRAME_GRAY, SANE_TRUE, bytesPerLine(), width, height, 8};
    }
};

enum class State { Idle, Scanning, Done, Cancelled };

struct Scanner {
    std::array<SANE_Option_Descriptor, kOptions> options = optionDescriptors();
    std::array<SANE_Word, kOptions> words = {kOptions, 0, 0, 100, 0, 0, kWidth, kHeight};
    std::string mode = SANE_VALUE_SCAN_MODE_GRAY;
    Page page;
    size_t delivered = 0;
    // sane_cancel may come from a signal handler or another thread while a read runs.
    std::atomic<State> state = State::Idle;

    Page selectedPage() const {
        const auto [left, right] = std::minmax(words[kTlX], words[kBrX]);
        const auto [top, bottom] = std::minmax(words[kTlY], words[kBrY]);
        return {mode == SANE_VALUE_SCAN_MODE_COLOR, left, top, right - left, bottom - top};
    }
};

std::unique_ptr<Scanner> g_open;  // one flatbed, one open handle

Scanner* scannerOf(SANE_Handle handle) {
    return handle && handle == g_open.get() ? g_open.get() : nullptr;
}

SANE_Status setWord(Scanner& s, SANE_Int option, SANE_Word* value, SANE_Int* info) {
    const SANE_Range& range = *s.options[option].constraint.range;
    SANE_Word wanted = std::clamp(*value, range.min, range.max);
    if (range.quant > 0)
        wanted = std::min(range.max, range.min + (wanted - range.min + range.quant / 2) /
                                                     range.quant * range.quant);
    if (wanted != *value && info) *info |= SANE_INFO_INEXACT;
    *value = wanted;
    s.words[option] = wanted;
    if (option != kResolution && info) *info |= SANE_INFO_RELOAD_PARAMS;
    return SANE_STATUS_GOOD;
}

SANE_Status setMode(Scanner& s, char* value, SANE_Int* info) {
    const std::string_view wanted(value, strnlen(value, kModeSize));
    for (const SANE_String_Const* mode = kModes; *mode; ++mode) {
        if (wanted.size() != std::strlen(*mode) ||
            strncasecmp(wanted.data(), *mode, wanted.size()) != 0)
            continue;
        std::strcpy(value, *mode);
        s.mode = *mode;
        if (info) *info |= SANE_INFO_RELOAD_PARAMS;
        return SANE_STATUS_GOOD;
    }
    return SANE_STATUS_INVAL;
}

SANE_Status getValue(const Scanner& s, SANE_Int option, void* value) {
    if (option == kGroup) return SANE_STATUS_INVAL;
    if (option == kResolution && g_faults.resolutionUnreadable) return SANE_STATUS_INVAL;
    if (option == kMode)
        std::memcpy(value, s.mode.c_str(), s.mode.size() + 1);
    else
        *static_cast<SANE_Word*>(value) = s.words[option];
    return SANE_STATUS_GOOD;
}

SANE_Status setValue(Scanner& s, SANE_Int option, void* value, SANE_Int* info) {
    if (!SANE_OPTION_IS_SETTABLE(s.options[option].cap)) return SANE_STATUS_INVAL;
    if (s.state == State::Scanning) return SANE_STATUS_DEVICE_BUSY;
    if (option == kMode) return setMode(s, static_cast<char*>(value), info);
    return setWord(s, option, static_cast<SANE_Word*>(value), info);
}

[[noreturn]] void failMidway(Action action) {
    if (action == Action::CrashMidway) crashNow();
    hangForever();
}

// One chunk of the page, or the fault that the script puts in its way.
SANE_Status readChunk(Scanner& s, SANE_Byte* data, SANE_Int maxLength, SANE_Int* length) {
    const Action action = g_faults.at(Call::Read);
    if (scriptedFailure(Call::Read)) return SANE_STATUS_IO_ERROR;
    const size_t total = s.page.bytes();
    const bool midway = action == Action::HangMidway || action == Action::CrashMidway;
    if (midway && s.delivered >= total / 2) failMidway(action);
    if (action == Action::Slow) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (s.state == State::Cancelled) return SANE_STATUS_CANCELLED;
    }
    if (s.delivered == total) {
        State scanning = State::Scanning;
        if (s.state.compare_exchange_strong(scanning, State::Done)) return SANE_STATUS_EOF;
        return s.state == State::Cancelled ? SANE_STATUS_CANCELLED : SANE_STATUS_EOF;
    }
    const size_t limit = midway && s.delivered < total / 2 ? total / 2 : total;
    const size_t count = std::min({static_cast<size_t>(maxLength), kChunk, limit - s.delivered});
    for (size_t i = 0; i < count; ++i) data[i] = s.page.byteAt(s.delivered + i);
    s.delivered += count;
    *length = static_cast<SANE_Int>(count);
    return SANE_STATUS_GOOD;
}

SANE_Status authorize() {
    if (!g_authorize) return SANE_STATUS_ACCESS_DENIED;
    SANE_Char user[SANE_MAX_USERNAME_LEN] = {};
    SANE_Char password[SANE_MAX_PASSWORD_LEN] = {};
    g_authorize("ornavexfault:0", user, password);
    const std::string_view givenUser(user, strnlen(user, sizeof user));
    const std::string_view givenPassword(password, strnlen(password, sizeof password));
    return givenUser == "scan" && givenPassword == "geheim" ? SANE_STATUS_GOOD
                                                            : SANE_STATUS_ACCESS_DENIED;
}

}  // namespace

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_init(SANE_Int* version,
                                                      SANE_Auth_Callback authorize) {
    try {
        g_faults = faultsFromEnvironment();
    } catch (const std::bad_alloc&) {
        return SANE_STATUS_NO_MEM;
    }
    if (scriptedFailure(Call::Init)) return SANE_STATUS_IO_ERROR;
    if (version) *version = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, SANE_CURRENT_MINOR, 0);
    g_authorize = authorize;
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY void sane_ornavexfault_exit() {
    scriptedFailure(Call::Exit);
    g_open.reset();
    g_authorize = nullptr;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_get_devices(const SANE_Device*** list,
                                                             SANE_Bool /*localOnly*/) {
    static const SANE_Device device = {"0", "Ornavex", "Störgerät", "flatbed scanner"};
    static const SANE_Device* devices[] = {&device, nullptr};
    if (scriptedFailure(Call::GetDevices)) return SANE_STATUS_IO_ERROR;
    if (!list) return SANE_STATUS_INVAL;
    *list = devices;
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_open(SANE_String_Const name, SANE_Handle* handle) {
    try {
        g_faults = faultsFromEnvironment();
        if (scriptedFailure(Call::Open)) return SANE_STATUS_IO_ERROR;
        if (!handle || !name) return SANE_STATUS_INVAL;
        *handle = nullptr;
        if (std::strcmp(name, "0") != 0 && name[0] != '\0') return SANE_STATUS_INVAL;
        if (g_open) return SANE_STATUS_DEVICE_BUSY;
        if (g_faults.at(Call::Open) == Action::Auth && authorize() != SANE_STATUS_GOOD)
            return SANE_STATUS_ACCESS_DENIED;
        g_open = std::make_unique<Scanner>();
        *handle = g_open.get();
        return SANE_STATUS_GOOD;
    } catch (const std::bad_alloc&) {
        return SANE_STATUS_NO_MEM;
    }
}

ORNAVEX_SANE_ENTRY void sane_ornavexfault_close(SANE_Handle handle) {
    scriptedFailure(Call::Close);
    if (scannerOf(handle)) g_open.reset();
}

ORNAVEX_SANE_ENTRY const SANE_Option_Descriptor* sane_ornavexfault_get_option_descriptor(
    SANE_Handle handle, SANE_Int option) {
    Scanner* s = scannerOf(handle);
    if (!s || option < 0 || option >= kOptions) return nullptr;
    return &s->options[option];
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_control_option(SANE_Handle handle, SANE_Int option,
                                                                SANE_Action action, void* value,
                                                                SANE_Int* info) {
    if (info) *info = 0;
    if (scriptedFailure(Call::ControlOption)) return SANE_STATUS_IO_ERROR;
    Scanner* s = scannerOf(handle);
    if (!s || option < 0 || option >= kOptions || !value) return SANE_STATUS_INVAL;
    if (!SANE_OPTION_IS_ACTIVE(s->options[option].cap)) return SANE_STATUS_INVAL;
    switch (action) {
        case SANE_ACTION_GET_VALUE:
            return getValue(*s, option, value);
        case SANE_ACTION_SET_VALUE:
            return setValue(*s, option, value, info);
        default:
            return SANE_STATUS_INVAL;  // nothing here is automatic
    }
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_get_parameters(SANE_Handle handle,
                                                                SANE_Parameters* parameters) {
    if (scriptedFailure(Call::GetParameters)) return SANE_STATUS_IO_ERROR;
    Scanner* s = scannerOf(handle);
    if (!s || !parameters) return SANE_STATUS_INVAL;
    *parameters = (s->state == State::Scanning ? s->page : s->selectedPage()).parameters();
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_start(SANE_Handle handle) {
    if (scriptedFailure(Call::Start)) return SANE_STATUS_IO_ERROR;
    Scanner* s = scannerOf(handle);
    if (!s) return SANE_STATUS_INVAL;
    if (s->state == State::Scanning) return SANE_STATUS_DEVICE_BUSY;
    const Page page = s->selectedPage();
    if (page.bytes() == 0) return SANE_STATUS_INVAL;
    s->page = page;
    s->delivered = 0;
    s->state = State::Scanning;
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_read(SANE_Handle handle, SANE_Byte* data,
                                                      SANE_Int maxLength, SANE_Int* length) {
    if (length) *length = 0;
    Scanner* s = scannerOf(handle);
    if (!s || !data || !length || maxLength < 0) return SANE_STATUS_INVAL;
    switch (s->state.load()) {
        case State::Idle:
            return SANE_STATUS_INVAL;
        case State::Cancelled:
            return SANE_STATUS_CANCELLED;
        case State::Done:
            return SANE_STATUS_EOF;
        case State::Scanning:
            break;
    }
    return readChunk(*s, data, maxLength, length);
}

ORNAVEX_SANE_ENTRY void sane_ornavexfault_cancel(SANE_Handle handle) {
    // Only flags: frontends call this from signal handlers.
    scriptedFailure(Call::Cancel);
    if (Scanner* s = scannerOf(handle); s && s->state != State::Idle) s->state = State::Cancelled;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_set_io_mode(SANE_Handle handle,
                                                             SANE_Bool nonBlocking) {
    Scanner* s = scannerOf(handle);
    if (!s || s->state != State::Scanning) return SANE_STATUS_INVAL;
    return nonBlocking ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_get_select_fd(SANE_Handle handle, SANE_Int* fd) {
    if (!scannerOf(handle) || !fd) return SANE_STATUS_INVAL;
    return SANE_STATUS_UNSUPPORTED;
}
