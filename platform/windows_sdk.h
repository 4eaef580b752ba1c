// The Windows SDK as the ports see it on Windows: <windows.h> without the
// parts the program never uses, plus the headers of the controls, the shell
// and the disk driver whose names the ports share. Only the port headers
// include this, and only when building for Windows.
#pragma once

#ifndef _WIN32
#error "platform/windows_sdk.h is for Windows builds only"
#endif

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// _WIN32_WINNT and WINVER come from the compiler's command line
// (win32/CMakeLists.txt): defined here they would come too late, after any
// standard header has let the SDK pick its own.

#include <windows.h>
// After <windows.h>, in this order.
#include <commctrl.h>
#include <dbt.h>
#include <shellapi.h>
#include <winioctl.h>
