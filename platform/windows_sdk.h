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
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#ifndef WINVER
#define WINVER 0x0501
#endif

#include <windows.h>
// After <windows.h>, in this order.
#include <commctrl.h>
#include <shellapi.h>
#include <winioctl.h>
