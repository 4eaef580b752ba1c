#include "tools/datafile/datafile_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/cp932.h"
#include "records/data_file_format.h"
#include "tools/datafile/atomic_file.h"
#include "tools/datafile/manifest.h"
#include "tools/datafile/manifest_line.h"

namespace veldra {
namespace {

namespace fs = std::filesystem;

constexpr char kSignature[] = "NOVUS-KT DATA";

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
    FILETIME t;
    t.dwLowDateTime = static_cast<DWORD>(ticks);
    t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return t;
}

DataFileHeader HeaderOf(const std::vector<BYTE>& bytes) {
    DataFileHeader h;
    std::copy_n(bytes.begin(), std::min(bytes.size(), HDR_SIZE), h.bytes.begin());
    return h;
}

HeaderVerdict VerdictOf(const std::vector<BYTE>& bytes) {
    return CheckDataFileHeader(bytes, bytes.size(), kSignature);
}

std::vector<BYTE> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

DataFileEntrySpec SectorEntry(BYTE kind, std::uint32_t start, std::string_view payload) {
    DataFileEntrySpec e;
    e.kind = kind;
    e.startSector = start;
    e.payload = Bytes(payload);
    return e;
}

DataFileEntrySpec FileEntry(std::string name, std::string_view payload) {
    DataFileEntrySpec e;
    e.kind = ENTRY_FILE;
    e.fileName = std::move(name);
    e.payload = Bytes(payload);
    return e;
}

std::vector<BYTE> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return Bytes(s.str());
}

void WriteText(const fs::path& path, std::string_view text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder per test, removed afterwards.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "mkdata-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

TEST(DataFileWriter, LaysOutEntriesWhereTheReaderLooks) {
    DataFileSpec model;
    model.programName = "PROG";
    model.mediaKind = MEDIA_USB;
    model.contentKind = 5;
    model.baseSector = 0x12345678;  // unaligned at 213: every byte must land
    model.fileStamp = FromTicks(0x01C417C7B670E800);
    model.entries.push_back(SectorEntry(ENTRY_SECTORS, 7, "ABC"));
    model.entries.push_back(SectorEntry(ENTRY_ZERO_FILL, 9, ""));
    model.entries.back().size = 4096;
    model.entries.push_back(FileEntry(std::string(29, 'N'), "hello"));
    model.entries.back().inUse = 0;
    model.entries.back().fileTime = FromTicks(0x0102030405060708);
    model.entries.push_back(SectorEntry(ENTRY_SECTORS_ABSOLUTE, 0xFFFFFFFF, "Z"));

    std::vector<BYTE> out = BuildDataFile(model);
    ASSERT_EQ(out.size(), HDR_SIZE + 3 + 5 + 1);
    EXPECT_EQ(VerdictOf(out), HeaderVerdict::Valid);
    DataFileHeader h = HeaderOf(out);
    EXPECT_TRUE(IsHeaderChecksumValid(&h));
    EXPECT_EQ(h.ProgramName(), "PROG");
    EXPECT_EQ(h.MediaKind(), MEDIA_USB);
    EXPECT_EQ(h.ContentKind(), 5);
    EXPECT_EQ(h.EntryCount(), 4);
    EXPECT_EQ(h.BaseSector(), 0x12345678u);
    EXPECT_EQ(Ticks(h.FileStamp()), 0x01C417C7B670E800u);
    EXPECT_EQ(out[212], 0);  // neighbours of the unaligned field stay clear
    EXPECT_EQ(out[217], 0);

    struct Want {
        BYTE inUse, kind;
        std::uint32_t size, offset;
        std::string payload;
    };
    const Want want[] = {{1, ENTRY_SECTORS, 3, 0, "ABC"},
                         {1, ENTRY_ZERO_FILL, 4096, 0, ""},
                         {0, ENTRY_FILE, 5, 3, "hello"},
                         {1, ENTRY_SECTORS_ABSOLUTE, 1, 8, "Z"}};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        DataFileEntry e = h.Entry(i);
        EXPECT_EQ(e.InUse, want[i].inUse);
        EXPECT_EQ(e.Kind, want[i].kind);
        EXPECT_EQ(e.Size, want[i].size);
        EXPECT_EQ(e.DataOffset, want[i].offset);
        auto at = out.begin() + HDR_SIZE + e.DataOffset;
        EXPECT_EQ(std::string(at, at + want[i].payload.size()), want[i].payload);
    }
    EXPECT_EQ(h.Entry(0).StartSector, 7u);
    EXPECT_EQ(h.Entry(1).StartSector, 9u);
    EXPECT_EQ(h.Entry(2).FileName, std::string(29, 'N'));
    EXPECT_EQ(Ticks(h.Entry(2).FileTime), 0x0102030405060708u);
    EXPECT_EQ(h.Entry(3).StartSector, 0xFFFFFFFFu);
    for (std::size_t b = HDR_OFFSET_ENTRIES + 4 * HDR_ENTRY_SIZE; b < HDR_OFFSET_CHECKSUM; ++b) {
        ASSERT_EQ(out[b], 0) << "unused entry byte " << b;
    }
}

