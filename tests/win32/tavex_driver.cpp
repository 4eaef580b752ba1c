// Runs TAVEX.EXE on the real Win32 build as an operator would: starts it,
// finds its dialog and its message boxes, reads their texts, presses their
// buttons, and checks the files it leaves. Every expected text comes from the
// program's own resources, the data files or the media definition file, or is
// written out here.
//
//   tavex_driver SOURCE-DIR WORK-DIR SCREENSHOT-DIR [SCENARIO...]
//
// SOURCE-DIR holds TAVEX.EXE with the data files, TAVEXMEDIA.INI and
// TvMan.pdf; each scenario runs on its own copy in WORK-DIR (or in a folder
// of its own on C:). SCREENSHOT-DIR receives ready-dialog.bmp and
// message-box.bmp. Without SCENARIO names every scenario runs. The last line
// reads "N passed, N failed"; the exit code is 1 when a scenario failed.
//
// The driver reads and writes every text in code page 932 itself, whatever
// the system's ANSI code page: it runs under Japanese, English and UTF-8
// systems alike, and what it expects is the same bytes on each.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "records/data_file_format.h"
#include "res/resource.h"

namespace {

constexpr DWORD kPatience = 30000;  // a first start under Wine can take seconds
constexpr char kIniName[] = "TAVEXMEDIA.INI";
constexpr int kMessageTextId = 0xFFFF;  // the text of a message box

struct Failure {
    std::string what;
};

void Expect(bool condition, const std::string& what) {
    if (!condition) throw Failure{what};
}

void ExpectText(const std::string& actual, const std::string& expected, const std::string& what) {
    Expect(actual == expected, what + ": \"" + actual + "\", expected \"" + expected + "\"");
}

std::string g_source;
std::string g_work;
std::string g_screenshots;
HMODULE g_resources = nullptr;

// Code page 932, as the program holds its text, to and from UTF-16.
std::wstring W(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    int length = ::MultiByteToWideChar(932, 0, text.data(), static_cast<int>(text.size()),
                                       wide.data(), static_cast<int>(wide.size()));
    wide.resize(static_cast<std::size_t>(length));
    return wide;
}

std::string Cp932(const std::wstring& text) {
    std::string narrow(text.size() * 2 + 1, '\0');
    int length =
        ::WideCharToMultiByte(932, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                              static_cast<int>(narrow.size()), nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(length));
    return narrow;
}

// String id of TAVEX.EXE's string table.
std::string Str(UINT id) {
    wchar_t text[1024] = {};
    int length = ::LoadStringW(g_resources, id, text, 1024);
    Expect(length > 0, "string " + std::to_string(id) + " is missing from TAVEX.EXE");
    return Cp932(std::wstring(text, static_cast<std::size_t>(length)));
}

std::string WithArgument(const std::string& pattern, const std::string& argument) {
    std::size_t at = pattern.find("%1");
    if (at == std::string::npos) return pattern;
    return pattern.substr(0, at) + argument + pattern.substr(at + 2);
}

// The caption of a dialog template of TAVEX.EXE: DLGTEMPLATEEX has no menu
// and no class here, so the caption follows the fixed part at offset 30.
std::string TemplateCaption(int id) {
    HRSRC found = ::FindResourceA(g_resources, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    Expect(found != nullptr, "template " + std::to_string(id) + " is missing");
    auto* words = static_cast<const WORD*>(::LockResource(::LoadResource(g_resources, found)));
    Expect(words[0] == 1 && words[1] == 0xFFFF && words[13] == 0 && words[14] == 0,
           "template " + std::to_string(id) + " is not a plain DLGTEMPLATEEX");
    return Cp932(reinterpret_cast<const wchar_t*>(words + 15));
}

// A window's text. Another process's controls are asked with WM_GETTEXT:
// GetWindowText would not ask an edit control there. The wide message, since
// Wine passes some narrow ones on between processes as wide text
// (CB_GETLBTEXT).
std::wstring WideText(HWND window) {
    wchar_t text[1024] = {};
    ::SendMessageW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return text;
}

std::string Text(HWND window) {
    return Cp932(WideText(window));
}

std::string Join(const std::string& dir, const std::string& name) {
    return dir + "\\" + name;
}

std::string FileContents(const std::string& path) {
    std::string contents;
    HANDLE file = ::CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return contents;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        contents.append(chunk, got);
    ::CloseHandle(file);
    return contents;
}

void WriteContents(const std::string& path, const std::string& contents) {
    HANDLE file = ::CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    Expect(file != INVALID_HANDLE_VALUE, "cannot write " + path);
    DWORD written = 0;
    ::WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
    ::CloseHandle(file);
    Expect(written == contents.size(), "cannot write " + path);
}

// A value of section FILE of the directory's media definition file, read
// from its bytes (the system would read them in its own ANSI code page).
std::string IniValue(const std::string& dir, const char* key) {
    std::string contents = FileContents(Join(dir, kIniName));
    bool inFile = false;
    std::size_t start = 0;
    while (start < contents.size()) {
        std::size_t end = contents.find("\r\n", start);
        if (end == std::string::npos) end = contents.size();
        std::string line = contents.substr(start, end - start);
        start = end + 2;
        if (!line.empty() && line[0] == '[') {
            inFile = ::lstrcmpiA(line.c_str(), "[FILE]") == 0;
        } else if (std::size_t equals = line.find('='); inFile && equals != std::string::npos) {
            if (::lstrcmpiA(line.substr(0, equals).c_str(), key) == 0)
                return line.substr(equals + 1);
        }
    }
    return "<absent>";
}

// The media definition file's text without its FILENO line.
std::string WithoutFileno(const std::string& ini) {
    std::string kept;
    for (std::size_t start = 0; start < ini.size();) {
        std::size_t end = ini.find("\r\n", start);
        end = end == std::string::npos ? ini.size() : end + 2;
        if (ini.compare(start, 7, "FILENO=") != 0) kept += ini.substr(start, end - start);
        start = end;
    }
    return kept;
}

// Copies the files of the source directory into dir (made when missing);
// with withIni false, the media definition file stays behind.
void CopySource(const std::string& dir, bool withIni = true) {
    ::CreateDirectoryW(W(dir).c_str(), nullptr);
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW(W(Join(g_source, "*")).c_str(), &found);
    Expect(search != INVALID_HANDLE_VALUE, "cannot list " + g_source);
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (!withIni && ::lstrcmpiW(found.cFileName, W(kIniName).c_str()) == 0) continue;
        std::wstring name = found.cFileName;
        ::CopyFileW((W(g_source) + L"\\" + name).c_str(), (W(dir) + L"\\" + name).c_str(), FALSE);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// A fresh copy of the source directory for one scenario; its full path.
std::string Prepare(const std::string& name, bool withIni = true) {
    std::string dir = Join(g_work, name);
    CopySource(dir, withIni);
    wchar_t full[MAX_PATH];
    ::GetFullPathNameW(W(dir).c_str(), MAX_PATH, full, nullptr);
    return Cp932(full);
}

bool IsDialogOf(HWND window, DWORD process) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[32] = {};
    ::GetClassNameA(window, className, sizeof className);
    return owner == process && ::IsWindowVisible(window) && std::string(className) == "#32770";
}

struct DialogSearch {
    DWORD process;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<DialogSearch*>(context);
    if (IsDialogOf(window, search->process)) search->found.push_back(window);
    return TRUE;
}

// One run of TAVEX.EXE; a run the scenario leaves behind is ended.
class Program {
public:
    // dir in UTF-16, so that it may hold what code page 932 cannot write.
    Program(const std::wstring& dir, const std::string& arguments = "") {
        std::wstring commandLine = L"\"" + dir + L"\\TAVEX.EXE\"" + W(arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        Expect(::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                dir.c_str(), &startup, &m_process),
               "cannot start " + Cp932(commandLine));
    }
    Program(const std::string& dir, const std::string& arguments = "")
        : Program(W(dir), arguments) {}
    ~Program() {
        if (::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(m_process.hProcess, 99);
            ::WaitForSingleObject(m_process.hProcess, kPatience);
        }
        ::CloseHandle(m_process.hThread);
        ::CloseHandle(m_process.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // The visible dialogs of the program (its main dialog, message boxes,
    // the version dialog).
    std::vector<HWND> Dialogs() const {
        DialogSearch search{m_process.dwProcessId, {}};
        ::EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
        return search.found;
    }

    HWND WaitFor(const std::function<bool(HWND)>& wanted, const std::string& what) const {
        for (DWORD waited = 0; waited < kPatience; waited += 50) {
            for (HWND window : Dialogs()) {
                if (wanted(window)) return window;
            }
            Expect(Running(), "the program ended before showing " + what);
            ::Sleep(50);
        }
        throw Failure{"no " + what + " appeared"};
    }
    HWND WaitForMainDialog() const {
        return WaitFor([](HWND w) { return ::GetDlgItem(w, IDC_CMB_PROGRAM) != nullptr; },
                       "main dialog");
    }
    HWND WaitForMessageBox() const {
        return WaitFor([](HWND w) { return ::GetDlgItem(w, kMessageTextId) != nullptr; },
                       "message box");
    }

    bool Running() const { return ::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT; }

    // Waits for the end; true when no dialog of it was ever seen meanwhile.
    bool EndsWithoutWindow() const {
        for (DWORD waited = 0; Running(); waited += 20) {
            Expect(waited < kPatience, "the program did not end");
            if (!Dialogs().empty()) return false;
            ::Sleep(20);
        }
        return true;
    }
    DWORD ExitCode() const {
        Expect(::WaitForSingleObject(m_process.hProcess, kPatience) == WAIT_OBJECT_0,
               "the program did not end");
        DWORD code = 0;
        ::GetExitCodeProcess(m_process.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION m_process{};
};

// Presses a button as a click does; posted, so that a message box the click
// opens does not hold the driver.
void Click(HWND dialog, int id) {
    HWND button = ::GetDlgItem(dialog, id);
    Expect(button != nullptr, "no control " + std::to_string(id));
    ::PostMessageA(button, BM_CLICK, 0, 0);
}

void AnswerMessageBox(const Program& program, const std::string& expected) {
    HWND box = program.WaitForMessageBox();
    ExpectText(Text(::GetDlgItem(box, kMessageTextId)), expected, "message box text");
    ExpectText(Text(box), Str(IDS_APP_NAME), "message box caption");
    Click(box, IDOK);
}

void ExpectEnd(const Program& program) {
    Expect(program.ExitCode() == 0, "exit code " + std::to_string(program.ExitCode()));
}

std::vector<std::string> ComboLines(HWND combo) {
    std::vector<std::string> lines;
    LRESULT count = ::SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        lines.push_back(Cp932(text));
    }
    return lines;
}

struct Listed {
    std::string name;
    BYTE mediaKind;
};

// The programs of the media definition file, as their data file headers name them.
std::vector<Listed> ListedPrograms(const std::string& dir) {
    std::vector<Listed> programs;
    int count = std::stoi(IniValue(dir, "FILES"));
    for (int n = 1; n <= count; ++n) {
        std::string header =
            FileContents(Join(dir, IniValue(dir, ("FILE" + std::to_string(n)).c_str())));
        Expect(header.size() >= veldra::HDR_SIZE, "data file " + std::to_string(n) + " is short");
        std::string name =
            header.substr(veldra::HDR_OFFSET_PROGRAM_NAME,
                          veldra::HDR_OFFSET_CONTENT_KIND - veldra::HDR_OFFSET_PROGRAM_NAME);
        programs.push_back({name.substr(0, name.find('\0')),
                            static_cast<BYTE>(header[veldra::HDR_OFFSET_MEDIA_KIND])});
    }
    return programs;
}

std::string MediaKindText(BYTE kind) {
    return Str(kind == veldra::MEDIA_USB ? IDS_MEDIA_USB : IDS_MEDIA_FLOPPY);
}

// The window's pixels as a 24-bit BMP file.
void SaveScreenshot(HWND window, const std::string& path) {
    RECT rect;
    ::GetWindowRect(window, &rect);
    int width = rect.right - rect.left;
    int height = rect.bottom - rect.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    ::GdiFlush();
    DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(height);
    HANDLE out =
        ::CreateFileW(W(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(out, &file, sizeof file, &written, nullptr);
    ::WriteFile(out, &info.bmiHeader, sizeof info.bmiHeader, &written, nullptr);
    ::WriteFile(out, bits, stride * static_cast<DWORD>(height), &written, nullptr);
    ::CloseHandle(out);
    ::SelectObject(memory, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
}

// The scenarios.

void ReadyDialog() {
    std::string dir = Prepare("ready");
    Program program(dir);
    HWND dialog = program.WaitForMainDialog();
    ExpectText(Text(dialog), TemplateCaption(IDD_TAVEXFD_DIALOG), "dialog caption");
    std::vector<Listed> listed = ListedPrograms(dir);
    std::vector<std::string> lines = ComboLines(::GetDlgItem(dialog, IDC_CMB_PROGRAM));
    Expect(lines.size() == listed.size(), "program box lines: " + std::to_string(lines.size()));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ExpectText(lines[i], listed[i].name, "program box line " + std::to_string(i));
    }
    ExpectText(Text(::GetDlgItem(dialog, IDC_STC_STATUS)), Str(IDS_READY), "status");
    ExpectText(Text(::GetDlgItem(dialog, IDC_EDT_MEDIAKIND)), MediaKindText(listed[0].mediaKind),
               "media kind");
    HWND create = ::GetDlgItem(dialog, IDC_BTN_CREATE);
    ExpectText(Text(create), Str(IDS_CREATE_CAPTION), "Create button");
    Expect(::IsWindowEnabled(create), "the Create button is disabled");
    ::RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(500);
    SaveScreenshot(dialog, Join(g_screenshots, "ready-dialog.bmp"));
    Click(dialog, IDCANCEL);
    ExpectEnd(program);
}

void ExitButtonWritesFileno() {
    std::string dir = Prepare("exit");
    // Out of range: the dialog preselects the first program and writes that back.
    WriteContents(Join(dir, kIniName),
                  WithoutFileno(FileContents(Join(dir, kIniName))) + "FILENO=9\r\n");
    Program program(dir);
    Click(program.WaitForMainDialog(), IDCANCEL);
    ExpectEnd(program);
    ExpectText(IniValue(dir, "FILENO"), "1", "FILENO");
}

void EscAfterPickingTheSecondProgram() {
    std::string dir = Prepare("esc");
    WriteContents(Join(dir, kIniName), WithoutFileno(FileContents(Join(dir, kIniName))));
    std::vector<Listed> listed = ListedPrograms(dir);
    Expect(listed.size() >= 2, "the example lists fewer than two programs");
    Program program(dir);
    HWND dialog = program.WaitForMainDialog();
    HWND programBox = ::GetDlgItem(dialog, IDC_CMB_PROGRAM);
    ::SendMessageA(programBox, CB_SETCURSEL, 1, 0);
    ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CMB_PROGRAM, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(programBox));
    ExpectText(Text(::GetDlgItem(dialog, IDC_EDT_MEDIAKIND)), MediaKindText(listed[1].mediaKind),
               "media kind of the second program");
    ExpectText(Text(::GetDlgItem(dialog, IDC_STC_STATUS)), Str(IDS_READY), "status");
    // Esc on the focused control, as the dialog's keyboard handling sees it.
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &gui);
    HWND focus = gui.hwndFocus ? gui.hwndFocus : dialog;
    ::PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageA(focus, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001u));
    ExpectEnd(program);
    ExpectText(IniValue(dir, "FILENO"), "2", "FILENO");
}

void InstallRunLogsWithoutWindow() {
    std::string dir = Prepare("install");
    std::string logBefore = FileContents(Join(dir, "TVLOG.TXT"));
    Program program(dir, " /install");
    Expect(program.EndsWithoutWindow(), "the installation run showed a window");
    ExpectEnd(program);
    std::string log = FileContents(Join(dir, "TVLOG.TXT"));
    Expect(log.size() > logBefore.size() && log.compare(0, logBefore.size(), logBefore) == 0,
           "TVLOG.TXT was not appended to");
    std::string entry = log.substr(logBefore.size());
    std::string heading = Str(IDS_LOG_INSTALLED) + "\r\n";
    std::string destination = WithArgument(Str(IDS_LOG_DESTINATION), dir) + "\r\n";
    Expect(entry.compare(0, heading.size(), heading) == 0, "log entry heading: " + entry);
    Expect(entry.size() > destination.size() && entry.compare(entry.size() - destination.size(),
                                                              destination.size(), destination) == 0,
           "log entry destination: " + entry);
}

void SecondInstanceEndsWithoutWindow() {
    std::string dir = Prepare("second");
    Program first(dir);
    HWND dialog = first.WaitForMainDialog();
    Program second(dir);
    Expect(second.EndsWithoutWindow(), "the second instance showed a window");
    ExpectEnd(second);
    Expect(first.Running() && ::IsWindow(dialog), "the first instance ended");
    Click(dialog, IDCANCEL);
    ExpectEnd(first);
}

void MissingMediaDefinitionFile() {
    std::string dir = Prepare("no-ini", false);
    Program program(dir);
    AnswerMessageBox(program, WithArgument(Str(IDS_INVALID_FILE), kIniName));
    ExpectEnd(program);
    // On the way out the selection is written back, into a new file.
    ExpectText(IniValue(dir, "FILENO"), "0", "FILENO of the new file");
}

void HelpWithoutPdfViewer() {
    std::string dir = Prepare("help");
    Program program(dir);
    HWND dialog = program.WaitForMainDialog();
    Click(dialog, ID_HELP);
    AnswerMessageBox(program, Str(IDS_HELP_FAILED));
    ::Sleep(200);
    Expect(program.Running() && ::IsWindowVisible(dialog), "the dialog did not stay");
    Click(dialog, IDCANCEL);
    ExpectEnd(program);
}

void VersionDialogFromSystemMenu() {
    std::string dir = Prepare("version");
    Program program(dir);
    HWND dialog = program.WaitForMainDialog();
    // What choosing the system menu's item sends.
    ::PostMessageA(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
    std::string caption = TemplateCaption(IDD_ABOUTBOX);
    HWND about = program.WaitFor([&](HWND w) { return Text(w) == caption; }, "version dialog");
    Expect(::GetWindow(about, GW_OWNER) == dialog, "the version dialog is not the dialog's");
    HWND icon = ::GetWindow(::GetDlgItem(about, IDOK), GW_HWNDNEXT);
    Expect(::SendMessageA(icon, STM_GETICON, 0, 0) != 0, "the version dialog shows no icon");
    Click(about, IDOK);
    for (DWORD waited = 0; ::IsWindow(about); waited += 50) {
        Expect(waited < kPatience, "the version dialog did not close");
        ::Sleep(50);
    }
    Expect(::IsWindowVisible(dialog), "the main dialog went with the version dialog");
    Click(dialog, IDCANCEL);
    ExpectEnd(program);
}

// Wine has no floppy drive and no USB stick: the drive box stays empty, and
// Create names what is missing for the program's kind of medium.
void CreateWithoutADrive() {
    std::string dir = Prepare("no-drive");
    std::vector<Listed> listed = ListedPrograms(dir);
    Program program(dir);
    HWND dialog = program.WaitForMainDialog();
    HWND programBox = ::GetDlgItem(dialog, IDC_CMB_PROGRAM);
    for (std::size_t i = 0; i < listed.size(); ++i) {
        ::SendMessageA(programBox, CB_SETCURSEL, i, 0);
        ::SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CMB_PROGRAM, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(programBox));
        Expect(ComboLines(::GetDlgItem(dialog, IDC_CMB_DRIVE)).empty(),
               "the drive box lists a drive");
        Click(dialog, IDC_BTN_CREATE);
        if (i == 0) {
            HWND box = program.WaitForMessageBox();
            ::Sleep(300);
            SaveScreenshot(box, Join(g_screenshots, "message-box.bmp"));
        }
        AnswerMessageBox(program,
                         Str(listed[i].mediaKind == veldra::MEDIA_USB ? IDS_NO_USB_MEMORY
                                                                      : IDS_NO_FLOPPY_DRIVE));
        ::Sleep(100);
        ExpectText(Text(::GetDlgItem(dialog, IDC_STC_STATUS)), Str(IDS_READY), "status");
    }
    Click(dialog, IDCANCEL);
    ExpectEnd(program);
}

// "C:\テスト\TAVEX", and a data file named "フロッピー表.DAT": every byte
// rule of code page 932 at once ("表" ends in 0x5C, the byte of '\').
const std::string kJapaneseFolder = "C:\\\x83\x65\x83\x58\x83\x67";
const std::string kJapaneseInstall = kJapaneseFolder + "\\TAVEX";
const std::string kJapaneseDataFile = "\x83\x74\x83\x8D\x83\x62\x83\x73\x81\x5B\x95\x5C.DAT";
// "; 日本語のフォルダーから起動するときの定義"
const std::string kJapaneseComment =
    "; \x93\xFA\x96\x7B\x8C\xEA\x82\xCC\x83\x74\x83\x48\x83\x8B\x83\x5F\x81\x5B"
    "\x82\xA9\x82\xE7\x8B\x4E\x93\xAE\x82\xB7\x82\xE9\x82\xC6\x82\xAB\x82\xCC"
    "\x92\xE8\x8B\x60";

std::string JapaneseIni(const std::string& fileno) {
    return kJapaneseComment + "\r\n[FILE]\r\nFILES=2\r\nFILE1=" + kJapaneseDataFile +
           "\r\nFILE2=NOVUSUSB.DAT\r\nFILENO=" + fileno + "\r\n";
}

// Installed in a folder with a Japanese name, whatever the system's code
// page: the installation run logs that folder, the dialog lists the data file
// of a Japanese name, and the media definition file keeps its bytes but for
// FILENO. The folder stays for the script to compare the files across
// systems.
void JapaneseFolder() {
    ::CreateDirectoryW(W(kJapaneseFolder).c_str(), nullptr);
    CopySource(kJapaneseInstall);
    const std::string dir = kJapaneseInstall;
    Expect(
        ::MoveFileW(W(Join(dir, "NOVUSFD.DAT")).c_str(), W(Join(dir, kJapaneseDataFile)).c_str()),
        "cannot name the data file");
    ::DeleteFileW(W(Join(dir, "TVLOG.TXT")).c_str());
    WriteContents(Join(dir, kIniName), JapaneseIni("9"));

    {
        Program install(dir, " /INSTALL");
        Expect(install.EndsWithoutWindow(), "the installation run showed a window");
        ExpectEnd(install);
    }
    std::string log = FileContents(Join(dir, "TVLOG.TXT"));
    std::string heading = Str(IDS_LOG_INSTALLED) + "\r\n";
    std::string destination = WithArgument(Str(IDS_LOG_DESTINATION), dir) + "\r\n";
    Expect(log.compare(0, heading.size(), heading) == 0, "log entry heading: " + log);
    Expect(log.size() > heading.size() + destination.size() &&
               log.compare(log.size() - destination.size(), destination.size(), destination) == 0,
           "log entry destination: " + log);

    std::vector<Listed> listed = ListedPrograms(dir);
    Program program(dir);
    HWND dialog = program.WaitForMainDialog();
    std::vector<std::string> lines = ComboLines(::GetDlgItem(dialog, IDC_CMB_PROGRAM));
    Expect(lines.size() == 2 && lines[0] == listed[0].name,
           "program box: " + (lines.empty() ? std::string("empty") : lines[0]));
    ExpectText(Text(::GetDlgItem(dialog, IDC_STC_STATUS)), Str(IDS_READY), "status");
    Click(dialog, IDCANCEL);
    ExpectEnd(program);
    ExpectText(FileContents(Join(dir, kIniName)), JapaneseIni("1"), "TAVEXMEDIA.INI");
}

// A folder whose name code page 932 cannot write ("TAVEX-한국", in Hangul):
// the program names it and ends before it would look for its files beside a
// wrong path; nothing is written there.
void FolderOutsideCodePage932() {
    std::wstring dir = W(Join(g_work, "TAVEX-")) + L"\xD55C\xAD6D";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    for (const wchar_t* name : {L"TAVEX.EXE", L"TAVEXMEDIA.INI", L"NOVUSFD.DAT"}) {
        ::CopyFileW((W(g_source) + L"\\" + name).c_str(), (dir + L"\\" + name).c_str(), FALSE);
    }
    std::string iniBefore = FileContents(Join(g_source, kIniName));
    Program program(dir);
    HWND box = program.WaitForMessageBox();
    std::wstring expected = W(Str(IDS_UNUSABLE_NAME));
    expected.replace(expected.find(L"%1"), 2, dir + L"\\TAVEX.EXE");
    Expect(WideText(::GetDlgItem(box, kMessageTextId)) == expected,
           "message box text: \"" + Text(::GetDlgItem(box, kMessageTextId)) + "\"");
    ExpectText(Text(box), Str(IDS_APP_NAME), "message box caption");
    Click(box, IDOK);
    ExpectEnd(program);
    HANDLE ini = ::CreateFileW((dir + L"\\TAVEXMEDIA.INI").c_str(), GENERIC_READ, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    Expect(ini != INVALID_HANDLE_VALUE, "TAVEXMEDIA.INI went");
    char contents[512];
    DWORD got = 0;
    ::ReadFile(ini, contents, sizeof contents, &got, nullptr);
    ::CloseHandle(ini);
    ExpectText(std::string(contents, got), iniBefore, "TAVEXMEDIA.INI");
    Expect(::GetFileAttributesW((dir + L"\\TVLOG.TXT").c_str()) == INVALID_FILE_ATTRIBUTES,
           "TVLOG.TXT was written");
}

struct Scenario {
    const char* name;
    void (*run)();
};

const Scenario kScenarios[] = {
    {"ReadyDialog", ReadyDialog},
    {"ExitButtonWritesFileno", ExitButtonWritesFileno},
    {"EscAfterPickingTheSecondProgram", EscAfterPickingTheSecondProgram},
    {"InstallRunLogsWithoutWindow", InstallRunLogsWithoutWindow},
    {"SecondInstanceEndsWithoutWindow", SecondInstanceEndsWithoutWindow},
    {"MissingMediaDefinitionFile", MissingMediaDefinitionFile},
    {"HelpWithoutPdfViewer", HelpWithoutPdfViewer},
    {"VersionDialogFromSystemMenu", VersionDialogFromSystemMenu},
    {"CreateWithoutADrive", CreateWithoutADrive},
    {"JapaneseFolder", JapaneseFolder},
    {"FolderOutsideCodePage932", FolderOutsideCodePage932},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: tavex_driver SOURCE-DIR WORK-DIR SCREENSHOT-DIR [SCENARIO...]\n");
        return 2;
    }
    g_source = argv[1];
    g_work = argv[2];
    g_screenshots = argv[3];
    ::CreateDirectoryW(W(g_work).c_str(), nullptr);
    ::CreateDirectoryW(W(g_screenshots).c_str(), nullptr);
    g_resources =
        ::LoadLibraryExW(W(Join(g_source, "TAVEX.EXE")).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (g_resources == nullptr) {
        std::fprintf(stderr, "cannot load %s\\TAVEX.EXE\n", g_source.c_str());
        return 2;
    }
    // What the texts would be read in without the program's own conversion.
    std::printf("ANSI code page %u\n", ::GetACP());
    std::vector<std::string> wanted(argv + 4, argv + argc);
    int passed = 0;
    int failed = 0;
    for (const Scenario& scenario : kScenarios) {
        if (!wanted.empty() &&
            std::find(wanted.begin(), wanted.end(), scenario.name) == wanted.end()) {
            continue;
        }
        DWORD start = ::GetTickCount();
        try {
            scenario.run();
            ++passed;
            std::printf("PASS %s (%lu ms)\n", scenario.name, ::GetTickCount() - start);
        } catch (const Failure& failure) {
            ++failed;
            std::printf("FAIL %s: %s\n", scenario.name, failure.what.c_str());
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 && passed > 0 ? 0 : 1;
}
