// veldra-mkdata MANIFEST OUTPUT: builds a data file from a text manifest.
// veldra-mkdata --from-floppy|--from-disk IMAGE [options] OUTPUT: builds one
// from a floppy or disk image, checked by the reader before it is written.
#include <charconv>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "host/civil_time.h"
#include "host/cp932.h"
#include "host/fat_time.h"
#include "host/release.h"
#include "tools/datafile/atomic_file.h"
#include "tools/datafile/datafile_writer.h"
#include "tools/datafile/image_source.h"
#include "tools/datafile/manifest.h"

namespace veldra {
namespace {

constexpr char kUsage[] =
    "usage: veldra-mkdata MANIFEST OUTPUT\n"
    "       veldra-mkdata --from-floppy IMAGE [options] OUTPUT\n"
    "       veldra-mkdata --from-disk IMAGE [options] OUTPUT\n"
    "       veldra-mkdata --version\n"
    "options: --name NAME (required)  --media floppy|usb  --content-kind N\n"
    "         --stamp \"YYYY-MM-DD hh:mm:ss\"|none  --file NAME=HOSTPATH[@YYYY-MM-DD hh:mm:ss]\n"
    "         --min-zero-run SECTORS  --time-zone +HH:MM|-HH:MM (default +09:00)\n";

// A command line that does not say what to do: the usage goes with it.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::uint64_t ParseNumber(const std::string& option, std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value > max) {
        throw DataFileError(option + ": expected a number from 0 to " + std::to_string(max) +
                            ", found '" + std::string(text) + "'");
    }
    return value;
}

// A time as given, with the option it came from, checked once the time zone
// is known.
struct GivenTime {
    std::string what, text;
    FILETIME time;
};

FILETIME ParseTime(const std::string& what, const std::string& text,
                   std::vector<GivenTime>& given) {
    auto time = host::ParseTimestamp(text);
    if (!time) {
        throw DataFileError(what + ": expected YYYY-MM-DD hh:mm:ss (UTC), found '" + text + "'");
    }
    FILETIME result = host::FileTimeFromMilliseconds(host::MillisecondsFromCivil(*time));
    given.push_back({what, text, result});
    return result;
}

// A time FAT cannot hold makes SetFileTime fail on the medium, and the
// program leaves the file the times of its creation: refused here.
void CheckTimesFatHolds(const std::vector<GivenTime>& given, std::int32_t zoneMinutes) {
    for (const GivenTime& t : given) {
        if (host::FatHoldsFileTime(t.time, zoneMinutes)) continue;
        throw DataFileError(t.what + ": " + t.text + " lies outside the times FAT holds, " +
                            host::FatTimeRangeUtc(zoneMinutes));
    }
}

std::string ToCp932(const std::string& what, const std::string& utf8) {
    std::optional<std::string> cp932 = host::Utf8ToCp932(utf8);
    if (!cp932) throw DataFileError(what + " '" + utf8 + "' has no code page 932 form");
    return *cp932;
}

// NAME=HOSTPATH, optionally followed by @YYYY-MM-DD hh:mm:ss.
ImageFileEntry ParseFileOption(const std::string& text, std::vector<GivenTime>& given) {
    std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        throw DataFileError("--file: expected NAME=HOSTPATH, found '" + text + "'");
    }
    ImageFileEntry file;
    file.name = ToCp932("--file: the name", text.substr(0, equals));
    std::string path = text.substr(equals + 1);
    std::size_t at = path.rfind('@');
    if (at != std::string::npos) {
        std::string when = path.substr(at + 1);
        if (host::ParseTimestamp(when)) {
            file.time = ParseTime("--file " + text.substr(0, equals), when, given);
            path.resize(at);
        }
    }
    file.hostPath = path;
    return file;
}

// Everything after --from-floppy / --from-disk.
struct ImageCommand {
    ImageDataFileOptions options;
    std::filesystem::path output;
};