TEST(DataFileWriter, RefusesWhatTheHeaderCannotHold) {
    auto withEntries = [](std::size_t n) {
        DataFileSpec s;
        s.entries.assign(n, SectorEntry(ENTRY_SECTORS, 0, "x"));
        return s;
    };
    auto fileNamed = [](std::string name) {
        DataFileSpec s;
        s.entries.push_back(FileEntry(name, "x"));
        return s;
    };
    DataFileSpec longName, nulName, zeroWithPayload, longSignature;
    longName.programName = std::string(65, 'P');
    nulName.programName = std::string("A\0B", 3);
    zeroWithPayload.entries.push_back(SectorEntry(ENTRY_ZERO_FILL, 0, "x"));
    longSignature.faults.signature = std::string(17, 'S');

    for (const DataFileSpec& bad :
         {longName, nulName, withEntries(38), fileNamed(std::string(30, 'F')), zeroWithPayload,
          longSignature}) {
        EXPECT_THROW(BuildDataFile(bad), DataFileError);
    }
    DataFileSpec longest = withEntries(37);
    longest.programName = std::string(64, 'P');
    EXPECT_EQ(VerdictOf(BuildDataFile(longest)), HeaderVerdict::Valid);
    EXPECT_EQ(HeaderOf(BuildDataFile(longest)).ProgramName(), std::string(64, 'P'));
    EXPECT_EQ(VerdictOf(BuildDataFile(fileNamed(std::string(29, 'F')))), HeaderVerdict::Valid);
}

TEST(ManifestLine, SplitsWordsQuotesAndComments) {
    auto words =
        SplitManifestLine("  entry\tfile \"A B\" text \"q\\\"\\\\\\n\\x41\\0\" # note \"x");
    ASSERT_EQ(words.size(), 5u);
    EXPECT_EQ(words[0].text, "entry");
    EXPECT_FALSE(words[0].quoted);
    EXPECT_EQ(words[2].text, "A B");
    EXPECT_TRUE(words[2].quoted);
    EXPECT_EQ(words[4].text, std::string("q\"\\\nA\0", 6));
    EXPECT_TRUE(SplitManifestLine("   # only a comment\r").empty());
    EXPECT_EQ(SplitManifestLine("\"#\"")[0].text, "#");

    for (const char* bad : {"text \"open", "text \"\\q\"", "text \"\\x4\"", "text \"a\"b"}) {
        EXPECT_THROW(SplitManifestLine(bad), ManifestLineError) << bad;
    }
}

