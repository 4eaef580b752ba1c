// The real system as a contract-test adapter: the Win32 ports on a scratch
// folder of their own. A "program" is one set of
// ports in this process; when it ends, the handles it left open are closed,
// as the system does when a process ends. Files another process holds open
// are held by the host, with the same share modes (sharing is per handle on
// Windows, not per process). Write protection, a full disk and vanishing files
// cannot be arranged here: those machines are refused. The host makes the
// setup's code page 932 names with the W functions, so that the suites ask the
// same of the adapter whatever the system's ANSI code page.
#include <windows.h>

#include <set>
#include <stdexcept>

#include "tests/platform/port_adapter.h"
#include "win32/win32_ports.h"

namespace veldra::testing {
namespace {

using win32::Win32FilePort;
using win32::Win32ProfilePort;
using win32::Win32SystemPort;

// One program: the Win32 ports, with the handles it opens and has not closed.
class Win32Program final : public PortAdapter,
                           public SystemPort,
                           public FilePort,
                           public ProfilePort {
public:
    ~Win32Program() override {
        for (HANDLE handle : m_open) m_system.CloseHandle(handle);
        for (HANDLE search : m_searches) m_system.FindClose(search);
    }
    SystemPort& System() override { return *this; }
    FilePort& Files() override { return *this; }
    ProfilePort& Profile() override { return *this; }
    DevicePort& Devices() override { return m_devices; }
    RegistryPort& Registry() override { return m_registry; }

    BOOL CloseHandle(HANDLE handle) override {
        m_open.erase(handle);
        return m_system.CloseHandle(handle);
    }
    BOOL FindClose(HANDLE handle) override {
        m_searches.erase(handle);
        return m_system.FindClose(handle);
    }
    DWORD GetLastError() const override { return m_system.GetLastError(); }
    void SetLastError(DWORD error) override { m_system.SetLastError(error); }
    HANDLE OpenMutexA(DWORD access, BOOL inherit, const char* name) override {
        return Track(m_system.OpenMutexA(access, inherit, name), NULL_HANDLE);
    }
    HANDLE CreateMutexA(BOOL initialOwner, const char* name) override {
        return Track(m_system.CreateMutexA(initialOwner, name), NULL_HANDLE);
    }
    BOOL GetVersionExA(OSVERSIONINFOA* info) override { return m_system.GetVersionExA(info); }
    std::string GetCommandLineA() override { return m_system.GetCommandLineA(); }
    DWORD GetModuleFileNameA(char* buffer, DWORD size) override {
        return m_system.GetModuleFileNameA(buffer, size);
    }
    BOOL MessageBeep(UINT type) override { return m_system.MessageBeep(type); }
    void Sleep(DWORD milliseconds) override { m_system.Sleep(milliseconds); }
    void GetLocalTime(SYSTEMTIME* time) override { m_system.GetLocalTime(time); }
    UINT SetErrorMode(UINT mode) override { return m_system.SetErrorMode(mode); }
    void* HeapAlloc(DWORD flags, std::size_t bytes) override {
        return m_system.HeapAlloc(flags, bytes);
    }
    BOOL HeapFree(void* memory) override { return m_system.HeapFree(memory); }

    HANDLE CreateFileA(const char* name, DWORD access, DWORD share, DWORD disposition,
                       DWORD flags) override {
        return Track(m_files.CreateFileA(name, access, share, disposition, flags),
                     INVALID_HANDLE_VALUE);
    }
    BOOL ReadFile(HANDLE file, void* buffer, DWORD size, DWORD* got) override {
        return m_files.ReadFile(file, buffer, size, got);
    }
    BOOL WriteFile(HANDLE file, const void* buffer, DWORD size, DWORD* put) override {
        return m_files.WriteFile(file, buffer, size, put);
    }
    DWORD SetFilePointer(HANDLE file, std::int32_t distance, std::int32_t* high,
                         DWORD method) override {
        return m_files.SetFilePointer(file, distance, high, method);
    }
    DWORD GetFileSize(HANDLE file, DWORD* high) override { return m_files.GetFileSize(file, high); }
    BOOL SetFileTime(HANDLE file, const FILETIME* creation, const FILETIME* access,
                     const FILETIME* write) override {
        return m_files.SetFileTime(file, creation, access, write);
    }
    DWORD GetFileAttributesA(const char* name) override { return m_files.GetFileAttributesA(name); }
    BOOL SetFileAttributesA(const char* name, DWORD attributes) override {
        return m_files.SetFileAttributesA(name, attributes);
    }
    HANDLE FindFirstFileA(const char* pattern, WIN32_FIND_DATAA* data) override {
        HANDLE search = m_files.FindFirstFileA(pattern, data);
        if (search != INVALID_HANDLE_VALUE) m_searches.insert(search);
        return search;
    }
    BOOL FindNextFileA(HANDLE search, WIN32_FIND_DATAA* data) override {
        return m_files.FindNextFileA(search, data);
    }
    BOOL FlushFileBuffers(HANDLE file) override { return m_files.FlushFileBuffers(file); }

    UINT GetPrivateProfileIntA(const char* section, const char* key, int fallback,
                               const char* name) override {
        return m_profile.GetPrivateProfileIntA(section, key, fallback, name);
    }
    DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* fallback,
                                   char* buffer, DWORD size, const char* name) override {
        return m_profile.GetPrivateProfileStringA(section, key, fallback, buffer, size, name);
    }
    BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* name) override {
        return m_profile.WritePrivateProfileStringA(section, key, value, name);
    }

private:
    HANDLE Track(HANDLE handle, HANDLE failed) {
        if (handle != failed) m_open.insert(handle);
        return handle;
    }

