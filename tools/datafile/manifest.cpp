#include "tools/datafile/manifest.h"

#include <charconv>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <vector>

#include "host/civil_time.h"
#include "host/cp932.h"
#include "host/fat_time.h"
#include "tools/datafile/manifest_line.h"

namespace veldra {
namespace {

constexpr std::uint64_t U32_MAX = 0xFFFFFFFFu;
constexpr std::uint64_t BYTE_MAX = 0xFF;

class ManifestParser {
public:
    explicit ManifestParser(std::filesystem::path path) : path_(std::move(path)) {}

    DataFileSpec Parse(std::string_view text);

private:
    [[noreturn]] void Fail(const std::string& message) const { FailAt(line_, message); }
    [[noreturn]] void FailAt(int line, const std::string& message) const {
        throw ManifestError(path_.string() + ":" + std::to_string(line) + ": " + message);
    }

    void ParseLine();
    void CheckTimesFatHolds() const;
    void CheckReaderAccepts() const;
    std::string DescribeEntry(std::size_t i) const;
    void ParseSetting(const std::string& key);
    void ParseFault();
    void ParseEntry();
    void AppendPayload(const std::string& source, std::vector<BYTE>& payload);
    std::vector<BYTE> ReadHostFile(const std::string& name);

    // Word cursor over the current line.
    bool AtEnd() const { return next_ >= words_.size(); }
    const ManifestWord& Take(const std::string& what);
    std::string TakeKeyword(const std::string& what);
    std::uint64_t TakeNumber(const std::string& what, std::uint64_t max);
    FILETIME TakeTime(const std::string& what);
    std::string TakeCp932(const std::string& what, std::size_t max);
    void ExpectEnd();
    // Fails when `key` is already in `seen`, naming the line that gave it.
    void MarkOnce(std::map<std::string, int>& seen, const std::string& key);

    std::filesystem::path path_;
    int line_ = 0;
    std::vector<ManifestWord> words_;
    std::size_t next_ = 0;
    std::map<std::string, int> settingsSeen_;
    std::map<std::string, int> faultsSeen_;
    std::vector<bool> entryTimeGiven_;
    std::vector<int> entryLines_;
    int stampLine_ = 0;
    // Where the media are made: FAT holds local time.
    std::int32_t zoneMinutes_ = host::kMakersTimeZoneMinutes;
    std::uint64_t payloadTotal_ = 0;
    DataFileSpec spec_;
};

DataFileSpec ManifestParser::Parse(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        ++line_;
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        try {
            words_ = SplitManifestLine(line);
        } catch (const ManifestLineError& e) {
            Fail(e.what());
        }
        next_ = 0;
        if (!words_.empty()) ParseLine();
    }
    if (!settingsSeen_.count("name")) {
        throw ManifestError(path_.string() + ": no 'name' line; the program name is required");
    }
    // A file entry without its own time takes the file's stamp, which may
    // come after it.
    for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
        if (!entryTimeGiven_[i]) spec_.entries[i].fileTime = spec_.fileStamp;
    }
    if (!faultsSeen_.count("fault times-outside-fat")) CheckTimesFatHolds();
    CheckReaderAccepts();
    return std::move(spec_);
}

// The program refuses a data file that fails its reader's checks (message
// 108); a manifest makes one only when a fault line asks for it.
void ManifestParser::CheckReaderAccepts() const {
    HeaderFault fault;
    try {
        fault = FindUnaskedFault(spec_);
    } catch (const DataFileError& e) {
        throw ManifestError(path_.string() + ": " + e.what());
    }
    if (fault.check == HeaderCheck::None) return;
    std::string name = HeaderCheckName(fault.check);
    if (fault.entry < 0) {
        throw ManifestError(path_.string() + ": the result fails the reader's " + name + " check");
    }
    const char* problem = fault.check == HeaderCheck::PayloadExtent
                              ? "its payload runs past the end of the file"
                          : fault.check == HeaderCheck::FileName
                              ? "not a plain file name in the root directory (no path, colon, . "
                                "or .., nor a device name such as CON)"
                              : "its sectors reach past sector 2^32";
    auto i = static_cast<std::size_t>(fault.entry);
    FailAt(entryLines_[i], DescribeEntry(i) + ": " + problem +
                               "; the program would refuse the data file as broken (message "
                               "108); 'fault " +
                               name + "' writes it anyway");
}

