#include "sim/devices/machine_devices.h"

#include <charconv>
#include <map>
#include <string_view>

#include "host/cp932.h"
#include "host/text.h"

namespace veldra::sim {
namespace {

template <typename T>
std::optional<T> Number(const std::string& text) {
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

template <typename T>
T NumberOrFail(const std::string& key, const std::string& value, const DescriptionFailure& fail) {
    auto number = Number<T>(value);
    if (!number) fail(key + " is a number, not '" + value + "'");
    return number.value_or(T{});
}

bool YesNo(const std::string& key, const std::string& value, const DescriptionFailure& fail) {
    if (value != "yes" && value != "no") fail(key + " is yes or no");
    return value == "yes";
}

// The formats a medium can have, by the names machine.ini gives them.
const std::map<std::string, MEDIA_TYPE>& MediaTypes() {
    static const std::map<std::string, MEDIA_TYPE> kTypes = {
        {"1.2M", F5_1Pt2_512}, {"1.44M", F3_1Pt44_512}, {"2.88M", F3_2Pt88_512},
        {"720K", F3_720_512},  {"360K", F5_360_512},    {"removable", RemovableMedia},
        {"fixed", FixedMedia}, {"unknown", Unknown}};
    return kTypes;
}

}  // namespace

DeviceId ParseDeviceId(const std::string& text, const DescriptionFailure& fail) {
    std::string trimmed = host::TrimBlanks(text);
    std::size_t blank = trimmed.find(' ');
    std::string kind = trimmed.substr(0, blank);
    int unit = -1;
    if (blank != std::string::npos) {
        unit = Number<int>(host::TrimBlanks(trimmed.substr(blank))).value_or(-1);
    }
    if ((kind != "disk" && kind != "floppy") || unit < 0 || unit > 99)
        fail("a device is 'disk N' or 'floppy N' with N from 0 to 99, not '" + text + "'");
    return DeviceId{kind == "disk" ? DeviceKind::Disk : DeviceKind::Floppy, unit};
}

DeviceConfig NewDevice(DeviceId id) {
    DeviceConfig device;
    device.id = id;
    device.deviceNumber = static_cast<DWORD>(id.unit);
    if (id.kind == DeviceKind::Floppy) {
        device.mediaType = F3_1Pt44_512;
        device.sectorsPerTrack = 18;
        device.tracksPerCylinder = 2;
    }
    return device;
}

void AssignDeviceKey(DeviceConfig& device, const std::filesystem::path& machineDir,
                     const std::string& key, const std::string& value,
                     const DescriptionFailure& fail) {
    if (key == "image") {
        if (value.empty()) fail("image needs a file");
        device.image = machineDir / value;
    } else if (key == "medium") {
        if (value != "present" && value != "absent") fail("medium is present or absent");
        device.mediumPresent = value == "present";
    } else if (key == "plugged") {
        device.plugged = YesNo(key, value, fail);
        if (!device.plugged && device.id.kind != DeviceKind::Disk)
            fail("only a disk can be unplugged");
    } else if (key == "write-protected") {
        device.writeProtected = YesNo(key, value, fail);
    } else if (key == "device-number") {
        if (value == "fails") {
            device.deviceNumber.reset();
        } else {
            device.deviceNumber = NumberOrFail<DWORD>(key, value, fail);
        }
    } else if (key == "device-type") {
        if (value == "disk") {
            device.deviceType = FILE_DEVICE_DISK;
        } else if (value == "virtual-disk") {
            device.deviceType = FILE_DEVICE_VIRTUAL_DISK;
        } else {
            device.deviceType = NumberOrFail<DWORD>(key, value, fail);
        }
    } else if (key == "media") {
        auto it = MediaTypes().find(value);
        if (it == MediaTypes().end()) fail("unknown media '" + value + "'");
        device.mediaType = it->second;
        if (value == "720K" || value == "360K") device.sectorsPerTrack = 9;
        if (value == "1.2M") device.sectorsPerTrack = 15;
        if (value == "2.88M") device.sectorsPerTrack = 36;
    } else if (key == "bytes-per-sector") {
        device.bytesPerSector = NumberOrFail<DWORD>(key, value, fail);
    } else if (key == "sectors-per-track") {
        device.sectorsPerTrack = NumberOrFail<DWORD>(key, value, fail);
    } else if (key == "tracks-per-cylinder") {
        device.tracksPerCylinder = NumberOrFail<DWORD>(key, value, fail);
    } else if (key == "layout-entries") {
        device.layoutEntries = NumberOrFail<DWORD>(key, value, fail);
    } else if (key == "failing-writes") {
        device.failingWrites = NumberOrFail<int>(key, value, fail);
    } else if (key == "writes-before-failing") {
        device.writesBeforeFailing = NumberOrFail<int>(key, value, fail);
    } else if (key == "write-error") {
        device.writeError = NumberOrFail<DWORD>(key, value, fail);
    } else if (key == "pull-after-files") {
        device.pullAfterFiles = NumberOrFail<int>(key, value, fail);
    } else if (key == "pull-at-close") {
        device.pullAtClose = NumberOrFail<int>(key, value, fail);
    } else if (key == "corrupt-writes") {
        device.corruptWrite = NumberOrFail<int>(key, value, fail);
    } else if (key == "corrupt-file-writes") {
        device.corruptFileWrite = NumberOrFail<int>(key, value, fail);
    } else if (key == "pull-after-writes") {
        device.pullAfterWrites = NumberOrFail<int>(key, value, fail);
    } else if (key == "short-transfers") {
        device.shortTransfer = NumberOrFail<int>(key, value, fail);
    } else if (key == "stray-seeks") {
        device.straySeek = NumberOrFail<int>(key, value, fail);
    } else if (key == "write-cache") {
        if (value != "no" && value != "yes" && value != "no-fua")
            fail("write-cache is no, yes or no-fua");
        device.writeCache = value == "yes"      ? WriteCache::Fua
                            : value == "no-fua" ? WriteCache::NoFua
                                                : WriteCache::None;
    } else if (key == "failing-flush") {
        device.failingFlush = NumberOrFail<int>(key, value, fail);
    } else if (key == "failing-layout") {
        device.failingLayout = NumberOrFail<int>(key, value, fail);
    } else if (key == "unmounted-creates") {
        device.unmountedCreates = NumberOrFail<int>(key, value, fail);
    } else if (key == "reread-after") {
        if (value == "never") {
            device.rereadAfterMs.reset();
        } else {
            device.rereadAfterMs = NumberOrFail<std::uint64_t>(key, value, fail);
        }
    } else if (key == "letters-go-to") {
        device.lettersGoTo = ParseDeviceId(value, fail);
        if (device.lettersGoTo->kind != DeviceKind::Disk) fail("letters-go-to names a disk");
    } else if (key == "appear-after") {
        device.appearAfterMs = NumberOrFail<std::uint64_t>(key, value, fail);
    } else {
        fail("unknown key '" + key + "' in a device section");
    }
}

void AssignRegistryValue(RegistryConfig& registry, const std::string& keyPath,
                         const std::string& name, const std::string& value,
                         const DescriptionFailure& fail) {
    RegistryValue entry;
    if (value.rfind("dword:", 0) == 0) {
        entry.type = REG_DWORD;
        entry.number = NumberOrFail<DWORD>(name, value.substr(6), fail);
    } else {
        constexpr std::string_view kUnterminated = "sz-without-nul:";
        entry.terminated = value.rfind(kUnterminated, 0) != 0;
        std::string text = !entry.terminated            ? value.substr(kUnterminated.size())
                           : value.rfind("sz:", 0) == 0 ? value.substr(3)
                                                        : value;
        auto cp932 = host::Utf8ToCp932(text);
        if (!cp932) fail("text has no code page 932 form: " + text);
        entry.text = cp932.value_or(std::string());
    }
    registry[host::UpperAscii(keyPath)][host::UpperAscii(name)] = entry;
}

void CheckDevice(const DeviceConfig& device, const DescriptionFailure& fail) {
    if (!device.mediumPresent) return;
    std::error_code ec;
    if (device.image.empty()) fail("a device with a medium needs an image");
    if (!std::filesystem::is_regular_file(device.image, ec))
        fail("image " + device.image.string() + " does not exist");
}

}  // namespace veldra::sim
