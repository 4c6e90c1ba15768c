// ornavexfault: a SANE backend for the tests that hangs, crashes or fails on request, so the
// scanner worker's recovery is tried against a real library loaded by SANE's dll backend.
//
// dll opens libsane-ornavexfault.so.1 from LD_LIBRARY_PATH once the dll.conf in SANE_CONFIG_DIR
// lists "ornavexfault". The one device, "ornavexfault:0" (Ornavex Störgerät), is a flatbed with
// the options resolution (dpi) and br-x, br-y (in pixels, up to 200 x 300). Its page is gray,
// 8 bits per sample: (x + y) % 256.
//
// ORNAVEX_FAULT holds <call>=<action>,... e.g. "read=crash-midway,close=hang". init, get_devices,
// open, start, read, cancel and close can "hang" (in pause(), no busy loop), "crash" (SIGSEGV,
// no core file) or "fail" (SANE_STATUS_IO_ERROR, where the call returns a status), also just once
// as "crash-once:<file>" or "fail-once:<file>": only while the file is missing, which the call
// then leaves behind, so the next worker goes on (a network scanner whose server restarted).
// usb=<file> names the devices as a USB scanner's name changes when it is plugged in again: one
// device per line of the file, read at each search and open, all of the same vendor and model;
// opening a name the file no longer holds fails with SANE_STATUS_INVAL. Besides:
// read=hang-midway and read=crash-midway after half the page, read=slow (20 ms per chunk),
// read=trickle:<ms> (the page in a thousand small pieces spread over that time),
// open=auth-after:<ms> (asks for a login after that time, then hangs whatever the answer),
// open=auth, start=auth and option=auth (a login in that call: only user "scan" with password
// "geheim" may go on; "option" is setting any option), start=auth-garbled (a login for a resource
// of garbage bytes, then SANE_STATUS_IO_ERROR, as SANE's net backend does once its server is gone),
// resolution=unreadable (reading that option gives SANE_STATUS_INVAL, setting it works, as with
// some drivers), get_devices=network (the device calls itself a network scanner), options=many (one
// more option, a list of choices larger than a socket's default buffer) and parameters=huge (a
// frame of 2^17 x 2^17 pixels).

#include <sane/sane.h>
#include <sane/saneopts.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#define ORNAVEX_SANE_ENTRY extern "C" __attribute__((visibility("default")))

namespace {

// The action ORNAVEX_FAULT scripts for the call, empty when none.
std::string faultAt(const std::string& call) {
    const char* variable = std::getenv("ORNAVEX_FAULT");
    const std::string entries = "," + std::string(variable ? variable : "") + ",";
    const auto at = entries.find("," + call + "=");
    if (at == std::string::npos) return {};
    const auto start = at + call.size() + 2;
    return entries.substr(start, entries.find(',', start) - start);
}

// The number after the colon of a "<action>:<number>" fault.
long numberIn(const std::string& fault) {
    return std::stol(fault.substr(fault.find(':') + 1));
}

[[noreturn]] void hang() {
    for (;;) pause();
}

[[noreturn]] void crash() {
    const rlimit noCore{};  // the crash is expected: no core file in the test's folder
    setrlimit(RLIMIT_CORE, &noCore);
    signal(SIGSEGV, SIG_DFL);
    raise(SIGSEGV);
    std::abort();
}

// What an "<action>-once:<file>" fault does now: the action while the file is missing.
std::string actionNow(const std::string& fault) {
    const std::string once = "-once:";
    const auto at = fault.find(once);
    if (at == std::string::npos) return fault;
    const std::string marker = fault.substr(at + once.size());
    if (::access(marker.c_str(), F_OK) == 0) return {};
    if (std::FILE* file = std::fopen(marker.c_str(), "w")) std::fclose(file);
    return fault.substr(0, at);
}

// Hangs or crashes when the call is scripted to; true when it is to fail.
bool injected(const std::string& call) {
    const std::string fault = actionNow(faultAt(call));
    if (fault == "hang") hang();
    if (fault == "crash") crash();
    return fault == "fail";
}

enum Option { kOptionCount, kResolution, kBrX, kBrY, kMany, kOptions };

int optionCount() {
    return faultAt("options") == "many" ? kOptions : kMany;
}

// 4000 choices of 100 letters: far over 208 KiB once listed.
// Filled when the library is loaded, before any call of the frontend.
const SANE_String_Const* manyChoices() {
    constexpr int kCount = 4000;
    static std::string texts[kCount];
    static SANE_String_Const pointers[kCount + 1] = {};
    for (int i = 0; i < kCount && !pointers[i]; ++i) {
        texts[i] = std::to_string(i) + std::string(100, 'x');
        pointers[i] = texts[i].c_str();
    }
    return pointers;
}

const SANE_Range kResolutions = {50, 600, 1};
const SANE_Range kWidths = {0, 200, 1};
const SANE_Range kHeights = {0, 300, 1};

// A whole number, settable when it has a range.
SANE_Option_Descriptor describe(SANE_String_Const name, SANE_Unit unit, const SANE_Range* range) {
    const SANE_Int cap = range ? SANE_CAP_SOFT_SELECT | SANE_CAP_SOFT_DETECT : SANE_CAP_SOFT_DETECT;
    const auto kind = range ? SANE_CONSTRAINT_RANGE : SANE_CONSTRAINT_NONE;
    return {name, name, "", SANE_TYPE_INT, unit, sizeof(SANE_Word), cap, kind, {.range = range}};
}

const SANE_Option_Descriptor kDescriptors[kOptions] = {
    describe(SANE_NAME_NUM_OPTIONS, SANE_UNIT_NONE, nullptr),
    describe(SANE_NAME_SCAN_RESOLUTION, SANE_UNIT_DPI, &kResolutions),
    describe(SANE_NAME_SCAN_BR_X, SANE_UNIT_PIXEL, &kWidths),
    describe(SANE_NAME_SCAN_BR_Y, SANE_UNIT_PIXEL, &kHeights),
    {"ornavex-many",
     "ornavex-many",
     "",
     SANE_TYPE_STRING,
     SANE_UNIT_NONE,
     128,
     SANE_CAP_SOFT_DETECT,
     SANE_CONSTRAINT_STRING_LIST,
     {.string_list = manyChoices()}}};

// The one flatbed; sane_open starts it afresh.
struct Flatbed {
    SANE_Word words[kOptions] = {optionCount(), 100, kWidths.max, kHeights.max, 0};
    std::size_t delivered = 0;
    bool loggedIn = false;  // a login in an option or a start counts for the rest of the open

