// The portable vocabulary pinned to the Windows SDK: every constant of
// platform/win32_values.inc has the SDK's value, and the records the ports
// pass have the SDK's layout. Compiled in every Windows build, after
// <windows.h> and every portable header, so that a port header that clashes
// with the SDK fails the build here first.
#include "win32/portable_headers.h"

// The SDK hides what Windows XP lacks only when asked before its first header.
static_assert(_WIN32_WINNT == 0x0501 && WINVER == 0x0501, "the XP pin did not reach the SDK");

namespace veldra {

#define VELDRA_WIN32_VALUE(type, name, value)                          \
    static_assert(static_cast<type>(name) == static_cast<type>(value), \
                  #name " differs from the SDK");
#include "platform/win32_values.inc"
#undef VELDRA_WIN32_VALUE

static_assert(std::is_same_v<DWORD, ::DWORD> && std::is_same_v<HANDLE, ::HANDLE>);
static_assert(std::is_same_v<HWND, ::HWND> && std::is_same_v<FILETIME, ::FILETIME>);

}  // namespace veldra