TEST(Manifest, ReadsSettingsEntriesAndPayloads) {
    TempDir dir;
    fs::create_directory(dir.path() / "data");
    WriteText(dir.path() / "data" / "readme.txt", "from a file");
    const char* text =
        "\xEF\xBB\xBF# example\r\n"
        "name \"NOVUS-KT フロッピー版\"\r\n"
        "media usb\n"
        "content-kind 0x7F\n"
        "base-sector 63\n"
        "entry sectors 2 text \"AB\" fill 0xE5 3 from data/readme.txt in-use 0\n"
        "entry zero 4 size 1024 kind-byte 0x42\n"
        "entry file \"ファイル.TXT\" text \"\"\n"
        "entry file B.TXT time \"1970-01-01 00:00:00\" text x\n"
        "fault times-outside-fat  # 1970 is no time FAT holds\n"
        "fault payload-extent  # kind 0x42 is no zero fill: its 1024 bytes are payload\n"
        "stamp 2004-04-01 09:00:00  # after the entries, still their default time\n";
    DataFileSpec model = ParseManifest(text, dir.path() / "x.manifest");

    EXPECT_EQ(model.programName, *host::Utf8ToCp932("NOVUS-KT フロッピー版"));
    EXPECT_EQ(model.mediaKind, MEDIA_USB);
    EXPECT_EQ(model.contentKind, 0x7F);
    EXPECT_EQ(model.baseSector, 63u);
    EXPECT_EQ(Ticks(model.fileStamp), 0x01C417C7B670E800u);
    ASSERT_EQ(model.entries.size(), 4u);
    const DataFileEntrySpec& s = model.entries[0];
    EXPECT_EQ(s.kind, ENTRY_SECTORS);
    EXPECT_EQ(s.startSector, 2u);
    EXPECT_EQ(s.inUse, 0);
    EXPECT_EQ(s.payload, Bytes("AB\xE5\xE5\xE5"
                               "from a file"));
    EXPECT_EQ(model.entries[1].kind, ENTRY_ZERO_FILL);
    EXPECT_EQ(model.entries[1].kindByte, 0x42);
    EXPECT_EQ(model.entries[1].size, 1024u);
    EXPECT_EQ(model.entries[2].fileName, *host::Utf8ToCp932("ファイル.TXT"));
    EXPECT_EQ(Ticks(model.entries[2].fileTime), 0x01C417C7B670E800u);
    EXPECT_EQ(Ticks(model.entries[3].fileTime), 116444736000000000u);

    DataFileHeader h = HeaderOf(BuildDataFile(model));
    EXPECT_EQ(h.Entry(1).Kind, 0x42);
    EXPECT_EQ(h.Entry(1).StartSector, 4u);

    // The 64-byte limit counts code page 932 bytes (64 here), not UTF-8 (65).
    std::string name = std::string(62, 'x') + "あ";
    EXPECT_EQ(ParseManifest("name " + name, "x").programName.size(), 64u);
}

TEST(Manifest, ErrorsNameTheFileAndLine) {
    TempDir dir;
    const fs::path path = dir.path() / "bad.manifest";
    const std::string where = path.string() + ":";
    std::string fullTable = "name N\n";
    for (int i = 0; i < 37; ++i) fullTable += "entry sectors 0 text x\n";

    const struct {
        std::string text;
        std::string message;  // after "FILE:"
    } cases[] = {
        {"name N\nbogus 1\n", "2: unknown keyword 'bogus'"},
        {"name A\n\nname B\n", "3: 'name' was already given on line 1"},
        {"name N\nmedia 256\n", "2: '256' is too large for a media kind"},
        {"name N\nbase-sector 12x\n", "2: expected a base sector, found '12x'"},
        {"name N\nbase-sector 4294967296\n", "2: '4294967296' is too large for a base sector"},
        {"name N\nstamp 2004-02-30 00:00:00\n", "2: expected a stamp"},
        {"name \"NOVUS 😀\"\n", "1: a program name 'NOVUS 😀' has no code page 932 form"},
        {"name \"" + std::string(63, 'x') + "あ\"\n", "1: a program name"},
        {"name N\nentry zero 0\n", "2: a zero fill needs 'size BYTES'"},
        {"name N\nentry zero 0 size 1 text x\n", "2: a zero fill has no payload"},
        {"name N\nentry sectors 0 in-use 0\n", "2: this entry needs a payload"},
        {"name N\nentry sectors 0 time 2004-01-01 00:00:00 text x\n",
         "2: only file entries have a time"},
        {"name N\nentry file " + std::string(30, 'F') + " text x\n", "2: a file name"},
        {"name N\nentry file A text x size 1 size 2\n", "2: 'size' was already given"},
        {"name N\nentry disk 0\n", "2: unknown entry kind 'disk'"},
        {"name N\nentry sectors 0 from missing.bin\n", "2: 'missing.bin' is not a readable file"},
        {"name N\nentry sectors 0 text \"open\n", "2: unterminated quoted text"},
        {"name N\nfault wobble 1\n", "2: unknown fault 'wobble'"},
        // FAT holds local time: at +09:00, unless told, from 1979-12-31 15:00 UTC.
        {"name N\nentry file A time 1979-12-31 14:59:59 text x\n",
         "2: entry 0 (file 'A'): its time 1979-12-31 14:59:59 lies outside the times FAT holds, "
         "1979-12-31 15:00:00 to 2107-12-31 14:59:58 (UTC) at +09:00"},
        {"name N\ntime-zone +00:00\nentry file A text x\nstamp 2107-12-31 23:59:59\n",
         "4: the stamp 2107-12-31 23:59:59 lies outside the times FAT holds, 1980-01-01 00:00:00 "
         "to 2107-12-31 23:59:58 (UTC) at +00:00"},
        {"name N\ntime-zone +14:01\n", "2: expected a time zone"},
        {"name N extra\n", "1: unexpected 'extra'"},
        {fullTable + "entry sectors 0 text x\n", "39: too many entries"},
        {"media usb\n", " no 'name' line"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            ParseManifest(c.text, path);
            ADD_FAILURE() << "accepted";
        } catch (const ManifestError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(where + c.message, 0), 0u) << e.what();
        }
    }
}

