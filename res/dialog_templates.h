// The dialog templates as data: what the resource script says, in a form the
// simulated machine can build windows from. Texts are UTF-8 here, as in the
// string table.
#pragma once

#include <span>

#include "platform/win32_types.h"

namespace veldra {

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
