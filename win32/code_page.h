// The program's text on any Windows. The program holds its text as code page
// 932 bytes and hands them to the ports as a Japanese Windows takes them in
// its A functions. A Windows whose ANSI code page is another (1252, or 65001
// with the "Unicode UTF-8" option) would read those bytes in its own code
// page, so the adapter converts them to UTF-16 itself, with code page 932,
// and calls the W functions; what the system hands back goes the other way.
// A Windows XP without East Asian support cannot convert code page 932: there
// the A functions are called as they are.
#pragma once

#include <string>
#include <string_view>

#include "platform/win32_types.h"

namespace veldra::win32 {

// Whether the system can convert code page 932 (IsValidCodePage).
bool Converts932();

// Code page 932 text as UTF-16.
std::wstring Wide(std::string_view text);

// An argument that may be null: its UTF-16 form, or null.
class WideArg {
public:
    explicit WideArg(const char* text) : m_isNull(text == nullptr) {
        if (text) m_text = Wide(text);
    }
    const wchar_t* get() const { return m_isNull ? nullptr : m_text.c_str(); }

private:
    bool m_isNull;
    std::wstring m_text;
};

// UTF-16 text as code page 932; a character the code page lacks becomes its
// default character. For texts the program set itself.
std::string Narrow(std::wstring_view text);

// UTF-16 text as code page 932, false when a character has no form there
// (no best fit: "ß" must not become "s" in a path).
bool NarrowExactly(std::wstring_view text, std::string* out);

// text into buffer as the A functions copy: at most size - 1 bytes, never the
// first half of a double-byte character alone, then a NUL. The bytes copied.
int CopyCut(std::string_view text, char* buffer, int size);

// String id of this module's string table, as UTF-16; empty when absent.
std::wstring ResourceString(UINT id);

// The system named a file or folder that code page 932 cannot write: the
// program would go on with a wrong path. Shows the name and why, through the
// W functions, and ends the process.
[[noreturn]] void StopForName(std::wstring_view name);

}  // namespace veldra::win32