ImageCommand ParseImageCommand(ImageLayout layout, const std::vector<std::string>& args) {
    ImageCommand command;
    ImageDataFileOptions& o = command.options;
    o.layout = layout;
    o.mediaKind = layout == ImageLayout::Disk ? MEDIA_USB : 0;
    bool named = false;
    std::vector<std::string> positional;
    std::vector<GivenTime> times;
    std::int32_t zoneMinutes = host::kMakersTimeZoneMinutes;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!arg.starts_with("--")) {
            positional.push_back(arg);
            continue;
        }
        if (i + 1 == args.size()) throw UsageError(arg + " needs a value");
        const std::string& value = args[++i];
        if (arg == "--name") {
            o.programName = ToCp932("--name", value);
            named = true;
        } else if (arg == "--media") {
            if (value != "floppy" && value != "usb") {
                throw DataFileError("--media: expected floppy or usb, found '" + value + "'");
            }
            o.mediaKind = value == "usb" ? MEDIA_USB : 0;
        } else if (arg == "--content-kind") {
            o.contentKind = static_cast<BYTE>(ParseNumber(arg, value, 0xFF));
        } else if (arg == "--stamp") {
            o.stamp = value == "none" ? FILETIME{} : ParseTime(arg, value, times);
        } else if (arg == "--file") {
            o.files.push_back(ParseFileOption(value, times));
        } else if (arg == "--time-zone") {
            std::optional<std::int32_t> zone = host::ParseTimeZone(value);
            if (!zone) {
                throw DataFileError(
                    "--time-zone: expected +HH:MM or -HH:MM (-12:00 to +14:00), "
                    "found '" +
                    value + "'");
            }
            zoneMinutes = *zone;
        } else if (arg == "--min-zero-run") {
            o.minZeroRun = ParseNumber(arg, value, ENTRY_MAX_SECTORS);
            if (o.minZeroRun == 0) throw DataFileError("--min-zero-run: at least 1");
        } else {
            throw UsageError("unknown option " + arg);
        }
    }
    if (positional.size() != 2) throw UsageError("expected IMAGE and OUTPUT");
    if (!named) throw UsageError("--name is required");
    CheckTimesFatHolds(times, zoneMinutes);
    o.image = positional[0];
    command.output = positional[1];
    return command;
}

int FromImage(ImageLayout layout, const std::vector<std::string>& args) {
    ImageCommand command = ParseImageCommand(layout, args);
    std::vector<BYTE> bytes = BuildDataFile(DataFileFromImage(command.options));
    // The program reads it with these very checks; a file it would refuse is
    // not written.
    HeaderFault fault = FindHeaderFault(bytes, bytes.size(), DATA_FILE_SIGNATURE);
    if (fault.check != HeaderCheck::None) {
        throw DataFileError(std::string("the result fails the reader's ") +
                            HeaderCheckName(fault.check) + " check" +
                            (fault.entry >= 0 ? " at entry " + std::to_string(fault.entry) : ""));
    }
    WriteFileAtomically(command.output, bytes);
    return 0;
}

int FromManifest(const char* manifest, const char* output) {
    try {
        DataFileSpec model = LoadManifest(manifest);
        std::vector<BYTE> bytes = BuildDataFile(model);
        WriteFileAtomically(output, bytes);
    } catch (const DataFileError& e) {
        std::fprintf(stderr, "veldra-mkdata: %s: %s\n", manifest, e.what());
        return 2;
    }
    return 0;
}

int Run(int argc, char** argv) {
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "--version" && argc == 2) {
        std::fputs(host::VersionLine("veldra-mkdata").c_str(), stdout);
        return 0;
    }
    if (mode == "--from-floppy" || mode == "--from-disk") {
        try {
            return FromImage(mode == "--from-disk" ? ImageLayout::Disk : ImageLayout::Floppy,
                             std::vector<std::string>(argv + 2, argv + argc));
        } catch (const UsageError& e) {
            std::fprintf(stderr, "veldra-mkdata: %s\n%s", e.what(), kUsage);
            return 2;
        }
    }
    if (argc != 3) {
        std::fprintf(stderr, "%s", kUsage);
        return 2;
    }
    return FromManifest(argv[1], argv[2]);
}

}  // namespace
}  // namespace veldra

int main(int argc, char** argv) {
    try {
        return veldra::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "veldra-mkdata: %s\n", e.what());
        return 2;
    }
}
