// The `veldra` command itself, run as a separate process on copies of the
// example machine: the ready dialog, installation runs, two instances on one
// machine, and the exit codes of what it refuses.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

namespace fs = std::filesystem;

void Spit(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// One veldra process: standard output through a pipe, standard error into a file.
class Veldra {
public:
    Veldra(const std::vector<std::string>& args, const fs::path& errorFile) {
        int out[2];
        if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
        m_pid = ::fork();
        if (m_pid < 0) throw std::runtime_error("fork failed");
        if (m_pid == 0) {
            int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            ::dup2(out[1], STDOUT_FILENO);
            ::dup2(err, STDERR_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::close(err);
            std::vector<char*> argv = {const_cast<char*>(VELDRA_EXE)};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            ::execv(VELDRA_EXE, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        m_out = ::fdopen(out[0], "r");
    }
    ~Veldra() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            Wait();
        }
    }
    Veldra(const Veldra&) = delete;
    Veldra& operator=(const Veldra&) = delete;

    // The next line of standard output without its newline; nothing at its end.
    std::optional<std::string> ReadLine() {
        char* line = nullptr;
        std::size_t capacity = 0;
        ssize_t length = ::getline(&line, &capacity, m_out);
        std::optional<std::string> text;
        if (length >= 0) {
            text = std::string(line, static_cast<std::size_t>(length));
            output += *text;
            if (!text->empty() && text->back() == '\n') text->pop_back();
        }
        std::free(line);
        return text;
    }

    // Reads the rest of the output and reaps the process: its exit code, or -1.
    int Wait() {
        while (ReadLine()) {
        }
        std::fclose(m_out);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    std::string output;  // all standard output read so far

private:
    pid_t m_pid = -1;
    FILE* m_out = nullptr;
};

struct Finished {
    int exitCode;
    std::string out;
    std::string err;
};

// A copy of the example machine in a temporary directory.
class VeldraCommand : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "veldra-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        fs::copy(VELDRA_EXAMPLE_MACHINE, Machine(), fs::copy_options::recursive);
        // Leftovers of someone's run of the build copy must not count here.
        fs::remove(Tavex() / "TVLOG.TXT");
        fs::remove_all(Machine() / ".objects");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(m_root, ec);
    }

    fs::path Machine() const { return m_root / "machine"; }
    fs::path Tavex() const { return Machine() / "C" / "TAVEX"; }
    fs::path ErrorFile() const { return m_root / "stderr.txt"; }

    Finished Run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--machine", Machine().string()});
        return RunBare(args);
    }
    Finished RunBare(const std::vector<std::string>& args) {
        Veldra veldra(args, ErrorFile());
        int code = veldra.Wait();
        return Finished{code, veldra.output, Slurp(ErrorFile())};
    }

    // Every file below the machine directory: its size and a digest of its
    // blocks that are not all zero, by offset: the fixed disk's image is a
    // sparse gigabyte, too much to hold twice.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(Machine())) {
            std::string name = fs::relative(entry.path(), Machine()).string();
            files[name] = entry.is_regular_file() ? Digest(entry.path()) : "(folder)";
        }
        return files;
    }
    static std::string Digest(const fs::path& file) {
        constexpr std::size_t kBlock = 1 << 16;
        std::ifstream in(file, std::ios::binary);
        std::string block(kBlock, '\0');
        const std::string zeros(kBlock, '\0');
        std::string digest = std::to_string(fs::file_size(file));
        for (std::uint64_t offset = 0; in; offset += kBlock) {
            in.read(block.data(), kBlock);
            std::string_view got(block.data(), static_cast<std::size_t>(in.gcount()));
            if (got == std::string_view(zeros).substr(0, got.size())) continue;
            digest += " " + std::to_string(offset) + ":" +
                      std::to_string(std::hash<std::string_view>{}(got));
        }
        return digest;
    }

    fs::path m_root;
};

