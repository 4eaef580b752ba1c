// The Create button: from the press to the finished medium. The steps are the
// media writer's; this is their order, the questions, the status line, the
// progress bar and the log entry.
#include "app/tavexfd_app.h"
#include "app/tavexfd_dlg.h"
#include "disk/disk_info.h"
#include "media/file_copy.h"
#include "media/medium_check.h"
#include "media/progress_plan.h"
#include "media/read_back.h"
#include "media/sector_plan.h"
#include "media/sector_writer.h"
#include "media/usb_layout.h"
#include "media/volume_lock.h"
#include "platform/mbcs.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

MediaContext CTAVEXFDDlg::Media() {
    CDiskInfo& disk = *TheDiskInfo();
    MediaContext context{disk.Ports(), disk, *this, App().m_strDataName};
    if (PassLocks* locks = m_pPassLocks) context.renewLocks = [locks] { locks->Renew(); };
    return context;
}

bool CTAVEXFDDlg::AskYesNo(const std::string& text) {
    return AfxMessageBox(text, MB_YESNO | MB_ICONINFORMATION) == IDYES;
}

// The bar stops at its maximum: the final pass's steps come on top of those
// the range counts. Painted at once: the handler takes no messages until the
// creation ends, and from Windows Vista on nothing else would show the step.
// There the themed bar of Common Controls 6 moves up to a new position on its
// own timer messages, which no loop dispatches during a creation, while a move
// down is drawn at once: the bar is set one past the step (in a range one
// longer, for the last) and back.
void CTAVEXFDDlg::StepProgress() {
    int position = m_prgProgress.GetPos();
    if (position < m_nProgressTotal) ++position;
    if (App().m_nMajorVersion >= 6) {
        m_prgProgress.SetRange(0, static_cast<WORD>(m_nProgressTotal + 1));
        m_prgProgress.SetPos(position + 1);
        m_prgProgress.SetPos(position);
        m_prgProgress.SetRange(0, static_cast<WORD>(m_nProgressTotal));
    } else {
        m_prgProgress.SetPos(position);
    }
    m_prgProgress.UpdateWindow();
    TakeSentMessages();
}

// The status line, painted at once for the same reason.
void CTAVEXFDDlg::ShowStatus(UINT id) {
    m_stcStatus.SetWindowTextA(LoadText(id));
    m_stcStatus.UpdateWindow();
}

