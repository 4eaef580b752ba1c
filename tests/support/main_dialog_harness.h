// The main dialog on its own over a test machine, for what no transcript line
// shows (the writer settings, for one): the application object gets the state
// that start-up would have given it, the dialog runs modally, and the caller
// looks at the dialog object after it has ended.
#pragma once

#include <functional>
#include <string>

#include "app/tavexfd_dlg.h"
#include "tests/support/test_machine.h"

namespace veldra::testing {

// Runs the dialog with the operator's actions; inspect sees the dialog after
// DoModal returned (not called when the script failed, see error).
RunResult RunMainDialog(const TestMachine& machine, const std::string& actions,
                        const std::function<void(CTAVEXFDDlg&)>& inspect);

}  // namespace veldra::testing
