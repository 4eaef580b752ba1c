// veldra-mkdata from images: the entries, laid back onto a blank image the way
// the writer lays them, give back the image; what the format cannot hold is
// refused without an output file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/cp932.h"
#include "records/data_file_format.h"
#include "tools/datafile/image_source.h"

namespace veldra {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kSector = 512;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "mkimage-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

std::vector<BYTE> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    return {text.begin(), text.end()};
}

void WriteAll(const fs::path& path, const std::vector<BYTE>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::string Quoted(const std::string& word) {
    std::string out = "'";
    for (char c : word) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

int Shell(const std::vector<std::string>& words, const fs::path& errors = "/dev/null") {
    std::string command;
    for (const std::string& w : words) command += Quoted(w) + " ";
    command += ">/dev/null 2>" + Quoted(errors.string());
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int Mkdata(std::vector<std::string> args, const fs::path& errors = "/dev/null") {
    args.insert(args.begin(), VELDRA_MKDATA_EXE);
    return Shell(args, errors);
}

// What the writer leaves on a medium of `sectors` sectors of `blank` bytes:
// every sector entry at StartSector (plus BaseSector unless absolute), whole
// sectors only; zero fills as zeros. Files go through the file system and are
// not laid here.
std::vector<BYTE> LayOut(const std::vector<BYTE>& file, std::uint64_t sectors, BYTE blank = 0) {
    std::vector<BYTE> medium(sectors * kSector, blank);
    DataFileHeader h;
    std::copy_n(file.begin(), HDR_SIZE, h.bytes.begin());
    for (int i = 0; i < h.EntryCount(); ++i) {
        DataFileEntry e = h.Entry(i);
        if (e.InUse != ENTRY_IN_USE || e.Kind == ENTRY_FILE) continue;
        std::uint64_t first = e.StartSector;
        if (e.Kind != ENTRY_SECTORS_ABSOLUTE) first += h.BaseSector();
        std::uint64_t bytes = e.Size / kSector * kSector;
        EXPECT_LE(first * kSector + bytes, medium.size()) << "entry " << i;
        if (first * kSector + bytes > medium.size()) continue;
        auto at = medium.begin() + static_cast<std::ptrdiff_t>(first * kSector);
        if (e.Kind == ENTRY_ZERO_FILL) {
            std::fill_n(at, bytes, BYTE{0});
        } else {
            std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(HDR_SIZE + e.DataOffset), bytes,
                        at);
        }
    }
    return medium;
}

void ExpectSameImage(const std::vector<BYTE>& laid, const std::vector<BYTE>& image) {
    ASSERT_EQ(laid.size(), image.size());
    auto [a, b] = std::mismatch(laid.begin(), laid.end(), image.begin());
    EXPECT_TRUE(a == laid.end()) << "first difference in sector " << (a - laid.begin()) / kSector;
}

std::uint64_t Ticks(const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

int CountKind(const DataFileHeader& h, BYTE kind) {
    int n = 0;
    for (int i = 0; i < h.EntryCount(); ++i) n += h.Entry(i).Kind == kind;
    return n;
}

std::vector<BYTE> Random(std::size_t n, unsigned seed) {
    std::vector<BYTE> bytes(n);
    for (BYTE& b : bytes) b = static_cast<BYTE>((seed = seed * 1103515245u + 12345u) >> 16) | 1;
    return bytes;
}

// A file with a long run of zeros inside, so its clusters hold a zero fill.
std::vector<BYTE> WithHole(unsigned seed) {
    std::vector<BYTE> bytes = Random(3000, seed);
    bytes.resize(3000 + 8192, 0);
    std::vector<BYTE> tail = Random(3000, seed + 1);
    bytes.insert(bytes.end(), tail.begin(), tail.end());
    return bytes;
}

void AddToFat(const std::string& image, const fs::path& file, const std::string& name) {
    ASSERT_EQ(
        Shell({"env", "MTOOLS_SKIP_CHECK=1", "mcopy", "-i", image, file.string(), "::" + name}), 0)
        << "mcopy (mtools; scripts/install-deps.sh installs it)";
}

TEST(MkdataFromImage, AFloppyComesBackSectorForSector) {
    TempDir dir;
    const fs::path image = dir / "floppy.img", out = dir / "OUT.DAT", note = dir / "note.txt";
    ASSERT_EQ(Shell({"mkfs.fat", "-C", image.string(), "1440"}), 0)
        << "mkfs.fat (dosfstools; scripts/install-deps.sh installs it)";
    WriteAll(dir / "r.bin", Random(20000, 1));
    WriteAll(dir / "holes.bin", WithHole(2));
    WriteAll(note, {'h', 'i', '\r', '\n'});
    AddToFat(image.string(), dir / "r.bin", "R.BIN");
    AddToFat(image.string(), dir / "holes.bin", "HOLES.BIN");

    ASSERT_EQ(Mkdata({"--from-floppy", image.string(), "--name", "NOVUS-KT テスト", "--stamp",
                      "2004-04-01 09:00:00", "--content-kind", "3", "--file",
                      "メモ.TXT=" + note.string() + "@2004-03-15 12:30:00", "--file",
                      "B.TXT=" + note.string(), out.string()}),
              0);
    std::vector<BYTE> file = ReadAll(out), original = ReadAll(image);
    ASSERT_EQ(CheckDataFileHeader(file, file.size(), DATA_FILE_SIGNATURE), HeaderVerdict::Valid);
    ExpectSameImage(LayOut(file, original.size() / kSector), original);
    EXPECT_LT(file.size(), original.size() / 10);  // the free space went into zero fills

    DataFileHeader h;
    std::copy_n(file.begin(), HDR_SIZE, h.bytes.begin());
    EXPECT_EQ(h.ProgramName(), host::Utf8ToCp932("NOVUS-KT テスト"));
    EXPECT_EQ(h.MediaKind(), 0);
    EXPECT_EQ(h.ContentKind(), 3);
    EXPECT_EQ(h.BaseSector(), 0u);
    EXPECT_EQ(Ticks(h.FileStamp()), 0x01C417C7B670E800u);
    DataFileEntry boot = h.Entry(0);
    EXPECT_EQ(boot.Kind, ENTRY_SECTORS_ABSOLUTE);
    EXPECT_EQ(boot.StartSector, 0u);
    EXPECT_EQ(boot.Size, kSector);
    EXPECT_GE(CountKind(h, ENTRY_ZERO_FILL), 3);  // the two FATs' tails, the hole, the free space
    EXPECT_EQ(CountKind(h, ENTRY_SECTORS_ABSOLUTE), 1);

    ASSERT_EQ(CountKind(h, ENTRY_FILE), 2);
    DataFileEntry memo = h.Entry(h.EntryCount() - 2), plain = h.Entry(h.EntryCount() - 1);
    EXPECT_EQ(memo.FileName, host::Utf8ToCp932("メモ.TXT"));
    EXPECT_EQ(Ticks(memo.FileTime), 0x01C40A893B9A9400u);  // 2004-03-15 12:30:00
    EXPECT_EQ(plain.FileName, "B.TXT");
    EXPECT_EQ(Ticks(plain.FileTime), Ticks(h.FileStamp()));
    EXPECT_EQ(plain.Size, 4u);
    EXPECT_EQ(file[HDR_SIZE + plain.DataOffset + 1], 'i');
}

TEST(MkdataFromImage, ADiskWithAFatPartitionComesBackWhole) {
    TempDir dir;
    const fs::path image = dir / "disk.img", out = dir / "USB.DAT";
    constexpr std::uint32_t kStart = 2048, kCount = 32768;
    std::vector<BYTE> disk((kStart + kCount) * std::size_t{kSector}, 0);
    std::fill_n(disk.begin(), 440, BYTE{0xFA});  // boot code
    BYTE* entry = &disk[446 + 16];               // the second slot: the first is empty
    entry[0] = 0x80;
    entry[4] = 0x06;  // FAT16
    WriteLe32(entry + 8, kStart);
    WriteLe32(entry + 12, kCount);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    WriteAll(image, disk);
    ASSERT_EQ(Shell({"mkfs.fat", "-F", "16", "--offset", std::to_string(kStart), image.string(),
                     std::to_string(kCount / 2)}),
              0);
    WriteAll(dir / "r.bin", Random(70000, 3));
    AddToFat(image.string() + "@@" + std::to_string(kStart * kSector), dir / "r.bin", "R.BIN");

    ASSERT_EQ(Mkdata({"--from-disk", image.string(), "--name", "USB", out.string()}), 0);
    std::vector<BYTE> file = ReadAll(out), original = ReadAll(image);
    ASSERT_EQ(CheckDataFileHeader(file, file.size(), DATA_FILE_SIGNATURE), HeaderVerdict::Valid);
    ExpectSameImage(LayOut(file, original.size() / kSector), original);

    DataFileHeader h;
    std::copy_n(file.begin(), HDR_SIZE, h.bytes.begin());
    EXPECT_EQ(h.MediaKind(), MEDIA_USB);
    EXPECT_EQ(h.BaseSector(), 0u);
    EXPECT_EQ(h.Entry(0).Kind, ENTRY_SECTORS_ABSOLUTE);
    EXPECT_EQ(h.Entry(1).Kind, ENTRY_ZERO_FILL);  // the gap before the partition
    EXPECT_EQ(file.size() % kSector, 0u);
    EXPECT_LT(file.size(), 200'000u);
}

// Disk images as producers have them: the MBR's entries say where the data
// file ends, never what it leaves out. Every sector up to the end of the last
// partition or of the last data is laid down; what follows is not touched.
TEST(MkdataFromImage, ADiskImageIsTakenWhole) {
    struct Partition {
        BYTE type;
        std::uint32_t start, count;
    };
    const struct {
        std::string what;
        std::vector<Partition> partitions;
        std::vector<std::uint32_t> data;  // sectors besides the MBR that hold data
        std::uint32_t end;                // one past the last sector laid down
    } rows[] = {
        // memtest86+'s layout, the type-0 entry here reaching past the image.
        {"a type-0 entry with a size", {{0x00, 0, 200}, {0xEF, 40, 16}}, {16, 17, 30, 45}, 56},
        // iPXE: one partition over the whole image, the MBR included.
        {"a partition from sector 0", {{0x17, 0, 60}}, {16, 17, 50}, 60},
        {"overlapping partitions", {{0x0C, 8, 40}, {0x83, 20, 30}}, {10, 25}, 50},
        {"data in a gap between partitions", {{0x06, 8, 8}, {0x83, 40, 8}}, {30}, 48},
        {"data after the last partition", {{0x06, 8, 8}}, {60}, 61},
    };
    constexpr std::uint32_t kSectors = 64;
    TempDir dir;
    const fs::path image = dir / "disk.img", out = dir / "USB.DAT";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::vector<BYTE> disk(kSectors * kSector, 0);
        for (std::size_t i = 0; i < row.partitions.size(); ++i) {
            BYTE* entry = &disk[446 + 16 * i];
            entry[4] = row.partitions[i].type;
            WriteLe32(entry + 8, row.partitions[i].start);
            WriteLe32(entry + 12, row.partitions[i].count);
        }
        disk[510] = 0x55;
        disk[511] = 0xAA;
        for (std::uint32_t s : row.data) {
            std::vector<BYTE> bytes = Random(kSector, s);
            std::copy(bytes.begin(), bytes.end(), disk.begin() + s * kSector);
        }
        WriteAll(image, disk);

        ASSERT_EQ(Mkdata({"--from-disk", image.string(), "--name", "USB", out.string()}), 0);
        std::vector<BYTE> file = ReadAll(out);
        ASSERT_EQ(CheckDataFileHeader(file, file.size(), DATA_FILE_SIGNATURE),
                  HeaderVerdict::Valid);
        std::vector<BYTE> laid = LayOut(file, kSectors, 0xEE);
        std::vector<BYTE> expected(disk.begin(), disk.begin() + row.end * kSector);
        expected.resize(disk.size(), 0xEE);
        ExpectSameImage(laid, expected);
    }
}

TEST(MkdataFromImage, ZeroRunsBelowTheMinimumStayInTheData) {
    // '0' a zero sector, 'x' data; runs as first:count, z for zero runs.
    const struct {
        std::string sectors;
        std::uint64_t minimum;
        std::vector<SectorRun> runs;
        std::size_t entries = 36;  // the most runs that fit
    } rows[] = {
        {"", 8, {}},
        {"xxx", 8, {{100, 3, false}}},
        {"0000000", 8, {{100, 7, false}}},
        {"00000000", 8, {{100, 8, true}}},
        {"x0000000x", 8, {{100, 9, false}}},
        {"x00000000xx00000000",
         8,
         {{100, 1, false}, {101, 8, true}, {109, 2, false}, {111, 8, true}}},
        {"x0x00x", 2, {{100, 3, false}, {103, 2, true}, {105, 1, false}}},
        // More zero runs than the entries allow: the shortest go into the data.
        {"x00x000x0000x", 2, {{100, 8, false}, {108, 4, true}, {112, 1, false}}, 3},
        // Zero runs at both ends have no data run beyond them: three fit in three.
        {"00x0x00", 2, {{100, 2, true}, {102, 3, false}, {105, 2, true}}, 3},
    };
    for (const auto& row : rows) {
        std::vector<bool> zero;
        for (char c : row.sectors) zero.push_back(c == '0');
        EXPECT_EQ(PlanSectorRuns(zero, 100, row.minimum, row.entries), row.runs)
            << row.sectors << " in " << row.entries;
    }
    // One zero fill's Size holds at most ENTRY_MAX_SECTORS sectors.
    std::vector<SectorRun> split =
        PlanSectorRuns(std::vector<bool>(ENTRY_MAX_SECTORS + 5, true), 0, 8, 36);
    EXPECT_EQ(split,
              (std::vector<SectorRun>{{0, ENTRY_MAX_SECTORS, true}, {ENTRY_MAX_SECTORS, 5, true}}));
}

TEST(MkdataFromImage, RefusesWhatTheFormatCannotHold) {
    TempDir dir;
    const fs::path floppy = dir / "small.img", note = dir / "note.txt";
    std::vector<BYTE> small(16 * kSector, 0);
    small[0] = 0xEB;
    WriteAll(floppy, small);
    WriteAll(note, {'x'});
    std::vector<BYTE> odd(1000, 1);
    WriteAll(dir / "odd.img", odd);
    // Data sectors 8 zero sectors apart: one entry each, 80 in all.
    std::vector<BYTE> scattered(40 * 9 * kSector, 0);
    for (std::size_t s = 0; s < scattered.size(); s += 9 * kSector) scattered[s] = 1;
    WriteAll(dir / "scattered.img", scattered);
    std::vector<BYTE> far(kSector, 0);
    far[446 + 4] = 0x06;
    WriteLe32(&far[446 + 8], 0xFFFFF000u);
    WriteLe32(&far[446 + 12], 0x2000);
    far[510] = 0x55;
    far[511] = 0xAA;
    WriteAll(dir / "far.img", far);
    {
        std::ofstream(dir / "huge.bin").put('x');
        fs::resize_file(dir / "huge.bin", std::uint64_t{1} << 32);  // sparse: nothing is read
    }

    // Manifests the program's reader would refuse: one per check, a damage
    // asked for hiding neither this nor another.
    auto manifest = [&dir](const std::string& file, const std::string& text) {
        WriteAll(dir / file, std::vector<BYTE>(text.begin(), text.end()));
        return std::vector<std::string>{(dir / file).string()};
    };
    const std::string refused = "; the program would refuse the data file as broken (message 108)";
    const std::string name = "--name", N = "N";
    std::vector<std::string> filling = {"--from-floppy", (dir / "scattered.img").string(), name, N};
    for (int i = 1; i <= 36; ++i) {
        filling.insert(filling.end(),
                       {"--file", "F" + std::to_string(i) + ".TXT=" + note.string()});
    }
    const struct {
        std::vector<std::string> args;
        std::string message;
    } rows[] = {
        {{"--from-floppy", (dir / "odd.img").string(), name, N},
         "not a whole number of 512-byte sectors"},
        {filling,
         "scattered.img: sectors 1 to 359 would be left without an entry: sector 0 and 36 files "
         "take all 37 (each --file takes one)"},
        {{"--from-floppy", floppy.string(), name, std::string(65, 'P')},
         "program name is 65 bytes; at most 64 fit"},
        {{"--from-floppy", floppy.string(), name, N, "--file", "CON=" + note.string()},
         "not a plain file name in the root directory"},
        {{"--from-floppy", floppy.string(), name, N, "--file", "SUB\\A.TXT=" + note.string()},
         "not a plain file name in the root directory"},
        {{"--from-floppy", floppy.string(), name, N, "--file",
          std::string(26, 'F') + ".TXT=" + note.string()},
         "the name is 30 bytes in code page 932; at most 29 fit"},
        {{"--from-disk", (dir / "far.img").string(), name, N}, "past 2^32"},
        {{"--from-floppy", floppy.string(), name, N, "--file",
          "HUGE.BIN=" + (dir / "huge.bin").string()},
         "a data file holds at most 4294967295"},
        {{"--from-floppy", floppy.string()}, "--name is required"},
        {{"--from-floppy", floppy.string(), name, N, "--stamp", "2107-12-31 15:00:00"},
         "--stamp: 2107-12-31 15:00:00 lies outside the times FAT holds, 1979-12-31 15:00:00 to "
         "2107-12-31 14:59:58 (UTC) at +09:00"},
        {{"--from-floppy", floppy.string(), name, N, "--stamp", "1980-01-01 04:59:59",
          "--time-zone", "-05:00"},
         "--stamp: 1980-01-01 04:59:59 lies outside the times FAT holds, 1980-01-01 05:00:00 to "
         "2108-01-01 04:59:58 (UTC) at -05:00"},
        {{"--from-floppy", floppy.string(), name, N, "--file",
          "NOTE.TXT=" + note.string() + "@2108-01-01 00:00:00"},
         "--file NOTE.TXT: 2108-01-01 00:00:00 lies outside the times FAT holds"},
        {manifest("colon.manifest", "name \"f$uzzeed\"\nentry file A:B.TXT text x\n"),
         "colon.manifest:2: entry 0 (file 'A:B.TXT'): not a plain file name in the root"},
        {manifest("con.manifest", "name N\nfault checksum-add 1\nentry file CON.TXT text x\n"),
         "con.manifest:3: entry 0 (file 'CON.TXT'): not a plain file name in the root"},
        {manifest("far.manifest", "name N\nbase-sector 0xFFFFFFFF\nentry sectors 1 text x\n"),
         "far.manifest:3: entry 0 (first sector 1): its sectors reach past sector 2^32" + refused +
             "; 'fault sector-range' writes it anyway"},
        {manifest("past.manifest", "name N\nentry sectors 0 text x size 2\nfault file-name\n"),
         "past.manifest:2: entry 0 (first sector 0): its payload runs past the end of the file" +
             refused + "; 'fault payload-extent' writes it anyway"},
    };
    const fs::path out = dir / "OUT.DAT", errors = dir / "errors.txt";
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message);
        std::vector<std::string> args = row.args;
        args.push_back(out.string());
        EXPECT_EQ(Mkdata(args, errors), 2);
        std::vector<BYTE> said = ReadAll(errors);
        std::string text(said.begin(), said.end());
        EXPECT_EQ(text.rfind("veldra-mkdata: ", 0), 0u) << text;
        EXPECT_NE(text.find(row.message), std::string::npos) << text;
        EXPECT_FALSE(fs::exists(out));
    }
    // The same image and options within the limits make a file.
    EXPECT_EQ(Mkdata({"--from-floppy", floppy.string(), name, std::string(64, 'P'), "--file",
                      std::string(25, 'F') + ".TXT=" + note.string() + "@1979-12-31 15:00:00",
                      "--stamp", "2107-12-31 14:59:58", out.string()}),
              0);
    // The scattered floppy's 40 zero runs and 39 data runs between them are
    // merged, the first run first, until sector 0 and the runs take 37 entries.
    ASSERT_EQ(Mkdata({"--from-floppy", (dir / "scattered.img").string(), name, N, out.string()}),
              0);
    std::vector<BYTE> merged = ReadAll(out);
    ExpectSameImage(LayOut(merged, scattered.size() / kSector), scattered);
    EXPECT_EQ(merged[HDR_OFFSET_ENTRY_COUNT], 37);
}

}  // namespace
}  // namespace veldra
