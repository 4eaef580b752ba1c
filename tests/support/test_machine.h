// A simulated machine in a temporary directory, for tests: the tool installed
// in C:\TAVEX, a fixed clock, data files built on demand, and runs of the
// program in this process with their transcript.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tools/datafile/datafile_writer.h"

namespace veldra::testing {

struct RunResult {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string error;          // why the run stopped early, if it did
    std::uint64_t sleptMs = 0;  // on the machine's virtual clock

    bool Has(const std::string& fragment) const { return Count(fragment) > 0; }
    int Count(const std::string& fragment) const;
    // Index of the first line from `from` on holding fragment, or -1.
    int IndexOf(const std::string& fragment, int from = 0) const;
    std::string Text() const;  // all lines, for failure messages
};

class TestMachine {
public:
    TestMachine();
    ~TestMachine();
    TestMachine(const TestMachine&) = delete;
    TestMachine& operator=(const TestMachine&) = delete;

    const std::filesystem::path& Dir() const { return m_dir; }
    // The host path of a file on drive C, e.g. "TAVEX/TVLOG.TXT".
    std::filesystem::path OnC(const std::string& relative) const;

    // machine.ini: a key of [system], or whole extra sections (UTF-8).
    void SetSystem(const std::string& key, const std::string& value);
    void AddSection(const std::string& text) { m_extraSections += text + "\n"; }
    // The program the machine opens .pdf files with; empty: none at all.
    void SetPdfViewer(const std::string& name) { m_pdfViewer = name; }
    void WriteMachineDescription() const;

    void WriteFile(const std::string& relativeOnC, const std::string& bytes) const;
    std::string ReadFile(const std::string& relativeOnC) const;
    bool Exists(const std::string& relativeOnC) const;

    // TAVEXMEDIA.INI from lines joined with CR LF.
    void WriteIni(const std::vector<std::string>& lines) const;
    std::string Ini() const { return ReadFile("TAVEX/TAVEXMEDIA.INI"); }

    void WriteDataFile(const std::string& relativeOnC, const DataFileSpec& model) const;
    // A floppy or USB program with a sector entry and a file entry; name is UTF-8.
    static DataFileSpec FloppyProgram(const std::string& nameUtf8);
    static DataFileSpec UsbProgram(const std::string& nameUtf8);
    // TAVEXMEDIA.INI listing PROG1.DAT.. with the given programs.
    void InstallPrograms(const std::vector<DataFileSpec>& programs, int fileNo = 1) const;

    // Runs the program with the operator's actions and the command line tail.
    RunResult Run(const std::string& actions, const std::vector<std::string>& tail = {}) const;
    // The same on the machine description in dir, as it stands.
    static RunResult RunIn(const std::filesystem::path& dir, const std::string& actions,
                           const std::vector<std::string>& tail = {});

private:
    std::filesystem::path m_dir;
    std::map<std::string, std::string> m_system;
    std::string m_extraSections;
    std::string m_pdfViewer = "Test Viewer";
};

// UTF-8 to code page 932, for expectations on bytes.
std::string Sjis(const std::string& utf8);

// A host file's bytes; empty when it cannot be read.
std::string Slurp(const std::filesystem::path& path);
// What an mtools command prints about the image at a host path.
std::string Mtools(const std::string& tool, const std::string& image, const std::string& args);

// What a medium holds of a data file after a creation.
enum class Holds {
    Nothing,    // the image as it was (not checked here)
    Absolute,   // the absolute entries
    ImagePass,  // every sector entry and zero fill, as the first pass wrote them in order
    Medium,     // absolute entries, the volume's boot sector and the files (through mtype)
};
// Checks the image at imagePath against the data file's bytes, read at the
// format's own offsets, not through the program's reader.
void ExpectMediumHolds(const std::string& data, const std::string& imagePath, Holds holds);

}  // namespace veldra::testing
