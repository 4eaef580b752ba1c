#include "win32/code_page.h"

#include <vector>

#include "platform/mbcs.h"
#include "res/resource.h"

namespace veldra::win32 {
namespace {

constexpr UINT kProgramCodePage = 932;

}  // namespace

bool Converts932() {
    static const bool converts = ::IsValidCodePage(kProgramCodePage) != FALSE;
    return converts;
}

std::wstring Wide(std::string_view text) {
    if (text.empty()) return std::wstring();
    int length = static_cast<int>(text.size());
    int needed = ::MultiByteToWideChar(kProgramCodePage, 0, text.data(), length, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(needed > 0 ? needed : 0), L'\0');
    if (needed > 0) {
        ::MultiByteToWideChar(kProgramCodePage, 0, text.data(), length, wide.data(), needed);
    }
    return wide;
}

std::string Narrow(std::wstring_view text) {
    if (text.empty()) return std::string();
    int length = static_cast<int>(text.size());
    int needed = ::WideCharToMultiByte(kProgramCodePage, 0, text.data(), length, nullptr, 0,
                                       nullptr, nullptr);
    std::string narrow(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0) {
        ::WideCharToMultiByte(kProgramCodePage, 0, text.data(), length, narrow.data(), needed,
                              nullptr, nullptr);
    }
    return narrow;
}

bool NarrowExactly(std::wstring_view text, std::string* out) {
    out->clear();
    if (text.empty()) return true;
    int length = static_cast<int>(text.size());
    BOOL usedDefault = FALSE;
    int needed = ::WideCharToMultiByte(kProgramCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length,
                                       nullptr, 0, nullptr, &usedDefault);
    if (needed <= 0 || usedDefault) return false;
    out->assign(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(kProgramCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, out->data(),
                          needed, nullptr, &usedDefault);
    return !usedDefault;
}

int CopyCut(std::string_view text, char* buffer, int size) {
    if (size <= 0) return 0;
    std::size_t room = static_cast<std::size_t>(size - 1);
    std::size_t length = 0;
    while (length < text.size()) {
        bool pair =
            IsDbcsLeadByte932(static_cast<unsigned char>(text[length])) && length + 1 < text.size();
        std::size_t next = length + (pair ? 2 : 1);
        if (next > room) break;
        length = next;
    }
    text.copy(buffer, length);
    buffer[length] = '\0';
    return static_cast<int>(length);
}

// The string table lies in blocks of 16 counted UTF-16 strings; block n + 1
// holds ids 16n to 16n + 15. LoadStringA would convert them in the system's
// ANSI code page.
std::wstring ResourceString(UINT id) {
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW((id >> 4) + 1), MAKEINTRESOURCEW(6));
    if (found == nullptr) return std::wstring();
    HGLOBAL loaded = ::LoadResource(module, found);
    const auto* words = static_cast<const wchar_t*>(loaded ? ::LockResource(loaded) : nullptr);
    if (words == nullptr) return std::wstring();
    const wchar_t* end = words + ::SizeofResource(module, found) / sizeof(wchar_t);
    for (UINT skip = id & 15; skip > 0 && words < end; --skip) words += 1 + *words;
    if (words >= end || words + 1 + *words > end) return std::wstring();
    return std::wstring(words + 1, *words);
}

void StopForName(std::wstring_view name) {
    std::wstring pattern = ResourceString(IDS_UNUSABLE_NAME);
    std::wstring text;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == L'%' && i + 1 < pattern.size() && pattern[i + 1] == L'1') {
            text += name;
            ++i;
        } else {
            text += pattern[i];
        }
    }
    std::wstring caption = ResourceString(IDS_APP_NAME);
    ::MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONHAND | MB_OK);
    ::ExitProcess(0);
}

}  // namespace veldra::win32
