#include "tests/support/test_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/cp932.h"
#include "host/shell.h"
#include "sim/machine/sim_run.h"

namespace veldra::testing {

int RunResult::Count(const std::string& fragment) const {
    int count = 0;
    for (const std::string& line : lines) count += line.find(fragment) != std::string::npos;
    return count;
}

int RunResult::IndexOf(const std::string& fragment, int from) const {
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < lines.size(); ++i) {
        if (lines[i].find(fragment) != std::string::npos) return static_cast<int>(i);
    }
    return -1;
}

std::string RunResult::Text() const {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    if (!error.empty()) text += "(error: " + error + ")\n";
    return text;
}

std::string Sjis(const std::string& utf8) {
    auto converted = host::Utf8ToCp932(utf8);
    if (!converted) throw std::invalid_argument("no code page 932 form: " + utf8);
    return *converted;
}

// In one read at the file's size: a character at a time takes minutes for a
// stick image in the sanitizers' build, and a stream copy grows its buffer
// step by step and copies it once more at the end.
std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::string contents(static_cast<std::size_t>(in.tellg()), '\0');
    in.seekg(0);
    in.read(contents.data(), static_cast<std::streamsize>(contents.size()));
    contents.resize(static_cast<std::size_t>(in.gcount()));
    return contents;
}

std::string Mtools(const std::string& tool, const std::string& image, const std::string& args) {
    std::string out;
    host::Shell("MTOOLS_SKIP_CHECK=1 " + host::ToolPath(tool) + " -i " + image + " " + args, &out);
    return out;
}

static std::uint32_t Le32At(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | std::uint8_t(bytes[at + i]);
    return value;
}

// The header: entry count at 84, base sector at 213, 48-byte entries from
// 256 (in use, kind, size at 2, data offset at 6, start sector or file name
// at 18); payloads from 2048 on.
void ExpectMediumHolds(const std::string& data, const std::string& imagePath, Holds holds) {
    ASSERT_GE(data.size(), 2048u);
    std::string image = Slurp(imagePath), expected = image;
    std::uint32_t base = Le32At(data, 213);
    for (int i = 0; i < std::uint8_t(data[84]); ++i) {
        std::size_t at = 256 + 48 * std::size_t(i);
        std::uint8_t kind = std::uint8_t(data[at + 1]);
        std::uint32_t size = Le32At(data, at + 2), offset = Le32At(data, at + 6);
        if (data[at] != 1) continue;
        std::string payload =
            kind == 2 ? std::string(size, '\0') : data.substr(2048 + offset, size);
        if (kind == 1) {
            if (holds != Holds::Medium) continue;
            std::string name = data.substr(at + 18, data.find('\0', at + 18) - (at + 18));
            std::string medium = imagePath + (base ? "@@" + std::to_string(base * 512ull) : "");
            if (host::ToolPath("mtype").empty()) GTEST_SKIP() << "needs mtools";
            EXPECT_EQ(Mtools("mtype", medium, "::" + name), payload) << name;
            continue;
        }
        // The file copy changes the volume's sectors but its boot sector.
        std::uint64_t first = Le32At(data, at + 18) + (kind == 0x81 ? 0 : base);
        std::size_t bytes = kind == 0x81 || holds == Holds::ImagePass ? size / 512 * 512
                            : holds == Holds::Medium && first == base && kind == 0 ? 512
                                                                                   : 0;
        if (first * 512 + bytes > expected.size()) {
            ADD_FAILURE() << "entry " << i << " lies past the medium's end";
            continue;
        }
        expected.replace(first * 512, bytes, payload.substr(0, bytes));
    }
    for (std::size_t s = 0; s < image.size(); s += 512) {
        if (image.compare(s, 512, expected, s, 512) != 0) {
            ADD_FAILURE() << "sector " << s / 512 << " is not what the data file puts there";
            break;
        }
    }
}

TestMachine::TestMachine() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veldra-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    m_dir = pattern;
    std::filesystem::create_directories(m_dir / "C" / "TAVEX");
    m_system = {{"version", "5.1.2600"},
                {"platform", "2"},
                {"module", "C:\\TAVEX\\TAVEX.EXE"},
                {"clock", "2010-03-09 14:05:07"}};
    WriteMachineDescription();
}

