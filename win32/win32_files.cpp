// FilePort on kernel32. Paths go to the W functions in code page 932
// (win32/code_page.h); found names come back in it.
#include "win32/code_page.h"
#include "win32/win32_ports.h"

namespace veldra::win32 {
namespace {

// A found entry as FindFirstFileA reports it. A name that code page 932
// cannot write is given by its short name, which names the same file; one
// without a short name stops the program, which would otherwise open some
// other file by a name full of default characters.
void FoundInCp932(const WIN32_FIND_DATAW& wide, WIN32_FIND_DATAA* data) {
    data->dwFileAttributes = wide.dwFileAttributes;
    data->ftCreationTime = wide.ftCreationTime;
    data->ftLastAccessTime = wide.ftLastAccessTime;
    data->ftLastWriteTime = wide.ftLastWriteTime;
    data->nFileSizeHigh = wide.nFileSizeHigh;
    data->nFileSizeLow = wide.nFileSizeLow;
    data->dwReserved0 = wide.dwReserved0;
    data->dwReserved1 = wide.dwReserved1;
    std::string name;
    std::string shortName;
    bool shortFits = NarrowExactly(wide.cAlternateFileName, &shortName) &&
                     shortName.size() < sizeof data->cAlternateFileName;
    if (!shortFits) shortName.clear();
    if (!NarrowExactly(wide.cFileName, &name) || name.size() >= sizeof data->cFileName) {
        if (shortName.empty()) StopForName(wide.cFileName);
        name = shortName;
    }
    CopyCut(name, data->cFileName, sizeof data->cFileName);
    CopyCut(shortName, data->cAlternateFileName, sizeof data->cAlternateFileName);
}

}  // namespace

HANDLE Win32FilePort::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                                  DWORD creationDisposition, DWORD flagsAndAttributes) {
    if (!Converts932()) {
        return ::CreateFileA(fileName, desiredAccess, shareMode, nullptr, creationDisposition,
                             flagsAndAttributes, nullptr);
    }
    return ::CreateFileW(WideArg(fileName).get(), desiredAccess, shareMode, nullptr,
                         creationDisposition, flagsAndAttributes, nullptr);
}

BOOL Win32FilePort::ReadFile(HANDLE file, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
    return ::ReadFile(file, buffer, bytesToRead, bytesRead, nullptr);
}

BOOL Win32FilePort::WriteFile(HANDLE file, const void* buffer, DWORD bytesToWrite,
                              DWORD* bytesWritten) {
    return ::WriteFile(file, buffer, bytesToWrite, bytesWritten, nullptr);
}

// The port's 32-bit halves are LONG on Windows, a distinct type from
// std::int32_t: the high half travels through a LONG of its own.
DWORD Win32FilePort::SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* distanceHigh,
                                    DWORD moveMethod) {
    LONG high = distanceHigh ? *distanceHigh : 0;
    DWORD low = ::SetFilePointer(file, distance, distanceHigh ? &high : nullptr, moveMethod);
    if (distanceHigh) *distanceHigh = high;
    return low;
}

DWORD Win32FilePort::GetFileSize(HANDLE file, DWORD* fileSizeHigh) {
    return ::GetFileSize(file, fileSizeHigh);
}

BOOL Win32FilePort::SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* lastAccess,
                                const FILETIME* lastWrite) {
    return ::SetFileTime(file, creation, lastAccess, lastWrite);
}

DWORD Win32FilePort::GetFileAttributesA(const char* fileName) {
    if (!Converts932()) return ::GetFileAttributesA(fileName);
    return ::GetFileAttributesW(WideArg(fileName).get());
}

BOOL Win32FilePort::SetFileAttributesA(const char* fileName, DWORD attributes) {
    if (!Converts932()) return ::SetFileAttributesA(fileName, attributes);
    return ::SetFileAttributesW(WideArg(fileName).get(), attributes);
}

HANDLE Win32FilePort::FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) {
    if (!Converts932()) return ::FindFirstFileA(pattern, data);
    WIN32_FIND_DATAW wide{};
    HANDLE search = ::FindFirstFileW(WideArg(pattern).get(), &wide);
    if (search != INVALID_HANDLE_VALUE) FoundInCp932(wide, data);
    return search;
}

BOOL Win32FilePort::FindNextFileA(HANDLE find, WIN32_FIND_DATAA* data) {
    if (!Converts932()) return ::FindNextFileA(find, data);
    WIN32_FIND_DATAW wide{};
    if (!::FindNextFileW(find, &wide)) return FALSE;
    FoundInCp932(wide, data);
    return TRUE;
}

BOOL Win32FilePort::FlushFileBuffers(HANDLE file) {
    return ::FlushFileBuffers(file);
}

}  // namespace veldra::win32
