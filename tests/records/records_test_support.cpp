#include "tests/records/records_test_support.h"

#include <gtest/gtest.h>

#include <fstream>

namespace veldra::testing {

std::string StopBox(const std::string& text) {
    return "message box [stop, OK] \"VELDRA\": \"" + text + "\" -> OK";
}

void ExpectEndsAfter(const RunResult& run, const std::string& message) {
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.Count("message box"), 1) << run.Text();
    int shown = run.IndexOf(StopBox(message));
    ASSERT_GE(shown, 0) << run.Text();
    EXPECT_EQ(run.IndexOf("dialog \"VELDRA\" closes"), shown + 1) << run.Text();
    EXPECT_FALSE(run.Has("program box: add")) << run.Text();
}

void MoveInstallationTo(TestMachine& machine, char letter, const std::string& driveKeys) {
    const std::string name(1, letter);
    std::filesystem::create_directories(machine.Dir() / name);
    std::filesystem::rename(machine.OnC("TAVEX"), machine.Dir() / name / "TAVEX");
    machine.AddSection("[drive " + name + "]\ntype = fixed\nroot = " + name + "\n" + driveKeys);
    machine.SetSystem("module", name + ":\\TAVEX\\TAVEX.EXE");
}

std::map<std::filesystem::path, std::string> DataFiles(const TestMachine& machine) {
    std::map<std::filesystem::path, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(machine.Dir())) {
        if (entry.path().extension() != ".DAT") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path()].assign(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

RunResult RunKeepingDataFiles(const TestMachine& machine, const std::string& actions,
                              const std::vector<std::string>& tail) {
    std::map<std::filesystem::path, std::string> before = DataFiles(machine);
    RunResult run = machine.Run(actions, tail);
    EXPECT_EQ(DataFiles(machine), before) << "a data file changed";
    return run;
}

}  // namespace veldra::testing
