// veldra-inspect: what it prints of a data file, and for a file the program
// refuses the check that fails and the message the operator would see.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "host/cp932.h"
#include "tools/datafile/datafile_writer.h"

namespace veldra {
namespace {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "inspect-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

struct Output {
    int exitCode = -1;
    std::string text;
};

Output Inspect(const std::string& args, const fs::path& capture) {
    // Appended piece by piece: GCC 12 warns falsely (-Warray-bounds) on one
    // long chain of + that starts from a literal of this path's length.
    std::string command = VELDRA_INSPECT_EXE;
    command += " " + args + " >'" + capture.string() + "' 2>/dev/null";
    int status = std::system(command.c_str());
    std::ifstream in(capture, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text.str()};
}

void Write(const fs::path& path, const std::vector<BYTE>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

DataFileEntrySpec Entry(BYTE kind, std::uint32_t start, std::size_t payload) {
    DataFileEntrySpec e;
    e.kind = kind;
    e.startSector = start;
    e.payload.assign(payload, 0x5A);
    return e;
}

// A USB program: MBR, one relative sector run, a zero fill and a file.
DataFileSpec Example() {
    DataFileSpec s;
    s.programName = *host::Utf8ToCp932("NOVUS-KT USB版");
    s.mediaKind = MEDIA_USB;
    s.baseSector = 2048;
    s.fileStamp = FILETIME{0xB670E800u, 0x01C417C7u};  // 2004-04-01 09:00:00
    s.entries.push_back(Entry(ENTRY_SECTORS_ABSOLUTE, 0, 512));
    s.entries.push_back(Entry(ENTRY_SECTORS, 0, 1024));
    DataFileEntrySpec zero = Entry(ENTRY_ZERO_FILL, 2, 0);
    zero.size = 8192;
    s.entries.push_back(zero);
    DataFileEntrySpec file = Entry(ENTRY_FILE, 0, 10);
    file.fileName = *host::Utf8ToCp932("設定.CFG");
    file.fileTime = s.fileStamp;
    s.entries.push_back(file);
    return s;
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(Inspect, ShowsWhatAnAcceptedFileHolds) {
    TempDir dir;
    Write(dir / "USB.DAT", BuildDataFile(Example()));
    Output text = Inspect((dir / "USB.DAT").string(), dir / "out");
    EXPECT_EQ(text.exitCode, 0);
    for (const char* line :
         {"program name  NOVUS-KT USB版\n", "media kind    usb (0x08)\n",
          "stamp         2004-04-01 09:00:00\n", "base sector   2048\n", "entry count   4\n",
          "#0  in-use 1  absolute (0x81)  size 512  offset 0  first sector 0 (absolute)  sectors "
          "1\n",
          "#1  in-use 1  sectors (0x00)  size 1024  offset 512  first sector 0 (relative: sector "
          "2048)  sectors 2\n",
          "#2  in-use 1  zero-fill (0x02)  size 8192  offset 0  first sector 2 (relative: sector "
          "2050)  sectors 16\n",
          "#3  in-use 1  file (0x01)  size 10  offset 1536  name 設定.CFG  time 2004-04-01 "
          "09:00:00\n",
          "\naccepted\n"}) {
        EXPECT_TRUE(Has(text.text, line)) << line << "\nin\n" << text.text;
    }
    Output json = Inspect("--json " + (dir / "USB.DAT").string(), dir / "out");
    EXPECT_EQ(json.exitCode, 0);
    for (const char* key :
         {"\"program_name\":\"NOVUS-KT USB版\"", "\"media_kind\":\"usb\",\"media_kind_byte\":8",
          "\"stamp\":\"2004-04-01 09:00:00\"", "\"base_sector\":2048", "\"checksum_valid\":true",
          "\"addressing\":\"relative\",\"device_sector\":2048,\"sector_count\":2",
          "\"name\":\"設定.CFG\"", "\"accepted\":true,\"check\":\"none\",\"entry\":null",
          "\"message_id\":null"}) {
        EXPECT_TRUE(Has(json.text, key)) << key << "\nin\n" << json.text;
    }
    EXPECT_EQ(json.text.front(), '{');
    EXPECT_EQ(json.text.substr(json.text.size() - 2), "}\n");
}

TEST(Inspect, NamesTheFailingCheckAndTheMessage) {
    TempDir dir;
    auto damaged = [](auto change) {
        DataFileSpec s = Example();
        change(s);
        return BuildDataFile(s);
    };
    const std::string broken = "は壊れています。";
    const struct {
        std::string name;
        std::vector<BYTE> bytes;
        std::string check;
        int entry;
        int messageId;
        std::string message;
    } rows[] = {
        {"SUM.DAT", damaged([](DataFileSpec& s) { s.faults.checksumAdd = 1; }), "checksum", -1, 108,
         "SUM.DAT " + broken},
        {"PAST.DAT", damaged([](DataFileSpec& s) { s.entries[1].dataOffset = 0x10000; }),
         "payload-extent", 1, 108, "PAST.DAT " + broken},
        {"MANY.DAT", damaged([](DataFileSpec& s) { s.faults.entryCount = 38; }), "entry-count", -1,
         108, "MANY.DAT " + broken},
        {"NAME.DAT", damaged([](DataFileSpec& s) { s.entries[3].fileName = "SUB\\A.CFG"; }),
         "file-name", 3, 108, "NAME.DAT " + broken},
        {"FAR.DAT", damaged([](DataFileSpec& s) { s.entries[2].startSector = 0xFFFFF800u; }),
         "sector-range", 2, 108, "FAR.DAT " + broken},
        {"SIG.DAT", damaged([](DataFileSpec& s) { s.faults.signature = "NOVUS-KT DATB"; }),
         "signature", -1, 105, "SIG.DAT はデータファイルではありません。"},
        {"SHORT.DAT", damaged([](DataFileSpec& s) { s.faults.truncateTo = 2047; }), "length", -1,
         105, "SHORT.DAT はデータファイルではありません。"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Write(dir / row.name, row.bytes);
        Output text = Inspect((dir / row.name).string(), dir / "out");
        EXPECT_EQ(text.exitCode, 1);
        EXPECT_TRUE(Has(text.text, "\nrefused       " + row.check + ": ")) << text.text;
        if (row.entry >= 0) {
            EXPECT_TRUE(Has(text.text, ": entry " + std::to_string(row.entry) + ": ")) << text.text;
        }
        EXPECT_TRUE(Has(text.text, "\nmessage       " + std::to_string(row.messageId) + " " +
                                       row.message + "\n"))
            << text.text;

        Output json = Inspect("--json " + (dir / row.name).string(), dir / "out");
        EXPECT_EQ(json.exitCode, 1);
        std::string entry = row.entry >= 0 ? std::to_string(row.entry) : "null";
        EXPECT_TRUE(Has(json.text, "\"accepted\":false,\"check\":\"" + row.check + "\",\"entry\":" +
                                       entry + ",\"message_id\":" + std::to_string(row.messageId) +
                                       ",\"message\":\"" + row.message + "\"}"))
            << json.text;
    }

    Output missing = Inspect("--json " + (dir / "NONE.DAT").string(), dir / "out");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(Has(missing.text,
                    "\"file_size\":null,\"header\":null,\"accepted\":false,"
                    "\"check\":\"open\",\"entry\":null,\"message_id\":103,"
                    "\"message\":\"NONE.DAT が開けません。\"}"))
        << missing.text;
}

TEST(Inspect, UsageErrorsExitWith2) {
    TempDir dir;
    Write(dir / "A.DAT", BuildDataFile(Example()));
    const std::string file = (dir / "A.DAT").string();
    for (const std::string& args : {std::string(), file + " " + file, "--xml " + file}) {
        EXPECT_EQ(Inspect(args, dir / "out").exitCode, 2) << args;
    }
}

}  // namespace
}  // namespace veldra