    Win32SystemPort m_system;
    Win32FilePort m_files;
    Win32ProfilePort m_profile;
    win32::Win32DevicePort m_devices;
    win32::Win32RegistryPort m_registry;
    std::set<HANDLE> m_open;
    std::set<HANDLE> m_searches;
};

// A code page 932 name in UTF-16.
std::wstring W(const std::string& name) {
    std::wstring wide(name.size() + 1, L'\0');
    int length = ::MultiByteToWideChar(932, 0, name.data(), static_cast<int>(name.size()),
                                       wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length));
    return wide;
}

void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((dir + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring path = dir + L"\\" + name;
            ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                ::DeleteFileW(path.c_str());
            }
        } while (::FindNextFileW(search, &found));
        ::FindClose(search);
    }
    ::RemoveDirectoryW(dir.c_str());
}

// Creates every folder of path below the scratch folder.
void MakeFolders(const std::string& scratch, const std::string& relative) {
    for (std::size_t at = relative.find('\\'); at != std::string::npos;
         at = relative.find('\\', at + 1)) {
        ::CreateDirectoryW(W(scratch + "\\" + relative.substr(0, at)).c_str(), nullptr);
    }
}

class Win32Host final : public TestHost {
public:
    explicit Win32Host(const HostSetup& setup) {
        // In the root of the temporary folder's drive: the suites list that root.
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        static int s_hosts = 0;
        m_strScratch = std::string(temp, 2) + "\\veldra-contract-" +
                       std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++s_hosts);
        RemoveTree(W(m_strScratch));
        if (!::CreateDirectoryW(W(m_strScratch).c_str(), nullptr)) {
            throw std::runtime_error("cannot make " + m_strScratch);
        }
        for (const std::string& folder : setup.folders) {
            MakeFolders(m_strScratch, folder + "\\");
        }
        for (const auto& [name, contents] : setup.files) {
            MakeFolders(m_strScratch, name);
            HANDLE file = ::CreateFileW(W(m_strScratch + "\\" + name).c_str(), GENERIC_WRITE, 0,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            DWORD written = 0;
            ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written,
                        nullptr);
            ::CloseHandle(file);
        }
        for (const HostSetup::RegistryValue& value : setup.registry) {
            HKEY key = nullptr;
            if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, value.key.c_str(), 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr) != ERROR_SUCCESS) {
                throw std::runtime_error("cannot make registry key " + value.key);
            }
            if (value.number) {
                DWORD number = *value.number;
                ::RegSetValueExA(key, value.name.c_str(), 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&number), sizeof number);
            } else {
                ::RegSetValueExA(key, value.name.c_str(), 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.text.c_str()),
                                 static_cast<DWORD>(value.text.size() + 1));
            }
            ::RegCloseKey(key);
        }
        for (const auto& [name, share] : setup.heldOpen) {
            m_held.push_back(::CreateFileW(W(m_strScratch + "\\" + name).c_str(),
                                           GENERIC_READ | GENERIC_WRITE, share, nullptr,
                                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        }
    }
    ~Win32Host() override {
        for (HANDLE held : m_held) ::CloseHandle(held);
        RemoveTree(W(m_strScratch));
    }

    std::string Scratch() const override { return m_strScratch; }
    char UnusedDriveLetter() const override {
        DWORD used = ::GetLogicalDrives();
        for (char letter = 'Y'; letter > 'C'; --letter) {
            if (!(used & (1u << (letter - 'A')))) return letter;
        }
        throw std::runtime_error("every drive letter is in use");
    }
    std::string UniqueName(const std::string& stem) override {
        return stem + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++m_nNames);
    }
    // Wine has no raw disks and no volumes on them; the suites that need one
    // skip.
    std::string DiskPath() const override { return std::string(); }
    std::string VolumeRoot() const override { return std::string(); }
    std::unique_ptr<PortAdapter> Start() override { return std::make_unique<Win32Program>(); }

private:
    std::string m_strScratch;
    std::vector<HANDLE> m_held;
    int m_nNames = 0;
};

}  // namespace

std::vector<AdapterFactory> AdapterFactories() {
    return {{"Win32", [](const HostSetup& setup) -> std::unique_ptr<TestHost> {
                 if (setup.readOnlyDrive || setup.freeBytes || !setup.vanishing.empty() ||
                     setup.diskBytes || setup.fatVolume) {
                     return nullptr;
                 }
                 return std::make_unique<Win32Host>(setup);
             }}};
}

}  // namespace veldra::testing
