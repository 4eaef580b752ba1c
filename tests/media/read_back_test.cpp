// Read-back verification on the example machine: its floppy and USB programs
// created with and without "VERIFY=1", on devices that silently corrupt one
// raw write or lose the medium once the files are written. Verification
// catches what the writes did not report; without it the same run reports
// success, as it always did.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/records/records_test_support.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kStatusFailed[] = "status: \"実行メディアの作成が失敗しました。\"";
constexpr char kStatusDone[] = "status: \"実行メディアの作成が完了しました。\"";

std::string Mismatch(const std::string& what) {
    return StopBox(what + " の検証中に相違が見つかりました。");
}

const std::string kReadError = StopBox("NOVUSFD.DAT の読み出し中エラーが発生しました。");
std::string Failing(int reads, const char* how) {
    return "[failing-reads]\nC:\\TAVEX\\NOVUSFD.DAT = " + std::to_string(reads) + " " + how + "\n";
}

struct VerifyRow {
    const char* what;
    bool verify;
    const char* device;  // the section the fault goes into; "": a section of its own
    std::string fault;   // a key of that section, or ""
    int program;         // 1: the floppy program, 2: the USB program
    std::string box;     // the one stop message, or "" for none
};

void PrintTo(const VerifyRow& row, std::ostream* out) {
    *out << row.what;
}

class ReadBack : public ::testing::TestWithParam<VerifyRow> {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veldra-verify-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = fs::path(pattern) / "machine";
        // The description, the tool's folder and the floppy; the stick and the
        // fixed disk are made anew and blank, whatever earlier runs of the
        // example machine left on its copies (the USB program brings its
        // own partition and file system).
        fs::path example = VELDRA_EXAMPLE_MACHINE;
        for (const char* part : {"machine.ini", "C", "media/floppy.img"}) {
            fs::create_directories((m_dir / part).parent_path());
            fs::copy(example / part, m_dir / part, fs::copy_options::recursive);
        }
        for (const char* blank : {"media/usb.img", "media/disk0.img"}) {
            std::ofstream(m_dir / blank).close();
            fs::resize_file(m_dir / blank, fs::file_size(example / blank));
        }
        fs::remove(m_dir / "C" / "TAVEX" / "TVLOG.TXT");
    }
    void TearDown() override { fs::remove_all(m_dir.parent_path()); }

    void Patch(const fs::path& file, const std::string& after, const std::string& added) {
        std::string text = Slurp(file);
        std::size_t at = text.find(after);
        ASSERT_NE(at, std::string::npos) << after;
        text.insert(at + after.size(), added);
        std::ofstream(file, std::ios::binary) << text;
    }

    fs::path m_dir;
};

TEST_P(ReadBack, FindsWhatTheWritesDidNotReport) {
    const VerifyRow& row = GetParam();
    fs::path tavex = m_dir / "C" / "TAVEX";
    if (row.verify) Patch(tavex / "TAVEXMEDIA.INI", "WRITERETRY=5\r\n", "VERIFY=1\r\n");
    // A lie nobody reads back is shown by a twin machine whose device tells
    // none, at the same fixed time.
    bool unread = !row.verify && row.fault.rfind("corrupt", 0) == 0;
    fs::path twin = m_dir.parent_path() / "twin";
    if (unread) {
        std::string ini = Slurp(m_dir / "machine.ini");
        std::size_t at = ini.find("clock = host");
        ASSERT_NE(at, std::string::npos);
        ini.replace(at, 12, "clock = 2011-06-15 10:20:30");
        std::ofstream(m_dir / "machine.ini", std::ios::binary) << ini;
        fs::copy(m_dir, twin, fs::copy_options::recursive);
    }
    if (*row.device) Patch(m_dir / "machine.ini", std::string(row.device) + "\n", row.fault);
    if (!*row.device) std::ofstream(m_dir / "machine.ini", std::ios::app) << row.fault;
    std::string floppyData = Slurp(tavex / "NOVUSFD.DAT");
    std::string usbData = Slurp(tavex / "NOVUSUSB.DAT");

    // The blank stick's root cannot be read (RAW): the question of files left
    // on it comes, and is answered OK.
    std::string script = "program " + std::to_string(row.program) + ", drive 1, create, yes" +
                         (row.program == 2 ? ", ok" : "") + (row.box.empty() ? "" : ", ok") +
                         ", exit";
    RunResult run = TestMachine::RunIn(m_dir, script);
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    if (unread) {
        // The fault fired: the medium differs from the twin's in one byte,
        // which the device stored inverted.
        ASSERT_EQ(TestMachine::RunIn(twin, script).exitCode, 0);
        const char* image = row.program == 2 ? "media/usb.img" : "media/floppy.img";
        std::string lied = Slurp(m_dir / image), told = Slurp(twin / image);
        ASSERT_EQ(lied.size(), told.size());
        std::vector<std::size_t> differ;
        for (std::size_t i = 0; i < lied.size(); ++i)
            if (lied[i] != told[i]) differ.push_back(i);
        ASSERT_EQ(differ.size(), 1u);
        EXPECT_EQ(static_cast<char>(~lied[differ[0]]), told[differ[0]]);
    }

    std::vector<std::string> stops;
    for (const std::string& line : run.lines) {
        if (line.rfind("message box [stop", 0) == 0) stops.push_back(line);
    }
    EXPECT_EQ(stops, row.box.empty() ? std::vector<std::string>{} : std::vector{row.box})
        << run.Text();
    bool failed = !row.box.empty();
    EXPECT_EQ(run.Has(kStatusFailed), failed) << run.Text();
    EXPECT_EQ(run.Has(kStatusDone), !failed) << run.Text();
    // A failed creation is not logged; the data files are only ever read.
    EXPECT_EQ(fs::exists(tavex / "TVLOG.TXT"), !failed);
    EXPECT_EQ(Slurp(tavex / "NOVUSFD.DAT"), floppyData);
    EXPECT_EQ(Slurp(tavex / "NOVUSUSB.DAT"), usbData);

    // A finished run has made every step its progress range counts, and what
    // it told true lies on the medium as the data file has it.
    if (!failed) {
        if (!unread) {
            ExpectMediumHolds(
                row.program == 2 ? usbData : floppyData,
                (m_dir / (row.program == 2 ? "media/usb.img" : "media/floppy.img")).string(),
                Holds::Medium);
        }
        std::string last;
        for (const std::string& line : run.lines) {
            if (line.rfind("progress: ", 0) == 0 && line.find('/') != std::string::npos &&
                line != "progress: 0/0")
                last = line.substr(10);
        }
        std::size_t slash = last.find('/');
        ASSERT_NE(slash, std::string::npos) << run.Text();
        EXPECT_EQ(last.substr(0, slash), last.substr(slash + 1)) << run.Text();
    }
}