std::string ManifestParser::DescribeEntry(std::size_t i) const {
    const DataFileEntrySpec& e = spec_.entries[i];
    std::string what = e.kind == ENTRY_FILE ? "file '" + host::Cp932ToUtf8Lossy(e.fileName) + "'"
                                            : "first sector " + std::to_string(e.startSector);
    return "entry " + std::to_string(i) + " (" + what + ")";
}

// SetFileTime fails on a FAT medium for a time FAT cannot hold, and the
// program then leaves the file the times of its creation: a data file is not
// to ask for that unless its manifest says so.
void ManifestParser::CheckTimesFatHolds() const {
    auto outside = [this](const FILETIME& time) {
        return host::TimestampText(time) + " lies outside the times FAT holds, " +
               host::FatTimeRangeUtc(zoneMinutes_) + "; 'fault times-outside-fat' writes it anyway";
    };
    if (!host::FatHoldsFileTime(spec_.fileStamp, zoneMinutes_))
        FailAt(stampLine_, "the stamp " + outside(spec_.fileStamp));
    for (std::size_t i = 0; i < spec_.entries.size(); ++i) {
        const DataFileEntrySpec& e = spec_.entries[i];
        if (!entryTimeGiven_[i] || host::FatHoldsFileTime(e.fileTime, zoneMinutes_)) continue;
        FailAt(entryLines_[i], DescribeEntry(i) + ": its time " + outside(e.fileTime));
    }
}

void ManifestParser::ParseLine() {
    std::string key = TakeKeyword("a keyword");
    if (key == "entry") {
        ParseEntry();
    } else if (key == "fault") {
        ParseFault();
    } else if (key == "name" || key == "media" || key == "content-kind" || key == "base-sector" ||
               key == "stamp" || key == "time-zone") {
        MarkOnce(settingsSeen_, key);
        ParseSetting(key);
    } else {
        Fail("unknown keyword '" + key + "'");
    }
    ExpectEnd();
}

void ManifestParser::ParseSetting(const std::string& key) {
    if (key == "name") {
        spec_.programName = TakeCp932("a program name", PROGRAM_NAME_MAX);
    } else if (key == "media") {
        const ManifestWord& w = Take("a media kind");
        if (!w.quoted && w.text == "floppy") {
            spec_.mediaKind = 0;
        } else if (!w.quoted && w.text == "usb") {
            spec_.mediaKind = MEDIA_USB;
        } else {
            --next_;
            spec_.mediaKind =
                static_cast<BYTE>(TakeNumber("a media kind (floppy, usb or a number)", BYTE_MAX));
        }
    } else if (key == "content-kind") {
        spec_.contentKind = static_cast<BYTE>(TakeNumber("a content kind", BYTE_MAX));
    } else if (key == "base-sector") {
        spec_.baseSector = static_cast<std::uint32_t>(TakeNumber("a base sector", U32_MAX));
    } else if (key == "stamp") {
        const ManifestWord& w = Take("a stamp");
        if (!w.quoted && w.text == "none") {
            spec_.fileStamp = FILETIME{};
        } else {
            --next_;
            spec_.fileStamp = TakeTime("a stamp");
        }
        stampLine_ = line_;
    } else if (key == "time-zone") {
        const ManifestWord& w = Take("a time zone");
        std::optional<std::int32_t> zone = host::ParseTimeZone(w.text);
        if (!zone)
            Fail("expected a time zone +HH:MM or -HH:MM (-12:00 to +14:00), found '" + w.text +
                 "'");
        zoneMinutes_ = *zone;
    }
}