std::vector<std::string> Lines(const std::string& text, const std::string& end) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t found; (found = text.find(end, start)) != std::string::npos;
         start = found + end.size()) {
        lines.push_back(text.substr(start, found - start));
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

TEST_F(VeldraCommand, ExitAtOnceShowsTheReadyDialogAndWritesTheSelectionBack) {
    std::string ini = Slurp(Tavex() / "TAVEXMEDIA.INI");
    std::size_t fileNo = ini.find("FILENO=");
    ASSERT_NE(fileNo, std::string::npos);
    ini.erase(fileNo, ini.find('\n', fileNo) + 1 - fileNo);
    Spit(Tavex() / "TAVEXMEDIA.INI", ini);

    Finished run = Run({"--do", "exit"});
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(run.err, "");
    // The name field at offset 16 (code page 932, ended by a NUL) and the
    // media kind at 83 (8: USB), as the example manifests give them.
    const struct {
        const char* file;
        std::string name;  // code page 932
        BYTE mediaKind;
        const char* shown;
    } files[] = {{"NOVUSFD.DAT", "NOVUS-KT \x83\x74\x83\x8D\x83\x62\x83\x73\x81\x5B\x94\xC5", 0,
                  "NOVUS-KT フロッピー版"},
                 {"NOVUSUSB.DAT", "NOVUS-KT USB\x94\xC5", 8, "NOVUS-KT USB版"}};
    for (const auto& f : files) {
        std::string bytes = Slurp(Tavex() / f.file);
        ASSERT_GE(bytes.size(), 2048u) << f.file;
        EXPECT_EQ(bytes.substr(16, f.name.size() + 1), f.name + '\0') << f.file;
        EXPECT_EQ(BYTE(bytes[83]), f.mediaKind) << f.file;
        EXPECT_NE(run.out.find("program box: add \"" + std::string(f.shown) + "\"\n"),
                  std::string::npos)
            << run.out;
    }
    // FILENO=1: the floppy program is selected.
    EXPECT_NE(run.out.find("media kind: \"フロッピーディスク\"\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("status: \"[メディア作成]ボタンをクリックし、実行メディアを作成して"
                           "ください。\"\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("create button: \"メディア作成(&M)\"\ncreate button: enabled\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(Slurp(Tavex() / "TAVEXMEDIA.INI").find("FILENO=1\r\n"), std::string::npos);
}

TEST_F(VeldraCommand, ScanPrintsWhatDriveDiscoveryFindsAndRunsNothing) {
    std::map<std::string, std::string> before = Snapshot();
    Finished run = Run({"--scan"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out,
              "A:  removable  floppy  device -    partition -    \"フロッピー ディスク ドライブ\"\n"
              "C:  fixed      disk    device 0    partition 1    \"VELDRA HARDDISK\"\n"
              "E:  removable  disk    device 1    partition 1    \"VELDRA Stick USB Device\"\n");
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(VeldraCommand, EachInstallationRunAppendsOneEntryToTheLog) {
    for (int run = 1; run <= 2; ++run) {
        Finished install = Run({"--", "/install"});
        ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
        EXPECT_EQ(install.out.find("\n> "), std::string::npos) << install.out;
        EXPECT_EQ(install.out.find("message box"), std::string::npos) << install.out;
        EXPECT_NE(install.out.find("dialog \"VELDRA\" closes"), std::string::npos) << install.out;

        std::string log = Slurp(Tavex() / "TVLOG.TXT");
        ASSERT_EQ(log.size() >= 2 ? log.substr(log.size() - 2) : log, "\r\n");
        std::vector<std::string> lines = Lines(log, "\r\n");
        ASSERT_EQ(lines.size(), static_cast<std::size_t>(3 * run)) << log;
        const std::string dateLabel = Sjis("  日時：");
        const std::regex date(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2})");
        for (std::size_t entry = 0; entry < lines.size(); entry += 3) {
            EXPECT_EQ(lines[entry], Sjis("◆VELDRAをインストールしました。"));
            ASSERT_EQ(lines[entry + 1].rfind(dateLabel, 0), 0u) << lines[entry + 1];
            EXPECT_TRUE(std::regex_match(lines[entry + 1].substr(dateLabel.size()), date))
                << lines[entry + 1];
            EXPECT_EQ(lines[entry + 2], Sjis("  インストール先：C:\\TAVEX"));
        }
    }
}

TEST_F(VeldraCommand, ASecondInstanceOnTheSameMachineOnlyBeeps) {
    fs::path flag = m_root / "flag";
    Veldra first({"--machine", Machine().string(), "--do", "wait-for " + flag.string() + ", exit"},
                 m_root / "first-stderr.txt");
    bool opened = false;
    while (auto line = first.ReadLine()) {
        if (line->find("dialog \"VELDRA\" shown") != std::string::npos) {
            opened = true;
            break;
        }
    }
    ASSERT_TRUE(opened) << first.output;

    Finished second = Run({"--do", "exit"});
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.out, "beep 0\n");

    Spit(flag, "");
    EXPECT_EQ(first.Wait(), 0) << first.output;
    EXPECT_NE(first.output.find("dialog \"VELDRA\" closes (2)"), std::string::npos) << first.output;
    EXPECT_EQ(first.output.find("beep"), std::string::npos) << first.output;
}

TEST_F(VeldraCommand, AMalformedMachineDescriptionIsRefusedBeforeAnythingRuns) {
    std::string description = Slurp(Machine() / "machine.ini");
    if (!description.empty() && description.back() != '\n') description += '\n';
    int badLine = static_cast<int>(std::count(description.begin(), description.end(), '\n')) + 1;
    Spit(Machine() / "machine.ini", description + "this line has no value\n");
    std::map<std::string, std::string> before = Snapshot();

    Finished run = Run({"--do", "exit"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(
        run.err.find((Machine() / "machine.ini").string() + ":" + std::to_string(badLine) + ":"),
        std::string::npos)
        << run.err;
    EXPECT_TRUE(Snapshot() == before) << "the machine directory changed";
    EXPECT_FALSE(fs::exists(Machine() / ".objects"));
}

class VeldraUsage : public VeldraCommand,
                    public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(VeldraUsage, ExitsWithTwoAndTheUsage) {
    std::vector<std::string> args = GetParam();
    for (std::string& arg : args) {
        if (arg == "MACHINE") arg = Machine().string();
    }
    Finished run = RunBare(args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("usage: veldra --machine DIR"), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, VeldraUsage,
    ::testing::Values(std::vector<std::string>{"--machine", "MACHINE", "--bogus"},
                      std::vector<std::string>{"--machine", "MACHINE", "--do", "fly away"},
                      std::vector<std::string>{"--do", "exit"},
                      std::vector<std::string>{"--machine"}));

TEST_F(VeldraCommand, AnUnknownArgumentIsNamed) {
    Finished run = Run({"--bogus"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("unknown argument '--bogus'"), std::string::npos) << run.err;
}

TEST_F(VeldraCommand, AScriptThatEndsWhileAMessageBoxWaitsExitsWithThree) {
    fs::remove(Tavex() / "TvMan.pdf");
    Finished run = Run({"--do", "help"});
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_NE(run.out.find("message box [no icon, OK] \"VELDRA\": \"ヘルプ(PDF)"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.err.find("the script ran out while a message box waits for an answer"),
              std::string::npos)
        << run.err;
}

TEST_F(VeldraCommand, ActionsLeftWhenTheProgramEndsAreNotedButNoError) {
    Finished run = Run({"--do", "exit, help, exit"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.err.find("2 action(s) of the script were not used"), std::string::npos)
        << run.err;
}

}  // namespace
}  // namespace veldra::testing
