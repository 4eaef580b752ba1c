// The main dialog: the operator picks a program and a drive and presses
// Create. It owns the drive list, the work buffer, the writer settings and the
// controls. Its operations are thin: each hands over to the subsystem that
// owns the rule, and the dialog shows what the subsystem reports.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "app/framework/controls.h"
#include "app/framework/dialog.h"
#include "app/media_definition.h"
#include "disk/drive_types.h"
#include "disk/target_open.h"
#include "media/media_reporter.h"
#include "records/creation_log.h"
#include "records/data_file_format.h"
#include "records/data_file_reader.h"
#include "records/records_reporter.h"
#include "records/startup_check.h"

namespace veldra {

class PassLocks;

class CTAVEXFDApp;

class CTAVEXFDDlg : public CDialog,
                    public RecordsReporter,
                    public MediaReporter,
                    private ListedDataFiles {
public:
    static constexpr int kWorkBufferSize = 65536;

    explicit CTAVEXFDDlg(Ports& ports);
    ~CTAVEXFDDlg() override;

    // Media definition file.
    ProgramLoad LoadProgramList(const std::string& iniPath);
    ProgramLoad LoadProgramEntry(const std::string& iniPath, int entryNumber, int mode);
    void SaveProgramSelection();

    // Data files.
    HeaderRead ReadDataFileHeader(const std::string& path, int mode, DataFileHeader* destination);
    DataFileCheck CheckDataFiles();

    // Creation log.
    BOOL WriteCreationLog(int kind);
    std::string BuildLogDateLine();

    // Installation run.
    BOOL IsExistingDirectory(const std::string& path);

    // Drive discovery.
    DriveListRefresh RefreshDriveList(DriveList& list);

    void SetupForProgram();
    // The drive box anew from a fresh drive list, keeping the letter picked
    // where it is still listed (the line picked otherwise).
    void RefillDriveBox();
    BYTE* AllocWorkBuffer(int* size);

    // Drive discovery and the target of a creation.
    HANDLE OpenTarget(CreateTarget& target);
    HANDLE OpenTargetVolume(CreateTarget& target);

    // The Create command and its steps.
    void PrepareTarget(CreateTarget& target);
    StepResult ResetDriveLayout(HANDLE device);
    StepResult WriteSectorEntries(CreateTarget& target, BYTE* buffer, int bufferSize, int pass);
    StepResult CopyFileEntries(CreateTarget& target, BYTE* buffer, int bufferSize);
    StepResult StampFloppyFiles(CreateTarget& target);
    StepResult VerifySectorEntries(CreateTarget& target, BYTE* buffer, int bufferSize, int pass);
    StepResult VerifyFileEntries(CreateTarget& target, BYTE* buffer, int bufferSize);

    // RecordsReporter and MediaReporter
    std::string LoadText(UINT id) override;
    void ShowStopMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    void StepProgress() override;

    HICON m_hIcon = NULL_HICON;
    int m_nProgramIndex = 0;
    int m_nWriteDelay = kDefaultWriteDelay;
    int m_nWriteRetry = kDefaultWriteRetry;
    int m_nVerify = 0;  // not 0: every step's writes are read back
    BYTE* m_pWorkBuffer = nullptr;
    int m_nWorkBufferSize = 0;
    std::string m_strMessage;
    DriveList m_DriveList;
    LetterTable m_LetterTable;
    // A creation runs: its target record points into the drive list, and
    // its message boxes run loops that take WM_DEVICECHANGE. A volume that
    // came or went meanwhile refills the box once the creation has ended.
    bool m_bCreating = false;
    bool m_bDrivesChanged = false;
    // The shell's "QueryCancelAutoPlay" (0 where it could not be registered).
    UINT m_nQueryCancelAutoPlay = 0;

    CComboBox m_cmbProgram;
    CEdit m_edtMediaKind;
    CComboBox m_cmbDrive;
    CButton m_btnCreate;
    CStatic m_stcStatus;
    CProgressCtrl m_prgProgress;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    BOOL OnCommand(WORD id, WORD notifyCode) override;
    BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

private:
    // Message handlers.
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnDestroy();
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnSelchangeProgram();
    void OnCreateMedia();
    void OnDeviceChange(WPARAM event, LPARAM data);
    void TakeSentMessages();

    // ListedDataFiles: entry n of the program list, paths only.
    std::optional<ListedDataFile> EntryPaths(int entryNumber) override;

    BOOL RunInstallSteps();
    void CloseAtStartup();
    void FreeWorkBuffer();
    RecordsContext Records();
    MediaContext Media();
    HANDLE OpenSelectedTarget(CreateTarget& target);
    std::string OpenFailureText(const CreateTarget& target);
    bool StickRootIsEmpty(const CreateTarget& target);
    void ClassifyAgain(DriveRecord& record);
    StepResult CheckLetterOnTarget(CreateTarget& target);
    void CloseTargetDevice(CreateTarget& target);
    void ShowStatus(UINT id);
    void DiscardQueuedInput();
    int m_nProgressTotal = 0;
    PassLocks* m_pPassLocks = nullptr;  // the locks of the pass being written, if any
    CTAVEXFDApp& App();
};

}  // namespace veldra
