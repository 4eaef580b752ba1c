// The dialog templates as data: what the resource script says, in a form the
// simulated machine can build windows from. Texts are UTF-8 here, as in the
// string table.
#pragma once

#include <span>

#include "platform/win32_types.h"

namespace veldra {

// Window and control styles the templates use.
enum : DWORD {
    WS_POPUP = 0x80000000u,
    WS_DISABLED = 0x08000000u,
    WS_CAPTION = 0x00C00000u,
    WS_BORDER = 0x00800000u,
    WS_VSCROLL = 0x00200000u,
    WS_SYSMENU = 0x00080000u,
    WS_GROUP = 0x00020000u,
    WS_TABSTOP = 0x00010000u,
    WS_MINIMIZEBOX = 0x00020000u,
    DS_MODALFRAME = 0x80u,
    WS_EX_APPWINDOW = 0x00040000u,
    BS_PUSHBUTTON = 0x0,
    BS_DEFPUSHBUTTON = 0x1,
    BS_GROUPBOX = 0x7,
    CBS_DROPDOWNLIST = 0x3,
    CBS_SORT = 0x100,
    ES_READONLY = 0x800,
    SS_LEFT = 0x0,
    SS_ICON = 0x3,
    SS_NOPREFIX = 0x80,
};

enum class ControlClass { Button, GroupBox, ComboBox, Edit, Static, Icon, Progress };

struct ControlTemplate {
    int id;
    ControlClass kind;
    const char* text;  // UTF-8
    short x, y, cx, cy;
    DWORD style;
};

struct DialogTemplate {
    int id;
    const char* caption;  // UTF-8
    short cx, cy;
    const char* font;  // UTF-8
    int pointSize;
    DWORD style;
    DWORD exStyle;
    std::span<const ControlTemplate> controls;
};

// The template with this id, or nullptr.
const DialogTemplate* FindDialogTemplate(int id);

}  // namespace veldra
