// The version dialog, opened from the main dialog's system menu. It has no
// handlers of its own: OK, Enter and Esc end it.
#pragma once

#include "app/framework/dialog.h"

namespace veldra {

class CAboutDlg : public CDialog {
public:
    explicit CAboutDlg(Ports& ports);
};

}  // namespace veldra
