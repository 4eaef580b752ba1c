// The Help button and the version dialog on a simulated machine.
#include <gtest/gtest.h>

#include <string>

#include "platform/win32_types.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

constexpr char kShellOpenManual[] = "shell open \"C:\\\\TAVEX\\\\TvMan.pdf\" -> ";
constexpr char kHelpFailed[] =
    "message box [no icon, OK] \"VELDRA\": \"ヘルプ(PDF)を表示できませんでした。\\r\\n"
    "お手数ですがAcrobat Readerをインストールしてください。\" -> OK";

// The value the shell returned on a transcript line, or 0 when it is not one.
int ShellResultOf(const std::string& line) {
    if (line.rfind(kShellOpenManual, 0) != 0) return 0;
    return std::stoi(line.substr(std::string(kShellOpenManual).size()));
}

class HelpAndVersion : public ::testing::Test {
protected:
    void SetUp() override {
        machine.InstallPrograms(
            {TestMachine::FloppyProgram("フロッピー版"), TestMachine::UsbProgram("USB版")});
    }
    void PlaceManual() const { machine.WriteFile("TAVEX/TvMan.pdf", "%PDF-1.4\n%%EOF\n"); }
    TestMachine machine;
};

TEST_F(HelpAndVersion, HelpHandsTheManualToTheShell) {
    PlaceManual();
    RunResult run = machine.Run("help, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    int shell = run.IndexOf(kShellOpenManual);
    ASSERT_GE(shell, 0) << run.Text();
    EXPECT_GT(ShellResultOf(run.lines[static_cast<std::size_t>(shell)]), 32) << run.Text();
    EXPECT_FALSE(run.Has("message box")) << run.Text();
}

TEST_F(HelpAndVersion, EachPressOpensTheManualAgain) {
    PlaceManual();
    RunResult run = machine.Run("help, help, help, exit");
    EXPECT_EQ(run.exitCode, 0) << run.Text();
    EXPECT_EQ(run.Count(kShellOpenManual), 3) << run.Text();
}

class HelpFails : public HelpAndVersion, public ::testing::WithParamInterface<bool> {};

TEST_P(HelpFails, SaysSoAndTheDialogCarriesOn) {
    bool manualPresent = GetParam();
    if (manualPresent) {
        PlaceManual();
        machine.SetPdfViewer("");
    }
    RunResult run = machine.Run("help, ok, program 2, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    int shell = run.IndexOf(kShellOpenManual);
    ASSERT_GE(shell, 0) << run.Text();
    EXPECT_LE(ShellResultOf(run.lines[static_cast<std::size_t>(shell)]), 32) << run.Text();
    int message = run.IndexOf(kHelpFailed);
    ASSERT_EQ(message, shell + 1) << run.Text();
    EXPECT_EQ(run.lines[static_cast<std::size_t>(message) + 1], "> program 2") << run.Text();
    EXPECT_GT(run.IndexOf("media kind: \"USBメモリ\""), message) << run.Text();
    EXPECT_TRUE(run.Has("dialog \"VELDRA\" closes (2)")) << run.Text();
}

INSTANTIATE_TEST_SUITE_P(ManualPresentWithoutViewer, HelpFails, ::testing::Values(false, true));

struct AboutCase {
    const char* action;
    int result;
};

void PrintTo(const AboutCase& c, std::ostream* os) {
    *os << c.action;
}

class VersionDialog : public HelpAndVersion, public ::testing::WithParamInterface<AboutCase> {};

TEST_P(VersionDialog, ShowsTheVersionAndEndsWithoutEndingTheMainDialog) {
    std::string action = GetParam().action;
    RunResult run = machine.Run("about, " + action + ", program 2, exit");
    ASSERT_EQ(run.exitCode, 0) << run.Text();
    int opens = run.IndexOf("dialog \"ﾊﾞｰｼﾞｮﾝ情報\" shown: \"VELDRA Version 2.00\"");
    int closes =
        run.IndexOf("dialog \"ﾊﾞｰｼﾞｮﾝ情報\" closes (" + std::to_string(GetParam().result) + ")");
    ASSERT_GE(opens, 0) << run.Text();
    EXPECT_EQ(run.IndexOf("dialog \"ﾊﾞｰｼﾞｮﾝ情報\" created"), run.IndexOf("> about") + 1)
        << run.Text();
    EXPECT_EQ(opens, run.IndexOf("> about") + 2) << run.Text();
    EXPECT_EQ(closes, run.IndexOf("> " + action) + 1) << run.Text();
    EXPECT_GT(run.IndexOf("media kind: \"USBメモリ\""), closes) << run.Text();
    EXPECT_EQ(run.Count("dialog \"VELDRA\" closes"), 1) << run.Text();
    EXPECT_GT(run.IndexOf("dialog \"VELDRA\" closes (2)"), run.IndexOf("> exit")) << run.Text();
}

INSTANTIATE_TEST_SUITE_P(Keys, VersionDialog,
                         ::testing::Values(AboutCase{"ok", IDOK}, AboutCase{"enter", IDOK},
                                           AboutCase{"esc", IDCANCEL}));

}  // namespace
}  // namespace veldra::testing