const VerifyRow kRows[] = {
    {"CleanFloppy", true, "", "", 1, ""},
    {"CleanStick", true, "", "", 2, ""},
    // Entry 3's sector comes back altered; entry 1, the zero fill it lies in,
    // is not blamed for it.
    {"CorruptedSectorEntry", true, "[floppy 0]", "corrupt-writes = 4\n", 1, Mismatch("entry 3")},
    // The zero fill's first sector is written again by entry 2: the medium
    // ends up right, and verification says nothing.
    {"CorruptionOverwrittenByALaterEntry", true, "[floppy 0]", "corrupt-writes = 2\n", 1, ""},
    // The boot sector of the final pass.
    {"CorruptedFinalPass", true, "[floppy 0]", "corrupt-writes = 5\n", 1, Mismatch("entry 0")},
    // Unread, the lie stays: nothing writes that sector after it. (Entry 3's
    // altered sector lies where the file system writes again.)
    {"CorruptedFinalPassUnverified", false, "[floppy 0]", "corrupt-writes = 5\n", 1, ""},
    {"CorruptedStickChunk", true, "[disk 1]", "corrupt-writes = 3\n", 2, Mismatch("entry 1")},
    {"CorruptedStickChunkUnverified", false, "[disk 1]", "corrupt-writes = 3\n", 2, ""},
    {"CorruptedFile", true, "[floppy 0]", "corrupt-file-writes = 2\n", 1, Mismatch("NOVUS.CFG")},
    {"CorruptedFileUnverified", false, "[floppy 0]", "corrupt-file-writes = 2\n", 1, ""},
    // The files cannot be read back once the medium is gone.
    {"FilesUnreadable", true, "[floppy 0]", "pull-after-files = 2\n", 1, Mismatch("README.TXT")},
    // A write cut short or a seek gone astray is written again.
    {"ShortWriteDoneAgain", true, "[disk 1]", "short-transfers = 1\n", 2, ""},
    {"StraySeekDoneAgain", true, "[disk 1]", "stray-seeks = 2\n", 2, ""},
    {"ShortReadBack", true, "[disk 1]", "short-transfers = 5\n", 2, Mismatch("entry 1")},
    // The data file cut, lost with its share or failing once, after the
    // reads named: of the header, of entries 0, 2, 3, README.TXT, NOVUS.CFG.
    {"DataFileFailsOnceAtTheFirstEntry", false, "", Failing(3, "glitch"), 1, kReadError},
    {"DataFileLostAtASectorEntry", false, "", Failing(4, "lost"), 1, kReadError},
    {"DataFileLostAtAFileEntry", false, "", Failing(6, "lost"), 1, kReadError},
    {"DataFileCutAtAFileEntry", false, "", Failing(7, "cut"), 1, kReadError},
    {"DataFileCutAtTheFinalPass", false, "", Failing(8, "cut"), 1, kReadError},
    {"DataFileFailsOnceWhileVerifying", true, "", Failing(6, "glitch"), 1, kReadError},
    {"DataFileCutWhileVerifying", true, "", Failing(6, "cut"), 1, kReadError},
};

INSTANTIATE_TEST_SUITE_P(Rows, ReadBack, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace veldra::testing
