// The simulated desktop's rules for a handler that takes its time: when a
// control's change reaches the screen, when the window turns into its
// "not responding" ghost, and what becomes of clicks made meanwhile. A small
// dialog procedure on the main dialog's template plays the program.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "res/resource.h"
#include "sim/machine/sim_machine.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {
namespace {

// Create runs `steps`, words separated by blanks: "set" sets the status line,
// "step" steps the bar, "paint" paints the status line, "wait" sleeps 1 s,
// "peek" looks at the queue, "discard" takes the clicks out of it, "box" shows
// a message box.
class BusyDialog final : public DialogProcedure {
public:
    BusyDialog(UiPort& ui, SystemPort& system, std::string steps)
        : m_ui(ui), m_system(system), m_steps(std::move(steps)) {}

    INT_PTR DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) override {
        if (message == WM_INITDIALOG) {
            m_ui.EnableWindow(m_ui.GetDlgItem(dialog, IDC_BTN_CREATE), TRUE);
            return TRUE;
        }
        if (message != WM_COMMAND) return FALSE;
        if (LOWORD(wParam) == IDCANCEL) return m_ui.EndDialog(dialog, IDCANCEL);
        if (LOWORD(wParam) != IDC_BTN_CREATE) return FALSE;
        ++runs;
        HWND status = m_ui.GetDlgItem(dialog, IDC_STC_STATUS);
        HWND bar = m_ui.GetDlgItem(dialog, IDC_PRG_PROGRESS);
        std::istringstream steps(m_steps);
        MSG queued{};
        for (std::string step; steps >> step;) {
            if (step == "set") m_ui.SetWindowTextA(status, ("run " + std::to_string(runs)).c_str());
            if (step == "step") m_ui.SendMessageA(bar, PBM_STEPIT, 0, 0);
            if (step == "paint") m_ui.UpdateWindow(status);
            if (step == "wait") m_system.Sleep(1000);
            if (step == "box") m_ui.MessageBoxA(dialog, "?", "VELDRA", MB_OK);
            if (step == "peek")
                m_ui.PeekMessageA(&queued, NULL_HWND, WM_KEYFIRST, WM_KEYLAST, PM_NOREMOVE);
            if (step == "discard") {
                while (
                    m_ui.PeekMessageA(&queued, NULL_HWND, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
                }
            }
        }
        return TRUE;
    }
    int runs = 0;

private:
    UiPort& m_ui;
    SystemPort& m_system;
    std::string m_steps;
};

struct Row {
    const char* what;
    const char* version;
    bool ghostingOff;
    std::string steps;
    std::string script;
    std::vector<std::string> lines;  // what follows "> create", up to "> exit"
    int runs;
};

void PrintTo(const Row& row, std::ostream* out) {
    *out << row.what;
}

const std::string kGhost =
    "dialog \"VELDRA\" not responding: the system shows \"VELDRA (応答なし)\"";
const std::string kBack = "dialog \"VELDRA\" responding again";
const std::string kWait5 = "wait wait wait wait wait";

class SimDesktop : public ::testing::TestWithParam<Row> {};

TEST_P(SimDesktop, HandlerTakingItsTime) {
    const Row& row = GetParam();
    TestMachine machine;
    machine.SetSystem("version", row.version);
    machine.WriteMachineDescription();
    sim::Transcript transcript;
    sim::SimMachine sim(sim::LoadMachineDescription(machine.Dir()),
                        sim::OperatorScript::Parse(row.script + ", exit"), transcript);
    Ports ports = sim.ports();
    if (row.ghostingOff) ports.ui.DisableProcessWindowsGhosting();
    BusyDialog dialog(ports.ui, ports.system, row.steps);
    EXPECT_EQ(ports.ui.DialogBoxParamA(IDD_TAVEXFD_DIALOG, NULL_HWND, dialog), IDCANCEL);
    const std::vector<std::string>& all = transcript.Lines();
    auto from = std::find(all.begin(), all.end(), "> create");
    auto to = std::find(all.begin(), all.end(), "> exit");
    ASSERT_NE(from, all.end());
    EXPECT_EQ(std::vector<std::string>(from + 1, to), row.lines);
    EXPECT_EQ(dialog.runs, row.runs);
}

const Row kRows[] = {
    {"XpPaintsAtOnceThenGhostsAfter5s",
     "5.1",
     false,
     "set step " + kWait5 + " wait",
     "create",
     {"status: \"run 1\"", "progress: 10/100", kGhost, kBack},
     1},
    {"VistaGhostShowsNothingUntilTheThreadResponds",
     "6.1",
     false,
     "set paint " + kWait5 + " wait step",
     "create",
     {"status: \"run 1\"", kGhost, kBack, "progress: 10/100"},
     1},
    {"FiveSecondsAreNotYetHung", "6.1", false, kWait5, "create", {}, 1},
    {"PeekingCountsAsResponding",
     "5.1",
     false,
     "wait wait wait peek wait wait wait",
     "create",
     {},
     1},
    {"AMessageBoxPaintsAndResponds",
     "6.1",
     false,
     "set wait wait wait box wait wait wait",
     "create, ok",
     {"status: \"run 1\"", "message box [no icon, OK] \"VELDRA\": \"?\" -> OK"},
     1},
    {"GhostingTurnedOff",
     "6.1",
     true,
     "set " + kWait5 + " wait",
     "create",
     {"status: \"run 1\""},
     1},
    {"AClickMeanwhileRunsTheHandlerAgain",
     "5.1",
     false,
     "set",
     "create, meanwhile create",
     {"> meanwhile create", "status: \"run 1\"", "queued create reaches \"VELDRA\"",
      "status: \"run 2\""},
     2},
    {"AClickTakenOutOfTheQueueNeverArrives",
     "6.1",
     false,
     "set discard",
     "create, meanwhile create",
     {"> meanwhile create", "status: \"run 1\""},
     1},
    {"AKeyIsNoClick",
     "6.1",
     false,
     "discard",
     "create, meanwhile esc",
     {"> meanwhile esc", "queued esc reaches \"VELDRA\"", "dialog \"VELDRA\" closes (2)"},
     1},
};

INSTANTIATE_TEST_SUITE_P(Rows, SimDesktop, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
}  // namespace veldra::testing
