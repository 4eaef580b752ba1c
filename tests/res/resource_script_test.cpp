// TAVEX.EXE's resource script against the program's own tables: the script
// is compiled with windres and read back as windres writes it out, so the
// check covers what lands in the executable (classes, the styles Windows
// adds, the icon control's icon), not the macros that produce it.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "res/dialog_templates.h"
#include "res/resource.h"

namespace veldra {
namespace {

constexpr DWORD kWsChild = 0x40000000u;
constexpr DWORD kWsVisible = 0x10000000u;
constexpr DWORD kDsSetFont = 0x40u;
// SHIFTJIS_CHARSET: on a system of another language Windows still picks a
// Japanese font for the dialogs.
constexpr int kShiftJisCharset = 128;

void AppendUtf8(std::string& out, unsigned long c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A string of windres's output ("..." or L"..." with \xHHHH escapes), in
// UTF-8. The tables hold no character outside the Basic Multilingual Plane.
std::string Decode(const std::string& literal) {
    std::size_t at = literal.find('"');
    std::string out;
    for (std::size_t i = at + 1; i + 1 < literal.size(); ++i) {
        char c = literal[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        char kind = literal[++i];
        if (kind == 'x') {
            std::size_t digits = 0;
            unsigned long code = std::stoul(literal.substr(i + 1, 4), &digits, 16);
            AppendUtf8(out, code);
            i += digits;
        } else {
            out += kind == 'r' ? '\r' : kind == 'n' ? '\n' : kind;
        }
    }
    return out;
}

struct ScriptControl {
    std::string text;
    int id;
    std::string className;
    DWORD style;
    short x, y, cx, cy;
};

struct ScriptDialog {
    short cx = 0, cy = 0;
    DWORD style = 0, exStyle = 0;
    std::string caption, font;
    int points = 0;
    int charset = -1;
    std::vector<ScriptControl> controls;
};

struct Script {
    std::map<int, ScriptDialog> dialogs;
    std::map<UINT, std::string> strings;
};

Script ReadScript() {
    std::ifstream in(VELDRA_DECOMPILED_RC);
    EXPECT_TRUE(in) << VELDRA_DECOMPILED_RC;
    const std::regex header(R"(^(\d+) DIALOGEX (?:[A-Z ]+ )?0, 0, (\d+), (\d+)$)");
    const std::regex style(R"(^STYLE (0x[0-9a-f]+)$)");
    const std::regex exStyle(R"(^EXSTYLE (0x[0-9a-f]+)$)");
    const std::regex caption(R"(^CAPTION (L?".*")$)");
    const std::regex font(R"(^FONT (\d+), (L?".*"), \d+, \d+, (\d+)$)");
    const std::regex control(
        R"re(^  CONTROL (L?".*"|\d+), (-?\d+), "(\w+)", (0x[0-9a-f]+), (\d+), (\d+), (\d+), (\d+)$)re");
    const std::regex entry(R"re(^  (\d+), (L?".*")$)re");
    Script script;
    ScriptDialog* dialog = nullptr;
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_match(line, m, header)) {
            dialog = &script.dialogs[std::stoi(m[1])];
            dialog->cx = static_cast<short>(std::stoi(m[2]));
            dialog->cy = static_cast<short>(std::stoi(m[3]));
        } else if (dialog && std::regex_match(line, m, style)) {
            dialog->style = static_cast<DWORD>(std::stoul(m[1], nullptr, 16));
        } else if (dialog && std::regex_match(line, m, exStyle)) {
            dialog->exStyle = static_cast<DWORD>(std::stoul(m[1], nullptr, 16));
        } else if (dialog && std::regex_match(line, m, caption)) {
            dialog->caption = Decode(m[1]);
        } else if (dialog && std::regex_match(line, m, font)) {
            dialog->points = std::stoi(m[1]);
            dialog->font = Decode(m[2]);
            dialog->charset = std::stoi(m[3]);
        } else if (dialog && std::regex_match(line, m, control)) {
            std::string text = m[1].str();
            dialog->controls.push_back(
                {text[0] == 'L' || text[0] == '"' ? Decode(text) : "#" + text, std::stoi(m[2]),
                 m[3], static_cast<DWORD>(std::stoul(m[4], nullptr, 16)),
                 static_cast<short>(std::stoi(m[5])), static_cast<short>(std::stoi(m[6])),
                 static_cast<short>(std::stoi(m[7])), static_cast<short>(std::stoi(m[8]))});
        } else if (line == "END") {
            dialog = nullptr;
        } else if (std::regex_match(line, m, entry)) {
            script.strings[static_cast<UINT>(std::stoul(m[1]))] = Decode(m[2]);
        }
    }
    return script;
}

// The window class and the CONTROL text that each kind of control has in a
// Windows dialog template.
std::pair<std::string, std::string> ClassAndText(const ControlTemplate& c) {
    switch (c.kind) {
        case ControlClass::Button:
        case ControlClass::GroupBox:
            return {"BUTTON", c.text};
        case ControlClass::ComboBox:
            return {"COMBOBOX", c.text};
        case ControlClass::Edit:
            return {"EDIT", c.text};
        case ControlClass::Static:
            return {"STATIC", c.text};
        case ControlClass::Icon:
            return {"STATIC", "#" + std::to_string(IDR_MAINFRAME)};
        case ControlClass::Progress:
            return {"MSCTLS_PROGRESS32", c.text};
    }
    return {};
}

TEST(ResourceScript, DialogTemplatesAreTheProgramsTables) {
    Script script = ReadScript();
    ASSERT_EQ(script.dialogs.size(), 2u);
    for (int id : {IDD_TAVEXFD_DIALOG, IDD_ABOUTBOX}) {
        SCOPED_TRACE("template " + std::to_string(id));
        const DialogTemplate* table = FindDialogTemplate(id);
        ASSERT_NE(table, nullptr);
        const ScriptDialog& dialog = script.dialogs[id];
        EXPECT_EQ(dialog.caption, table->caption);
        EXPECT_EQ(dialog.cx, table->cx);
        EXPECT_EQ(dialog.cy, table->cy);
        EXPECT_EQ(dialog.font, table->font);
        EXPECT_EQ(dialog.points, table->pointSize);
        EXPECT_EQ(dialog.charset, kShiftJisCharset);
        EXPECT_EQ(dialog.style, table->style | kDsSetFont);
        EXPECT_EQ(dialog.exStyle, table->exStyle);
        ASSERT_EQ(dialog.controls.size(), table->controls.size());
        for (std::size_t i = 0; i < dialog.controls.size(); ++i) {
            SCOPED_TRACE("control " + std::to_string(i));
            const ControlTemplate& expected = table->controls[i];
            const ScriptControl& actual = dialog.controls[i];
            auto [className, text] = ClassAndText(expected);
            EXPECT_EQ(actual.id, expected.id);
            EXPECT_EQ(actual.className, className);
            EXPECT_EQ(actual.text, text);
            EXPECT_EQ(actual.style, expected.style | kWsChild | kWsVisible);
            EXPECT_EQ(std::vector<short>({actual.x, actual.y, actual.cx, actual.cy}),
                      std::vector<short>({expected.x, expected.y, expected.cx, expected.cy}));
        }
    }
}

TEST(ResourceScript, StringTableIsTheProgramsTable) {
    const std::map<UINT, std::string> table = {
#define VELDRA_STRING(name, text) {name, text},
#include "res/string_table.inc"
#undef VELDRA_STRING
    };
    EXPECT_EQ(ReadScript().strings, table);
}

}  // namespace
}  // namespace veldra
