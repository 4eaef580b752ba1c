#include "app/about_dlg.h"

#include "res/resource.h"

namespace veldra {

CAboutDlg::CAboutDlg(Ports& ports) : CDialog(ports, IDD_ABOUTBOX) {}

}  // namespace veldra