TEST(Manifest, FaultsDamageTheOutputAsTold) {
    const std::string base = "name N\nentry sectors 0 text \"0123456789\"\n";
    const struct {
        std::string faults;
        HeaderVerdict verdict;
        std::size_t size;
    } cases[] = {
        {"", HeaderVerdict::Valid, HDR_SIZE + 10},
        {"fault checksum-add 1\n", HeaderVerdict::Broken, HDR_SIZE + 10},
        {"fault checksum-add 0xFFFFFFFF\n", HeaderVerdict::Broken, HDR_SIZE + 10},
        {"fault entry-count 38\n", HeaderVerdict::Broken, HDR_SIZE + 10},
        {"fault entry-count 0\n", HeaderVerdict::Valid, HDR_SIZE + 10},
        {"fault signature \"NOVUS-KT DATB\"\n", HeaderVerdict::NotDataFile, HDR_SIZE + 10},
        {"fault drop-tail 1\n", HeaderVerdict::Broken, HDR_SIZE + 9},
        {"fault truncate-to 2047\n", HeaderVerdict::NotDataFile, 2047},
        {"fault truncate-to 2050\nfault drop-tail 2\n", HeaderVerdict::Broken, HDR_SIZE},
        {"entry sectors 0 text x size 12\nfault payload-extent\n", HeaderVerdict::Broken,
         HDR_SIZE + 11},
        {"entry sectors 0 text x data-offset 11\nfault payload-extent\n", HeaderVerdict::Broken,
         HDR_SIZE + 11},
        {"entry sectors 0 text x data-offset 10\n", HeaderVerdict::Valid, HDR_SIZE + 11},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.faults);
        std::vector<BYTE> out = BuildDataFile(ParseManifest(base + c.faults, "t.manifest"));
        EXPECT_EQ(out.size(), c.size);
        EXPECT_EQ(VerdictOf(out), c.verdict);
    }
    // Only the named field changes: the count is stored as told under a valid checksum.
    std::vector<BYTE> counted =
        BuildDataFile(ParseManifest(base + "fault entry-count 5\n", "t.manifest"));
    DataFileHeader h = HeaderOf(counted);
    EXPECT_EQ(h.EntryCount(), 5);
    EXPECT_TRUE(IsHeaderChecksumValid(&h));
    std::vector<BYTE> off = BuildDataFile(ParseManifest(base + "fault checksum-add 3\n", "t"));
    h = HeaderOf(off);
    EXPECT_EQ(SumHeaderWords(h.bytes), 0xFFFFFFFFu + 3u);
}