// Clicks and keys made while a creation ran wait in the queue and would reach
// the dialog afterwards: a second press of Create would start another
// creation the operator never saw coming. They go unread.
void CTAVEXFDDlg::DiscardQueuedInput() {
    MSG message{};
    while (m_ports.ui.PeekMessageA(&message, NULL_HWND, WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
    }
    while (m_ports.ui.PeekMessageA(&message, NULL_HWND, WM_MOUSEFIRST, WM_MOUSELAST, PM_REMOVE)) {
    }
}

void CTAVEXFDDlg::PrepareTarget(CreateTarget& target) {
    int selection = m_cmbDrive.GetCurSel();
    target.strDrive = m_cmbDrive.GetLBText(selection);
    target.pDrive = &m_DriveList.Records[static_cast<std::size_t>(selection)];
    target.platformId = App().m_nPlatformId;
    target.pHeader = &App().m_DataHeader;
}

StepResult CTAVEXFDDlg::ResetDriveLayout(HANDLE device) {
    MediaContext context = Media();
    return veldra::ResetDriveLayout(context, device);
}

StepResult CTAVEXFDDlg::WriteSectorEntries(CreateTarget& target, BYTE* buffer, int bufferSize,
                                           int pass) {
    MediaContext context = Media();
    return veldra::WriteSectorEntries(context, target, buffer, bufferSize, static_cast<BYTE>(pass),
                                      WriterSettings{m_nWriteDelay, m_nWriteRetry});
}

StepResult CTAVEXFDDlg::CopyFileEntries(CreateTarget& target, BYTE* buffer, int bufferSize) {
    MediaContext context = Media();
    return veldra::CopyFileEntries(context, target, buffer, bufferSize);
}

StepResult CTAVEXFDDlg::StampFloppyFiles(CreateTarget& target) {
    MediaContext context = Media();
    return veldra::StampFloppyFiles(context, target);
}

StepResult CTAVEXFDDlg::VerifySectorEntries(CreateTarget& target, BYTE* buffer, int bufferSize,
                                            int pass) {
    MediaContext context = Media();
    return veldra::VerifySectorEntries(context, target, buffer, bufferSize,
                                       static_cast<BYTE>(pass));
}

StepResult CTAVEXFDDlg::VerifyFileEntries(CreateTarget& target, BYTE* buffer, int bufferSize) {
    MediaContext context = Media();
    return veldra::VerifyFileEntries(context, target, buffer, bufferSize);
}

// A floppy is written through its volume, anything else as a whole disk.
HANDLE CTAVEXFDDlg::OpenSelectedTarget(CreateTarget& target) {
    return target.pDrive->DeviceClass == DEVCLASS_FLOPPY ? OpenTargetVolume(target)
                                                         : OpenTarget(target);
}

// What the failed opening found. A refusal (no right to write the device, a
// policy against writing removable disks, the medium's write-protect switch)
// is no missing medium: the operator is told what to change.
std::string CTAVEXFDDlg::OpenFailureText(const CreateTarget& target) {
    if (target.diskDoubtful)
        return FormatMessageText(LoadText(IDS_DISK_NOT_IDENTIFIED), target.strDrive);
    if (target.openError == ERROR_ACCESS_DENIED)
        return FormatMessageText(LoadText(IDS_WRITE_DENIED), target.strDrive);
    if (target.openError == ERROR_WRITE_PROTECT)
        return FormatMessageText(LoadText(IDS_WRITE_PROTECTED), target.strDrive);
    return LoadText(IDS_NO_MEDIUM);
}

// Only an answer that the root holds nothing lets the stick go without the
// question: a root that cannot be read (BitLocker, a file system Windows
// does not know, RAW) is the likeliest to hold someone's data. The search is
// closed before the question is asked.
bool CTAVEXFDDlg::StickRootIsEmpty(const CreateTarget& target) {
    WIN32_FIND_DATAA found{};
    std::string pattern = target.strDrive + "\\*.*";
    UniqueFindHandle search(m_ports.system, m_ports.files.FindFirstFileA(pattern.c_str(), &found));
    if (search) return false;
    DWORD error = m_ports.system.GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
}

// The record of a drive that was unclassified, classified anew from what its
// letter answers now.
void CTAVEXFDDlg::ClassifyAgain(DriveRecord& record) {
    if (record.Letters.empty()) return;
    TheDiskInfo()->ScanDriveLetters(m_LetterTable);
    const LetterEntry& entry =
        m_LetterTable.Entries[static_cast<std::size_t>(AsciiUpper(record.Letters[0]) - 'A')];
    if (entry.DriveType != static_cast<std::int32_t>(DRIVE_REMOVABLE)) return;
    record.Name = entry.Name;
    record.DeviceNumber = entry.DeviceNumber;
    record.DeviceClass = entry.DeviceClass;
    record.Unlinked = entry.Unlinked;
}

// The file steps go through the picked letter: once the disk's new table has
// been read, that letter may stand on another volume than the disk written
// (Windows 10 1703 and later mount every partition of a removable disk, in an
// order of their own). Then nothing more is written.
StepResult CTAVEXFDDlg::CheckLetterOnTarget(CreateTarget& target) {
    if (target.pDrive->DeviceClass == DEVCLASS_FLOPPY ||
        StillOnListedDisk(*TheDiskInfo(), *target.pDrive)) {
        return StepResult::Done;
    }
    ShowStopMessage(LoadText(IDS_NO_MEDIUM));
    target.deviceMoved = true;
    return StepResult::Failed;
}

void CTAVEXFDDlg::CloseTargetDevice(CreateTarget& target) {
    if (target.hDevice != INVALID_HANDLE_VALUE) m_ports.system.CloseHandle(target.hDevice);
    target.hDevice = INVALID_HANDLE_VALUE;
    target.pDrive->Device = INVALID_HANDLE_VALUE;
}

void CTAVEXFDDlg::OnCreateMedia() {
    const DataFileHeader& header = App().m_DataHeader;
    bool usbMedium = header.MediaKind() == MEDIA_USB;
    m_nProgressTotal = ProgressTotal(header, m_nVerify != 0);
    m_prgProgress.SetRange(0, static_cast<WORD>(m_nProgressTotal));
    m_prgProgress.SetStep(1);
    m_prgProgress.UpdateWindow();

    if (m_cmbDrive.GetCurSel() == CB_ERR) {
        ShowStopMessage(LoadText(usbMedium ? IDS_NO_USB_MEMORY : IDS_NO_FLOPPY_DRIVE));
        return;
    }
    CreateTarget target;
    PrepareTarget(target);

    if (usbMedium && target.pDrive->DeviceClass == DEVCLASS_FLOPPY) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_FLOPPY_DRIVE_FOR_USB), target.strDrive));
        return;
    }
    // A letter whose volume lies on another disk than the number it answers
    // (a RAM or virtual disk) would have that other disk written.
    if (target.pDrive->Unlinked) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_DISK_NOT_IDENTIFIED), target.strDrive));
        return;
    }
    UINT confirmation = usbMedium ? IDS_CONFIRM_USB : IDS_CONFIRM_FLOPPY;
    if (!AskYesNo(FormatMessageText(LoadText(confirmation), target.strDrive))) return;
    // The operator may just have put in the medium the question asked for: a
    // drive that was empty and stayed unclassified is looked at again.
    if (target.pDrive->DeviceClass == DEVCLASS_NONE) ClassifyAgain(*target.pDrive);
    if (usbMedium && !StickRootIsEmpty(target) &&
        AfxMessageBox(LoadText(IDS_FILES_LEFT_ON_USB), MB_OKCANCEL) != IDOK) {
        return;
    }

    m_ports.ui.UpdateWindow(m_hWnd);
    ShowStatus(IDS_CREATING);
    if (OpenSelectedTarget(target) == INVALID_HANDLE_VALUE) {
        ShowStopMessage(OpenFailureText(target));
        ShowStatus(IDS_CREATE_FAILED);
        // A stick swapped since the list was made: the list shows what is there now.
        if (target.deviceMoved) RefillDriveBox();
        return;
    }
    // A medium that cannot take the data file is left as it is, partition
    // table and all.
    MediaContext checks = Media();
    if (CheckMedium(checks, target) != StepResult::Done) {
        ShowStatus(IDS_CREATE_FAILED);
        CloseTargetDevice(target);
        return;
    }
    CTAVEXFDApp& app = App();
    UniqueFileHandle dataFile(
        m_ports.system,
        m_ports.files.CreateFileA(app.m_strDataPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
    if (!dataFile) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_CANNOT_OPEN), app.m_strDataName));
        ShowStatus(IDS_CREATE_FAILED);
        CloseTargetDevice(target);
        return;
    }
    target.hDataFile = dataFile.get();

    HCURSOR previousCursor = m_ports.ui.SetCursor(m_ports.ui.LoadCursorA(SYSTEM_CURSOR_WAIT));
    ShowStatus(IDS_CREATING);

    bool wholeDisk = target.pDrive->DeviceClass != DEVCLASS_FLOPPY;
    CDiskInfo& disk = *TheDiskInfo();
    StepResult result = StepResult::Done;
    {
        PassLocks locks(disk, target);
        m_pPassLocks = &locks;
        if (wholeDisk) result = ResetDriveLayout(target.hDevice);
        if (result == StepResult::Done)
            result = WriteSectorEntries(target, m_pWorkBuffer, m_nWorkBufferSize, PASS_IMAGE);
        if (result == StepResult::Done && m_nVerify)
            result = VerifySectorEntries(target, m_pWorkBuffer, m_nWorkBufferSize, PASS_IMAGE);
        // The image wrote the stick's own partition table: the system is to
        // read it, so that the stick's volume comes back.
        if (wholeDisk) RereadDriveLayout(disk.Ports(), target.hDevice);
        m_pPassLocks = nullptr;
    }
    // The files go through the file system and the drive letter, never
    // through the raw device.
    CloseTargetDevice(target);
    if (result == StepResult::Done && wholeDisk) AwaitVolume(disk.Ports(), target.strDrive);
    if (result == StepResult::Done) result = CheckLetterOnTarget(target);
    if (result == StepResult::Done)
        result = CopyFileEntries(target, m_pWorkBuffer, m_nWorkBufferSize);
    if (result == StepResult::Done && m_nVerify)
        result = VerifyFileEntries(target, m_pWorkBuffer, m_nWorkBufferSize);
    if (result == StepResult::Done) result = CheckLetterOnTarget(target);
    if (result == StepResult::Done) result = StampFloppyFiles(target);
    if (result == StepResult::Done) {
        if (OpenSelectedTarget(target) == INVALID_HANDLE_VALUE) {
            ShowStopMessage(OpenFailureText(target));
            result = StepResult::NotReopened;
        } else {
            PassLocks locks(disk, target);
            m_pPassLocks = &locks;
            result = WriteSectorEntries(target, m_pWorkBuffer, m_nWorkBufferSize, PASS_FINAL);
            if (result == StepResult::Done && m_nVerify)
                result = VerifySectorEntries(target, m_pWorkBuffer, m_nWorkBufferSize, PASS_FINAL);
            m_pPassLocks = nullptr;
        }
        CloseTargetDevice(target);
    }
    dataFile.close();
    target.hDataFile = INVALID_HANDLE_VALUE;

    m_ports.ui.SetCursor(previousCursor);
    m_prgProgress.SetRange(0, 0);
    m_prgProgress.SetPos(0);
    m_prgProgress.UpdateWindow();
    if (result != StepResult::Done) {
        ShowStatus(IDS_CREATE_FAILED);
        if (target.deviceMoved) RefillDriveBox();
        return;
    }
    ShowStatus(IDS_CREATE_DONE);
    // Only a data file that asks for it records its creations; any other
    // content kind (an installation's 128 among them) appends nothing.
    if (header.ContentKind() == CONTENT_LOGGED) WriteCreationLog(LOG_MEDIA_CREATED);
}

}  // namespace veldra