void ManifestParser::ParseFault() {
    std::string kind = TakeKeyword("a fault");
    MarkOnce(faultsSeen_, "fault " + kind);
    DataFileFaults& f = spec_.faults;
    if (kind == "checksum-add") {
        f.checksumAdd = static_cast<std::uint32_t>(TakeNumber("a number", U32_MAX));
    } else if (kind == "entry-count") {
        f.entryCount = static_cast<BYTE>(TakeNumber("an entry count", BYTE_MAX));
    } else if (kind == "signature") {
        f.signature = Take("a signature").text;
        if (f.signature->size() > HDR_OFFSET_PROGRAM_NAME) {
            Fail("signature is longer than 16 bytes");
        }
    } else if (kind == "truncate-to") {
        f.truncateTo = TakeNumber("a byte count", UINT64_MAX);
    } else if (kind == "drop-tail") {
        f.dropTail = TakeNumber("a byte count", UINT64_MAX);
    } else if (kind == "payload-extent") {
        f.payloadExtent = true;
    } else if (kind == "file-name") {
        f.fileName = true;
    } else if (kind == "sector-range") {
        f.sectorRange = true;
    } else if (kind == "times-outside-fat") {
        // Taken at the end, when every time is known.
    } else {
        Fail("unknown fault '" + kind + "'");
    }
}

void ManifestParser::ParseEntry() {
    if (spec_.entries.size() >= static_cast<std::size_t>(HDR_MAX_ENTRIES)) {
        Fail("too many entries; at most " + std::to_string(HDR_MAX_ENTRIES) + " fit");
    }
    DataFileEntrySpec e;
    std::string kind = TakeKeyword("sectors, absolute, zero or file");
    if (kind == "file") {
        e.kind = ENTRY_FILE;
        e.fileName = TakeCp932("a file name", ENTRY_FILE_NAME_MAX);
        if (e.fileName.empty()) Fail("a file entry needs a non-empty name");
    } else if (kind == "sectors" || kind == "absolute" || kind == "zero") {
        e.kind = kind == "sectors" ? ENTRY_SECTORS
                 : kind == "zero"  ? ENTRY_ZERO_FILL
                                   : ENTRY_SECTORS_ABSOLUTE;
        e.startSector = static_cast<std::uint32_t>(TakeNumber("a start sector", U32_MAX));
    } else {
        Fail("unknown entry kind '" + kind + "'; expected sectors, absolute, zero or file");
    }
    std::map<std::string, int> optionsSeen;
    bool hasPayload = false;
    bool timeGiven = false;
    while (!AtEnd()) {
        std::string word = TakeKeyword("an entry option or payload");
        if (word == "from" || word == "text" || word == "fill") {
            if (e.kind == ENTRY_ZERO_FILL) Fail("a zero fill has no payload");
            AppendPayload(word, e.payload);
            hasPayload = true;
            continue;
        }
        MarkOnce(optionsSeen, word);
        if (word == "time") {
            if (e.kind != ENTRY_FILE) Fail("only file entries have a time");
            e.fileTime = TakeTime("a file time");
            timeGiven = true;
        } else if (word == "in-use") {
            e.inUse = static_cast<BYTE>(TakeNumber("an in-use byte", BYTE_MAX));
        } else if (word == "size") {
            e.size = static_cast<std::uint32_t>(TakeNumber("a size", U32_MAX));
        } else if (word == "data-offset") {
            e.dataOffset = static_cast<std::uint32_t>(TakeNumber("a data offset", U32_MAX));
        } else if (word == "kind-byte") {
            e.kindByte = static_cast<BYTE>(TakeNumber("a kind byte", BYTE_MAX));
        } else {
            Fail("unknown entry option '" + word + "'");
        }
    }
    if (e.kind == ENTRY_ZERO_FILL && !e.size) Fail("a zero fill needs 'size BYTES'");
    if (e.kind != ENTRY_ZERO_FILL && !hasPayload) {
        Fail("this entry needs a payload: from PATH, text \"...\" or fill BYTE COUNT");
    }
    spec_.entries.push_back(std::move(e));
    entryTimeGiven_.push_back(timeGiven);
    entryLines_.push_back(line_);
}

void ManifestParser::AppendPayload(const std::string& source, std::vector<BYTE>& payload) {
    std::vector<BYTE> piece;
    if (source == "from") {
        piece = ReadHostFile(Take("a file path").text);
    } else if (source == "text") {
        const std::string& text = Take("quoted text").text;
        piece.assign(text.begin(), text.end());
    } else {
        auto value = static_cast<BYTE>(TakeNumber("a fill byte", BYTE_MAX));
        std::uint64_t count = TakeNumber("a fill count", MANIFEST_PAYLOAD_MAX);
        if (payloadTotal_ + count > MANIFEST_PAYLOAD_MAX) Fail("payloads exceed 256 MiB");
        piece.assign(count, value);
    }
    payloadTotal_ += piece.size();
    if (payloadTotal_ > MANIFEST_PAYLOAD_MAX) Fail("payloads exceed 256 MiB");
    payload.insert(payload.end(), piece.begin(), piece.end());
}