int RunMkdata(const fs::path& manifest, const fs::path& output, const fs::path& errors) {
    std::string command = VELDRA_MKDATA_EXE;  // appended: see Inspect in inspect_test.cpp
    command.append(" '").append(manifest.string()).append("' '").append(output.string());
    command.append("' 2>'").append(errors.string()).append("'");
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(MkdataTool, WritesTheFileOrLeavesTheOldOneAlone) {
    TempDir dir;
    const fs::path manifest = dir.path() / "m.manifest", output = dir.path() / "OUT.DAT";
    const fs::path errors = dir.path() / "errors.txt";
    WriteText(manifest, "name N\nentry sectors 0 fill 1 512\n");
    ASSERT_EQ(RunMkdata(manifest, output, errors), 0);
    const std::vector<BYTE> good = ReadAll(output);
    // As the format lays it out: the name at 16, the count at 84, entry 0 at
    // 256 (in use, size 512 at 258), the checksum at 2044, the payload.
    std::vector<BYTE> want(HDR_SIZE, 0);
    std::copy_n(kSignature, sizeof kSignature, want.begin());
    want[16] = 'N';
    want[84] = 1;
    want[256] = 1;
    want[258 + 1] = 0x02;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 2044; ++i) sum += std::uint32_t{want[i]} << (8 * (i % 4));
    for (int b = 0; b < 4; ++b) want[2044 + b] = BYTE((0xFFFFFFFFu - sum) >> (8 * b));
    want.resize(HDR_SIZE + 512, 1);
    EXPECT_EQ(good, want);

    WriteText(manifest, "name N\nentry sectors 0 fill 1 512\nentry sectors x\n");
    EXPECT_EQ(RunMkdata(manifest, output, errors), 2);
    EXPECT_EQ(ReadAll(errors), Bytes("veldra-mkdata: " + manifest.string() +
                                     ":3: expected a start sector, found 'x'\n"));
    EXPECT_EQ(ReadAll(output), good);

    EXPECT_EQ(RunMkdata(manifest, dir.path() / "no-such-dir" / "OUT.DAT", errors), 2);
    EXPECT_EQ(RunMkdata(dir.path() / "absent.manifest", output, errors), 2);
    // Nothing but what the test made: no temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

TEST(AtomicFile, FailedRenameLeavesNoTemporaryFile) {
    TempDir dir;
    fs::create_directory(dir.path() / "taken");
    fs::create_directory(dir.path() / "taken" / "inside");
    EXPECT_THROW(WriteFileAtomically(dir.path() / "taken", Bytes("data")), AtomicWriteError);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// Their names and media kinds are read at their offsets by the ready
// dialog's row in veldra_cli_test.cpp.
TEST(ExampleDataFiles, MatchTheirManifests) {
    const fs::path tavex = fs::path(VELDRA_EXAMPLE_MACHINE) / "C" / "TAVEX";
    const struct {
        const char* file;
        std::uint32_t baseSector;
        std::vector<BYTE> kinds;
    } cases[] = {
        {"NOVUSFD.DAT",
         0,
         {ENTRY_SECTORS_ABSOLUTE, ENTRY_ZERO_FILL, ENTRY_SECTORS, ENTRY_SECTORS, ENTRY_FILE,
          ENTRY_FILE}},
        {"NOVUSUSB.DAT", 2048, {ENTRY_SECTORS_ABSOLUTE, ENTRY_SECTORS, ENTRY_FILE}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::vector<BYTE> bytes = ReadAll(tavex / c.file);
        ASSERT_EQ(VerdictOf(bytes), HeaderVerdict::Valid);
        DataFileHeader h = HeaderOf(bytes);
        EXPECT_EQ(h.ContentKind(), CONTENT_LOGGED);
        EXPECT_EQ(h.BaseSector(), c.baseSector);
        EXPECT_NE(Ticks(h.FileStamp()), 0u);
        ASSERT_EQ(h.EntryCount(), c.kinds.size());
        for (std::size_t i = 0; i < c.kinds.size(); ++i) {
            DataFileEntry e = h.Entry(static_cast<int>(i));
            EXPECT_EQ(e.Kind, c.kinds[i]) << i;
            EXPECT_EQ(e.InUse, ENTRY_IN_USE) << i;
            if (i == 0) {
                EXPECT_EQ(e.Size, 512u);
            }
        }
    }
}

}  // namespace
}  // namespace veldra