TestMachine::~TestMachine() {
    std::error_code ec;
    // Read-only files and folders must not keep the directory alive.
    for (auto& entry : std::filesystem::recursive_directory_iterator(m_dir, ec)) {
        std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(m_dir, ec);
}

std::filesystem::path TestMachine::OnC(const std::string& relative) const {
    return m_dir / "C" / relative;
}

void TestMachine::SetSystem(const std::string& key, const std::string& value) {
    m_system[key] = value;
}

void TestMachine::WriteMachineDescription() const {
    std::ostringstream text;
    text << "[system]\n";
    for (const auto& [key, value] : m_system) text << key << " = " << value << "\n";
    text << "\n[drive C]\ntype = fixed\nroot = C\n\n";
    if (!m_pdfViewer.empty()) text << "[viewers]\n.pdf = " << m_pdfViewer << "\n\n";
    text << m_extraSections;
    std::ofstream(m_dir / "machine.ini", std::ios::binary) << text.str();
}

void TestMachine::WriteFile(const std::string& relativeOnC, const std::string& bytes) const {
    std::filesystem::path path = OnC(relativeOnC);
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string TestMachine::ReadFile(const std::string& relativeOnC) const {
    std::ifstream in(OnC(relativeOnC), std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

bool TestMachine::Exists(const std::string& relativeOnC) const {
    return std::filesystem::exists(OnC(relativeOnC));
}

void TestMachine::WriteIni(const std::vector<std::string>& lines) const {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    WriteFile("TAVEX/TAVEXMEDIA.INI", text);
}

void TestMachine::WriteDataFile(const std::string& relativeOnC, const DataFileSpec& model) const {
    std::vector<BYTE> bytes = BuildDataFile(model);
    WriteFile(relativeOnC, std::string(bytes.begin(), bytes.end()));
}

namespace {

DataFileSpec Program(const std::string& nameUtf8, BYTE mediaKind) {
    DataFileSpec model;
    model.programName = Sjis(nameUtf8);
    model.mediaKind = mediaKind;
    DataFileEntrySpec sectors;
    sectors.kind = ENTRY_SECTORS;
    sectors.payload.assign(512, 0xF6);
    DataFileEntrySpec file;
    file.kind = ENTRY_FILE;
    file.fileName = "README.TXT";
    const std::string text = "NOVUS-KT\r\n";
    file.payload.assign(text.begin(), text.end());
    model.entries = {sectors, file};
    return model;
}

}  // namespace

DataFileSpec TestMachine::FloppyProgram(const std::string& nameUtf8) {
    return Program(nameUtf8, 0);
}

DataFileSpec TestMachine::UsbProgram(const std::string& nameUtf8) {
    return Program(nameUtf8, MEDIA_USB);
}

void TestMachine::InstallPrograms(const std::vector<DataFileSpec>& programs, int fileNo) const {
    std::vector<std::string> ini = {"[FILE]", "FILES=" + std::to_string(programs.size())};
    for (std::size_t i = 0; i < programs.size(); ++i) {
        std::string name = "PROG" + std::to_string(i + 1) + ".DAT";
        WriteDataFile("TAVEX/" + name, programs[i]);
        ini.push_back("FILE" + std::to_string(i + 1) + "=" + name);
    }
    ini.push_back("FILENO=" + std::to_string(fileNo));
    WriteIni(ini);
}

RunResult TestMachine::Run(const std::string& actions, const std::vector<std::string>& tail) const {
    WriteMachineDescription();
    return RunIn(m_dir, actions, tail);
}

RunResult TestMachine::RunIn(const std::filesystem::path& dir, const std::string& actions,
                             const std::vector<std::string>& tail) {
    sim::MachineConfig config = sim::LoadMachineDescription(dir);
    sim::AppendCommandLineTail(config, tail);
    sim::Transcript transcript;
    RunResult result;
    sim::RunStats stats;
    result.exitCode = sim::RunProgram(config, sim::OperatorScript::Parse(actions), transcript,
                                      &result.error, &stats);
    result.sleptMs = stats.sleptMs;
    result.lines = transcript.Lines();
    // Whatever way the program ended, it gave back its heap and its handles.
    if (result.error.empty()) {
        EXPECT_EQ(stats.heapBlocksLeft, 0u) << result.Text();
        EXPECT_EQ(stats.handlesLeft, 0u) << result.Text();
    }
    return result;
}

}  // namespace veldra::testing