    std::size_t bytes() const { return std::size_t(words[kBrX]) * words[kBrY]; }
    SANE_Byte byteAt(std::size_t offset) const {
        return SANE_Byte((offset % words[kBrX] + offset / words[kBrX]) % 256);
    }
} g_flatbed;

SANE_Auth_Callback g_authorize = nullptr;

// Asks the frontend for a login to the resource: only user "scan" with password "geheim" may go on.
bool authorized(SANE_String_Const resource = "ornavexfault:0") {
    SANE_Char user[SANE_MAX_USERNAME_LEN] = {};
    SANE_Char password[SANE_MAX_PASSWORD_LEN] = {};
    if (g_authorize) g_authorize(resource, user, password);
    return std::strcmp(user, "scan") == 0 && std::strcmp(password, "geheim") == 0;
}

// Asks once per open when the call is scripted to need a login.
bool loginRefused(const std::string& call) {
    if (faultAt(call) != "auth" || g_flatbed.loggedIn) return false;
    g_flatbed.loggedIn = authorized();
    return !g_flatbed.loggedIn;
}

}  // namespace

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_init(SANE_Int* version,
                                                      SANE_Auth_Callback authorize) {
    if (injected("init")) return SANE_STATUS_IO_ERROR;
    if (version) *version = SANE_VERSION_CODE(SANE_CURRENT_MAJOR, SANE_CURRENT_MINOR, 0);
    g_authorize = authorize;
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY void sane_ornavexfault_exit() {}

// The devices' names: "0", or the lines of the usb=<file> as it is now.
std::vector<std::string> deviceNames() {
    const std::string usb = faultAt("usb");
    if (usb.empty()) return {"0"};
    std::vector<std::string> names;
    std::ifstream file(usb);
    for (std::string line; std::getline(file, line);) {
        if (!line.empty()) names.push_back(line);
    }
    return names;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_get_devices(const SANE_Device*** list,
                                                             SANE_Bool /*localOnly*/) {
    // Kept until the next search, as SANE asks of a backend.
    static std::vector<std::string> names;
    static std::vector<SANE_Device> devices;
    static std::vector<const SANE_Device*> entries;
    if (injected("get_devices")) return SANE_STATUS_IO_ERROR;
    const char* type = faultAt("get_devices") == "network" ? "network scanner" : "flatbed scanner";
    names = deviceNames();
    devices.clear();
    devices.reserve(names.size());  // entries point into it
    entries.clear();
    for (const std::string& name : names)
        entries.push_back(&devices.emplace_back(name.c_str(), "Ornavex", "Störgerät", type));
    entries.push_back(nullptr);
    *list = entries.data();
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_open(SANE_String_Const name, SANE_Handle* handle) {
    if (!faultAt("usb").empty() && std::ranges::count(deviceNames(), std::string(name)) == 0)
        return SANE_STATUS_INVAL;
    if (injected("open")) return SANE_STATUS_IO_ERROR;
    const std::string openFault = faultAt("open");
    if (openFault == "auth" && !authorized()) return SANE_STATUS_ACCESS_DENIED;
    if (openFault.starts_with("auth-after:")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(numberIn(openFault)));
        authorized();
        hang();
    }
    g_flatbed = Flatbed{};
    *handle = &g_flatbed;
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY void sane_ornavexfault_close(SANE_Handle) {
    injected("close");
}

ORNAVEX_SANE_ENTRY const SANE_Option_Descriptor* sane_ornavexfault_get_option_descriptor(
    SANE_Handle, SANE_Int option) {
    return option >= 0 && option < optionCount() ? &kDescriptors[option] : nullptr;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_control_option(SANE_Handle, SANE_Int option,
                                                                SANE_Action action, void* value,
                                                                SANE_Int* info) {
    if (info) *info = 0;
    if (option < 0 || option >= optionCount()) return SANE_STATUS_INVAL;
    if (action == SANE_ACTION_GET_VALUE) {
        if (option == kResolution && faultAt("resolution") == "unreadable")
            return SANE_STATUS_INVAL;
        if (option == kMany) {
            std::strcpy(static_cast<char*>(value), manyChoices()[0]);
        } else {
            *static_cast<SANE_Word*>(value) = g_flatbed.words[option];
        }
        return SANE_STATUS_GOOD;
    }
    if (action != SANE_ACTION_SET_VALUE || option == kOptionCount || option == kMany)
        return SANE_STATUS_INVAL;
    if (loginRefused("option")) return SANE_STATUS_ACCESS_DENIED;
    g_flatbed.words[option] = *static_cast<SANE_Word*>(value);
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_get_parameters(SANE_Handle,
                                                                SANE_Parameters* parameters) {
    const SANE_Word width = g_flatbed.words[kBrX];
    *parameters = {SANE_FRAME_GRAY, SANE_TRUE, width, width, g_flatbed.words[kBrY], 8};
    if (faultAt("parameters") == "huge")
        *parameters = {SANE_FRAME_GRAY, SANE_TRUE, 1 << 17, 1 << 17, 1 << 17, 8};
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_start(SANE_Handle) {
    if (injected("start")) return SANE_STATUS_IO_ERROR;
    if (faultAt("start") == "auth-garbled") {
        authorized("net:127.0.0.1:H\x8b\xc3H\x85\xc0tB\xe8");
        return SANE_STATUS_IO_ERROR;
    }
    if (loginRefused("start")) return SANE_STATUS_ACCESS_DENIED;
    g_flatbed.delivered = 0;
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY SANE_Status sane_ornavexfault_read(SANE_Handle, SANE_Byte* data,
                                                      SANE_Int maxLength, SANE_Int* length) {
    *length = 0;
    if (injected("read")) return SANE_STATUS_IO_ERROR;
    const std::string fault = faultAt("read");
    const std::size_t total = g_flatbed.bytes();
    const bool midway = fault.ends_with("-midway");
    if (midway && g_flatbed.delivered >= total / 2) fault == "crash-midway" ? crash() : hang();
    if (fault == "slow") std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool trickle = fault.starts_with("trickle:");
    // A thousandth of the spread.
    if (trickle) std::this_thread::sleep_for(std::chrono::microseconds(numberIn(fault)));
    if (g_flatbed.delivered == total) return SANE_STATUS_EOF;
    const std::size_t end = midway ? total / 2 : total;
    const std::size_t piece = trickle ? std::max<std::size_t>(1, total / 1000) : 4096;
    const std::size_t count = std::min({std::size_t(maxLength), piece, end - g_flatbed.delivered});
    for (std::size_t i = 0; i < count; ++i) data[i] = g_flatbed.byteAt(g_flatbed.delivered + i);
    g_flatbed.delivered += count;
    *length = SANE_Int(count);
    return SANE_STATUS_GOOD;
}

ORNAVEX_SANE_ENTRY void sane_ornavexfault_cancel(SANE_Handle) {
    injected("cancel");
}
