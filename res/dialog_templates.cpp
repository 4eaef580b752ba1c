#include "res/dialog_templates.h"

#include "res/resource.h"

namespace veldra {
namespace {

constexpr int IDC_STATIC = -1;

// First the controls of each template, then the templates.
// clang-format off
#define VELDRA_DIALOG(id, caption, cx, cy, font, points, style, exStyle) \
    const ControlTemplate kControls_##id[] = {
#define VELDRA_CONTROL(id, kind, text, x, y, cx, cy, style) \
    {id, ControlClass::kind, text, x, y, cx, cy, style},
#define VELDRA_DIALOG_END(id) };
// clang-format on
#include "res/dialog_templates.inc"
#undef VELDRA_DIALOG
#undef VELDRA_CONTROL
#undef VELDRA_DIALOG_END

const DialogTemplate kTemplates[] = {
#define VELDRA_DIALOG(id, caption, cx, cy, font, points, style, exStyle) \
    {id, caption, cx, cy, font, points, style, exStyle, kControls_##id},
#define VELDRA_CONTROL(id, kind, text, x, y, cx, cy, style)
#define VELDRA_DIALOG_END(id)
#include "res/dialog_templates.inc"
#undef VELDRA_DIALOG
#undef VELDRA_CONTROL
#undef VELDRA_DIALOG_END
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

}  // namespace veldra
