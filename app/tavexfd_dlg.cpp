#include "app/tavexfd_dlg.h"

#include "app/about_dlg.h"
#include "app/startup_rules.h"
#include "app/tavexfd_app.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

CTAVEXFDDlg::CTAVEXFDDlg(Ports& ports) : CDialog(ports, IDD_TAVEXFD_DIALOG) {
    m_hIcon = m_ports.ui.LoadIconA(IDR_MAINFRAME);
}

CTAVEXFDDlg::~CTAVEXFDDlg() {
    FreeWorkBuffer();
}

CTAVEXFDApp& CTAVEXFDDlg::App() {
    return *TheApp();
}

std::string CTAVEXFDDlg::LoadText(UINT id) {
    return LoadStringText(m_ports.ui, id);
}

void CTAVEXFDDlg::ShowStopMessage(const std::string& text) {
    AfxMessageBox(text, MB_ICONHAND | MB_OK);
}

void CTAVEXFDDlg::DoDataExchange() {
    m_cmbProgram.Attach(m_ports.ui, GetDlgItem(IDC_CMB_PROGRAM));
    m_edtMediaKind.Attach(m_ports.ui, GetDlgItem(IDC_EDT_MEDIAKIND));
    m_cmbDrive.Attach(m_ports.ui, GetDlgItem(IDC_CMB_DRIVE));
    m_btnCreate.Attach(m_ports.ui, GetDlgItem(IDC_BTN_CREATE));
    m_stcStatus.Attach(m_ports.ui, GetDlgItem(IDC_STC_STATUS));
    m_prgProgress.Attach(m_ports.ui, GetDlgItem(IDC_PRG_PROGRESS));
}

// The dialog's message map.
BOOL CTAVEXFDDlg::OnCommand(WORD id, WORD notifyCode) {
    switch (id) {
        case IDC_BTN_CREATE:
            if (notifyCode != BN_CLICKED) return FALSE;
            m_bCreating = true;
            OnCreateMedia();
            // A volume that arrived after the creation's last step is
            // still the creation's: its query is answered before the
            // dialog takes messages of its own again.
            TakeSentMessages();
            m_bCreating = false;
            DiscardQueuedInput();
            if (m_bDrivesChanged) RefillDriveBox();
            return TRUE;
        case IDC_CMB_PROGRAM:
            if (notifyCode != CBN_SELCHANGE) return FALSE;
            OnSelchangeProgram();
            return TRUE;
        default:
            return FALSE;
    }
}

BOOL CTAVEXFDDlg::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    switch (message) {
        case WM_SYSCOMMAND:
            if ((static_cast<UINT>(wParam) & 0xFFF0u) != IDM_ABOUTBOX) return FALSE;
            OnSysCommand(static_cast<UINT>(wParam), lParam);
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            return FALSE;
        case WM_PAINT:
            if (!m_ports.ui.IsIconic(m_hWnd)) return FALSE;
            OnPaint();
            return TRUE;
        case WM_DEVICECHANGE:
            OnDeviceChange(wParam, lParam);
            *result = TRUE;
            return TRUE;
        case WM_QUERYDRAGICON:
            *result = static_cast<INT_PTR>(HandleBits(OnQueryDragIcon()));
            return TRUE;
        default:
            // While a creation runs, AutoPlay must not offer to format the
            // stick whose volume comes and goes between the passes: one
            // click would wipe it. A dialog answers through DWLP_MSGRESULT.
            if (message == 0 || message != m_nQueryCancelAutoPlay || !m_bCreating) return FALSE;
            m_ports.ui.SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, TRUE);
            *result = TRUE;
            return TRUE;
    }
}

// The shell's query is sent, and a thread takes sent messages only when it
// asks for messages: a creation asks at each step, for a message nobody posts,
// so that no click or key is taken and the query is answered in time.
void CTAVEXFDDlg::TakeSentMessages() {
    if (m_nQueryCancelAutoPlay == 0) return;
    MSG message{};
    m_ports.ui.PeekMessageA(&message, m_hWnd, m_nQueryCancelAutoPlay, m_nQueryCancelAutoPlay,
                            PM_NOREMOVE);
}

// A start-up step failed (its message has been shown): the dialog ends as
// soon as it processes messages.
void CTAVEXFDDlg::CloseAtStartup() {
    PostMessageA(WM_CLOSE);
}

BOOL CTAVEXFDDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    App().m_hMainWnd = m_hWnd;

    HMENU systemMenu = m_ports.ui.GetSystemMenu(m_hWnd, FALSE);
    std::string aboutItem = LoadText(IDS_ABOUTBOX);
    if (systemMenu != NULL_HMENU && !aboutItem.empty()) {
        m_ports.ui.AppendMenuA(systemMenu, MF_SEPARATOR, 0, nullptr);
        m_ports.ui.AppendMenuA(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutItem.c_str());
    }
    m_ports.ui.SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, static_cast<LPARAM>(HandleBits(m_hIcon)));
    m_ports.ui.SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL,
                            static_cast<LPARAM>(HandleBits(m_hIcon)));

    m_nQueryCancelAutoPlay = m_ports.ui.RegisterWindowMessageA("QueryCancelAutoPlay");
    if (App().m_nRunMode == RUNMODE_INSTALL) return RunInstallSteps();

    DataFileCheck check = CheckDataFiles();
    if (check != DataFileCheck::Passed) {
        if (check != DataFileCheck::Reported) ShowStopMessage(m_strMessage);
        CloseAtStartup();
        return TRUE;
    }
    m_pWorkBuffer = AllocWorkBuffer(&m_nWorkBufferSize);
    if (m_pWorkBuffer == nullptr) {
        CloseAtStartup();
        return TRUE;
    }
    if (LoadProgramList(App().m_strIniPath) != ProgramLoad::Loaded) {
        CloseAtStartup();
        return TRUE;
    }
    SetupForProgram();
    return FALSE;
}

