#include "res/dialog_templates.h"

#include "res/resource.h"

namespace veldra {
namespace {

constexpr int IDC_STATIC = -1;

const ControlTemplate kMainControls[] = {
    {IDC_CMB_PROGRAM, ControlClass::ComboBox, "", 58, 12, 164, 60,
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
    {IDC_CMB_DRIVE, ControlClass::ComboBox, "", 192, 29, 30, 57,
     CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
    {IDC_BTN_CREATE, ControlClass::Button, "作成(&M)", 237, 7, 55, 24,
     BS_PUSHBUTTON | WS_TABSTOP | WS_DISABLED},
    {ID_HELP, ControlClass::Button, "ﾍﾙﾌﾟ(&H)", 237, 73, 55, 24, BS_PUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, ControlClass::Button, "終了(&E)", 237, 134, 55, 24, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_EDT_MEDIAKIND, ControlClass::Edit, "", 59, 29, 72, 12,
     ES_READONLY | WS_BORDER | WS_TABSTOP},
    {IDC_STC_STATUS, ControlClass::Static, "", 15, 109, 209, 24, SS_LEFT},
    {IDC_PRG_PROGRESS, ControlClass::Progress, "", 8, 144, 223, 14, WS_BORDER},
    {IDC_STATIC, ControlClass::GroupBox, "", 8, 3, 223, 94, BS_GROUPBOX},
    {IDC_STATIC, ControlClass::Static, "プログラム名", 16, 15, 39, 8, SS_LEFT},
    {IDC_STATIC, ControlClass::Static, "作成ディスク", 16, 31, 38, 8, SS_LEFT},
    {IDC_STATIC, ControlClass::Static, "作成ドライブ", 147, 32, 37, 8, SS_LEFT},
    {IDC_STATIC, ControlClass::GroupBox, "", 8, 99, 223, 40, BS_GROUPBOX},
};

const ControlTemplate kAboutControls[] = {
    {IDOK, ControlClass::Button, "OK", 170, 7, 50, 14, BS_DEFPUSHBUTTON | WS_GROUP | WS_TABSTOP},
    {IDC_STATIC, ControlClass::Icon, "", 13, 13, 20, 20, SS_ICON},
    {IDC_STATIC, ControlClass::Static, "VELDRA Version 2.00", 40, 10, 119, 8,
     SS_NOPREFIX | WS_GROUP},
    {IDC_STATIC, ControlClass::Static, "Copyright (C) VELDRA developers", 40, 27, 146, 8, WS_GROUP},
};

const DialogTemplate kTemplates[] = {
    {IDD_TAVEXFD_DIALOG, "VELDRA", 299, 165, "ＭＳ Ｐゴシック", 9,
     WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_MODALFRAME, WS_EX_APPWINDOW,
     kMainControls},
    {IDD_ABOUTBOX, "ﾊﾞｰｼﾞｮﾝ情報", 227, 55, "ＭＳ Ｐゴシック", 9,
     WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, 0, kAboutControls},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const DialogTemplate& t : kTemplates) {
        if (t.id == id) return &t;
    }
    return nullptr;
}

}  // namespace veldra