std::vector<BYTE> ManifestParser::ReadHostFile(const std::string& name) {
    std::filesystem::path file(name);
    if (file.is_relative()) file = path_.parent_path() / file;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) Fail("'" + name + "' is not a readable file");
    auto size = std::filesystem::file_size(file, ec);
    if (ec) Fail("cannot read '" + name + "': " + ec.message());
    if (payloadTotal_ + size > MANIFEST_PAYLOAD_MAX) Fail("payloads exceed 256 MiB");
    std::vector<BYTE> bytes(size);
    std::ifstream in(file, std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (!in || in.gcount() != static_cast<std::streamsize>(size)) {
        Fail("cannot read '" + name + "'");
    }
    return bytes;
}

const ManifestWord& ManifestParser::Take(const std::string& what) {
    if (AtEnd()) Fail("expected " + what + " at the end of the line");
    return words_[next_++];
}

std::string ManifestParser::TakeKeyword(const std::string& what) {
    const ManifestWord& w = Take(what);
    if (w.quoted) Fail("expected " + what + ", found quoted text \"" + w.text + "\"");
    return w.text;
}

std::uint64_t ManifestParser::TakeNumber(const std::string& what, std::uint64_t max) {
    const ManifestWord& w = Take(what);
    std::string_view digits = w.text;
    int base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        base = 16;
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (w.quoted || digits.empty() || ec == std::errc::invalid_argument ||
        end != digits.data() + digits.size()) {
        Fail("expected " + what + ", found '" + w.text + "'");
    }
    if (ec == std::errc::result_out_of_range || value > max) {
        Fail("'" + w.text + "' is too large for " + what + "; at most " + std::to_string(max));
    }
    return value;
}

FILETIME ManifestParser::TakeTime(const std::string& what) {
    const ManifestWord& first = Take(what + " YYYY-MM-DD HH:MM:SS");
    std::string text = first.text;
    // Unquoted, the date and the time of day are two words.
    if (!first.quoted && !AtEnd()) text += " " + words_[next_++].text;
    auto time = host::ParseTimestamp(text);
    if (!time) Fail("expected " + what + " YYYY-MM-DD HH:MM:SS (UTC), found '" + text + "'");
    return host::FileTimeFromMilliseconds(host::MillisecondsFromCivil(*time));
}

std::string ManifestParser::TakeCp932(const std::string& what, std::size_t max) {
    const std::string& utf8 = Take(what).text;
    std::optional<std::string> cp932 = host::Utf8ToCp932(utf8);
    if (!cp932) Fail(what + " '" + utf8 + "' has no code page 932 form");
    if (cp932->size() > max) {
        Fail(what + " '" + utf8 + "' is " + std::to_string(cp932->size()) +
             " bytes in code page 932; at most " + std::to_string(max) + " fit");
    }
    if (cp932->find('\0') != std::string::npos) Fail(what + " contains a NUL byte");
    return *cp932;
}

void ManifestParser::ExpectEnd() {
    if (!AtEnd()) Fail("unexpected '" + words_[next_].text + "'");
}

void ManifestParser::MarkOnce(std::map<std::string, int>& seen, const std::string& key) {
    auto [it, inserted] = seen.emplace(key, line_);
    if (!inserted) Fail("'" + key + "' was already given on line " + std::to_string(it->second));
}

}  // namespace

DataFileSpec ParseManifest(std::string_view text, const std::filesystem::path& manifestPath) {
    return ManifestParser(manifestPath).Parse(text);
}

DataFileSpec LoadManifest(const std::filesystem::path& manifestPath) {
    std::ifstream in(manifestPath, std::ios::binary);
    if (!in) throw ManifestError(manifestPath.string() + ": cannot open the manifest");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw ManifestError(manifestPath.string() + ": cannot read the manifest");
    return ParseManifest(text.str(), manifestPath);
}

}  // namespace veldra
