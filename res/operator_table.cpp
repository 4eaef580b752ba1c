#include "res/operator_table.h"

#include "platform/win32_types.h"
#include "res/resource.h"

namespace veldra {
namespace {

using enum OperatorVerbKind;

const OperatorTarget kMainTargets[] = {
    {IDC_CMB_PROGRAM, "program box", true, "program", PickLine},
    {IDC_CMB_DRIVE, "drive box", true, "drive", PickLine},
    {IDC_EDT_MEDIAKIND, "media kind", true, nullptr, None},
    {IDC_BTN_CREATE, "create button", true, "create", PressButton},
    {IDC_STC_STATUS, "status", true, nullptr, None},
    {IDC_PRG_PROGRESS, "progress", true, nullptr, None},
    {ID_HELP, "help button", false, "help", PressButton},
    {IDCANCEL, "exit button", false, "exit", PressButton},
    {IDM_ABOUTBOX, "version item", false, "about", SystemCommand},
};

const OperatorTarget kAboutTargets[] = {
    {IDOK, "OK button", false, "ok", PressButton},
};

const OperatorDialog kDialogs[] = {
    {IDD_TAVEXFD_DIALOG, kMainTargets},
    {IDD_ABOUTBOX, kAboutTargets},
};

}  // namespace

std::span<const OperatorDialog> OperatorDialogs() {
    return kDialogs;
}

const OperatorDialog* FindOperatorDialog(int templateId) {
    for (const OperatorDialog& dialog : kDialogs) {
        if (dialog.templateId == templateId) return &dialog;
    }
    return nullptr;
}

}  // namespace veldra