BYTE* CTAVEXFDDlg::AllocWorkBuffer(int* size) {
    void* buffer = m_ports.system.HeapAlloc(HEAP_ZERO_MEMORY, kWorkBufferSize);
    if (buffer == nullptr) {
        ShowStopMessage(LoadText(IDS_OUT_OF_MEMORY));
        return nullptr;
    }
    *size = kWorkBufferSize;
    return static_cast<BYTE*>(buffer);
}

void CTAVEXFDDlg::FreeWorkBuffer() {
    if (m_pWorkBuffer == nullptr) return;
    m_ports.system.HeapFree(m_pWorkBuffer);
    m_pWorkBuffer = nullptr;
}

void CTAVEXFDDlg::SetupForProgram() {
    bool usbMedium = App().m_DataHeader.MediaKind() == MEDIA_USB;
    m_edtMediaKind.SetWindowTextA(LoadText(usbMedium ? IDS_MEDIA_USB : IDS_MEDIA_FLOPPY));
    m_btnCreate.SetWindowTextA(LoadText(IDS_CREATE_CAPTION));
    m_btnCreate.EnableWindow(TRUE);
    m_stcStatus.SetWindowTextA(LoadText(IDS_READY));
    RefillDriveBox();
}

void CTAVEXFDDlg::RefillDriveBox() {
    m_bDrivesChanged = false;
    bool usbMedium = App().m_DataHeader.MediaKind() == MEDIA_USB;
    int remembered = m_cmbDrive.GetCurSel();
    std::string letter = remembered == CB_ERR ? std::string() : m_cmbDrive.GetLBText(remembered);
    if (remembered == CB_ERR) remembered = 0;
    m_cmbDrive.ResetContent();

    RefreshDriveList(m_DriveList);
    KeepDrivesForMedium(m_DriveList, usbMedium);
    for (std::int32_t i = 0; i < m_DriveList.Count; ++i) {
        const DriveRecord& record = m_DriveList.Records[static_cast<std::size_t>(i)];
        std::string line = record.Letters.substr(0, 1) + ":";
        if (line == letter) remembered = i;
        m_cmbDrive.AddString(line);
    }
    m_cmbDrive.SetCurSel(remembered < m_DriveList.Count ? remembered : 0);
}

// A stick plugged in or pulled out: the drive box follows, but never under a
// running creation, whose target record is one of the list's.
void CTAVEXFDDlg::OnDeviceChange(WPARAM event, LPARAM data) {
    if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) return;
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_VOLUME) return;
    if (m_bCreating) {
        m_bDrivesChanged = true;
        return;
    }
    RefillDriveBox();
}

void CTAVEXFDDlg::OnSelchangeProgram() {
    int selection = m_cmbProgram.GetCurSel();
    if (selection == m_nProgramIndex) return;
    m_nProgramIndex = selection;
    if (LoadProgramEntry(App().m_strIniPath, selection + 1, HDR_READ) == ProgramLoad::Loaded) {
        SetupForProgram();
        return;
    }
    m_btnCreate.EnableWindow(FALSE);
    m_stcStatus.SetWindowTextA(LoadText(IDS_LOAD_FAILED));
}

// Enter must not end the dialog: there is no default button.
void CTAVEXFDDlg::OnOK() {}

void CTAVEXFDDlg::OnCancel() {
    FreeWorkBuffer();
    EndDialog(IDCANCEL);
}

void CTAVEXFDDlg::OnDestroy() {
    SaveProgramSelection();
}

void CTAVEXFDDlg::OnSysCommand(UINT id, LPARAM lParam) {
    (void)id;
    (void)lParam;
    CAboutDlg about(m_ports);
    about.DoModal();
}

void CTAVEXFDDlg::OnPaint() {
    HDC dc = m_ports.ui.BeginPaint(m_hWnd);
    m_ports.ui.SendMessageA(m_hWnd, WM_ICONERASEBKGND, HandleBits(dc), 0);
    int iconWidth = m_ports.ui.GetSystemMetrics(SM_CXICON);
    int iconHeight = m_ports.ui.GetSystemMetrics(SM_CYICON);
    RECT client;
    m_ports.ui.GetClientRect(m_hWnd, &client);
    int x = (client.right - client.left - iconWidth + 1) / 2;
    int y = (client.bottom - client.top - iconHeight + 1) / 2;
    m_ports.ui.DrawIcon(dc, x, y, m_hIcon);
    m_ports.ui.EndPaint(m_hWnd);
}

HICON CTAVEXFDDlg::OnQueryDragIcon() {
    return m_hIcon;
}

}  // namespace veldra
