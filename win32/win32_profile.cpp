// ProfilePort on kernel32, for files whose bytes are code page 932.
//
// The profile functions, A and W alike, read a file that does not begin with
// a UTF-16 byte order mark in the system's ANSI code page, and write it back
// in that code page. Where that is 932 (every Japanese Windows but one with
// the "Unicode UTF-8" option) the A functions are called as they are. Where it
// is another, the file is read here, converted from code page 932 and handed
// to the W functions as a UTF-16 copy in the temporary folder; after a write
// the copy comes back in code page 932 into the file itself. The parsing, the
// defaults and the shape of what is written stay the system's own.
#include <vector>

#include "win32/code_page.h"
#include "win32/win32_ports.h"

namespace veldra::win32 {
namespace {

bool SystemReadsCp932() {
    return !Converts932() || ::GetACP() == 932;
}

constexpr wchar_t kByteOrderMark = 0xFEFF;

bool ReadWhole(HANDLE file, std::string* bytes) {
    bytes->clear();
    char chunk[4096];
    DWORD got = 0;
    while (true) {
        if (!::ReadFile(file, chunk, sizeof chunk, &got, nullptr)) return false;
        if (got == 0) return true;
        bytes->append(chunk, got);
    }
}

bool WriteWhole(HANDLE file, std::string_view bytes) {
    DWORD put = 0;
    return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) &&
           put == bytes.size();
}

// A profile file's contents as a UTF-16 file of its own in the temporary
// folder, removed again when this goes.
class UnicodeCopy {
public:
    UnicodeCopy() = default;
    UnicodeCopy(const UnicodeCopy&) = delete;
    UnicodeCopy& operator=(const UnicodeCopy&) = delete;
    ~UnicodeCopy() {
        if (!m_path.empty()) ::DeleteFileW(m_path.c_str());
    }

    // False, with the system's last error, when no copy could be made.
    bool Make(std::string_view bytes) {
        wchar_t folder[MAX_PATH + 1];
        DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
        if (length == 0 || length > MAX_PATH) return false;
        std::wstring text(1, kByteOrderMark);
        text += Wide(bytes);
        // A name of its own for every copy: the system may keep what it read
        // of a profile file by the file's name.
        static UINT s_copies = 0;
        for (int attempt = 0; attempt < 100; ++attempt) {
            UINT unique = (::GetCurrentProcessId() * 64 + ++s_copies) % 0xFFFF + 1;
            wchar_t name[MAX_PATH];
            if (!::GetTempFileNameW(folder, L"vld", unique, name)) return false;
            HANDLE file = ::CreateFileW(name, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_TEMPORARY, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                if (::GetLastError() == ERROR_FILE_EXISTS) continue;
                return false;
            }
            m_path = name;
            std::string_view raw(reinterpret_cast<const char*>(text.data()),
                                 text.size() * sizeof(wchar_t));
            bool written = WriteWhole(file, raw);
            DWORD error = ::GetLastError();
            ::CloseHandle(file);
            ::SetLastError(error);
            return written;
        }
        ::SetLastError(ERROR_FILE_EXISTS);
        return false;
    }

    const wchar_t* Path() const { return m_path.c_str(); }

    // What the system left in the copy, in code page 932.
    bool ReadBack(std::string* bytes) const {
        HANDLE file = ::CreateFileW(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        std::string raw;
        bool read = ReadWhole(file, &raw);
        ::CloseHandle(file);
        if (!read) return false;
        std::wstring_view text(reinterpret_cast<const wchar_t*>(raw.data()),
                               raw.size() / sizeof(wchar_t));
        if (!text.empty() && text.front() == kByteOrderMark) text.remove_prefix(1);
        *bytes = Narrow(text);
        return true;
    }

private:
    std::wstring m_path;
};

// The copy of fileName to read from. A file that cannot be opened reads as
// an empty one: the system gives the defaults for it.
bool CopyForReading(const char* fileName, UnicodeCopy* copy) {
    HANDLE file =
        ::CreateFileW(WideArg(fileName).get(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    std::string bytes;
    if (file != INVALID_HANDLE_VALUE) {
        if (!ReadWhole(file, &bytes)) bytes.clear();
        ::CloseHandle(file);
    }
    return copy->Make(bytes);
}

}  // namespace

UINT Win32ProfilePort::GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                             const char* fileName) {
    if (SystemReadsCp932()) return ::GetPrivateProfileIntA(section, key, defaultValue, fileName);
    UnicodeCopy copy;
    if (!CopyForReading(fileName, &copy)) return static_cast<UINT>(defaultValue);
    return ::GetPrivateProfileIntW(WideArg(section).get(), WideArg(key).get(), defaultValue,
                                   copy.Path());
}

// A buffer of size UTF-16 characters holds at least the first size - 1 bytes
// of the value in code page 932, so the value cut to size - 1 bytes is the
// same whether the system cut it first or not. (The program reads values by
// section and key, never the lists of names.)
DWORD Win32ProfilePort::GetPrivateProfileStringA(const char* section, const char* key,
                                                 const char* defaultValue, char* buffer, DWORD size,
                                                 const char* fileName) {
    if (SystemReadsCp932()) {
        return ::GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
    }
    if (size == 0) return 0;
    std::vector<wchar_t> wide(size);
    UnicodeCopy copy;
    DWORD got = 0;
    if (CopyForReading(fileName, &copy)) {
        got =
            ::GetPrivateProfileStringW(WideArg(section).get(), WideArg(key).get(),
                                       WideArg(defaultValue).get(), wide.data(), size, copy.Path());
    }
    std::string text = Narrow(std::wstring_view(wide.data(), got));
    return static_cast<DWORD>(CopyCut(text, buffer, static_cast<int>(size)));
}

BOOL Win32ProfilePort::WritePrivateProfileStringA(const char* section, const char* key,
                                                  const char* value, const char* fileName) {
    if (SystemReadsCp932()) return ::WritePrivateProfileStringA(section, key, value, fileName);
    HANDLE file = ::CreateFileW(WideArg(fileName).get(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    bool existed = ::GetLastError() == ERROR_ALREADY_EXISTS;
    std::string bytes;
    UnicodeCopy copy;
    bool written = ReadWhole(file, &bytes) && copy.Make(bytes) &&
                   ::WritePrivateProfileStringW(WideArg(section).get(), WideArg(key).get(),
                                                WideArg(value).get(), copy.Path()) &&
                   copy.ReadBack(&bytes);
    if (written) {
        written = ::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && WriteWhole(file, bytes) &&
                  ::SetEndOfFile(file);
    }
    DWORD error = ::GetLastError();
    ::CloseHandle(file);
    if (!existed && (!written || bytes.empty())) ::DeleteFileW(WideArg(fileName).get());
    ::SetLastError(error);
    return written ? TRUE : FALSE;
}

}  // namespace veldra::win32
