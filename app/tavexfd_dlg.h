// The main dialog: the operator picks a program and a drive and presses
// Create. It owns the drive list, the work buffer, the writer settings and the
// controls; the operations of the records and media subsystems are its members
// and live in those subsystems' folders.
#pragma once

#include <cstddef>
#include <string>

#include "app/framework/controls.h"
#include "app/framework/dialog.h"
#include "disk/drive_types.h"
#include "records/data_file_format.h"

namespace veldra {

class CTAVEXFDApp;

// Entry kinds of the creation log.
enum : int {
    LOG_MEDIA_CREATED = 0,
    LOG_INSTALLED = 128,
};

// Results of the start-up check of the data files.
enum : int {
    CHECK_OK = 0,
    CHECK_REPORTED = -1,    // a step showed its own message
    CHECK_NO_PROGRAMS = 2,  // "FILES" missing or 0
    CHECK_CANNOT_OPEN = 3,
    CHECK_NOT_DATA_FILE = 4,
    CHECK_BROKEN = 7,
};

class CTAVEXFDDlg : public CDialog {
public:
    static constexpr int kWorkBufferSize = 65536;
    static constexpr int kDefaultWriteDelay = 100;
    static constexpr int kMinimumWriteDelay = 50;
    static constexpr int kDefaultWriteRetry = 5;

    explicit CTAVEXFDDlg(Ports& ports);
    ~CTAVEXFDDlg() override;

    // Media definition file.
    int LoadProgramList(const std::string& iniPath);
    int LoadProgramEntry(const std::string& iniPath, int entryNumber, int mode);
    void SaveProgramSelection();

    // Data files.
    int ReadDataFileHeader(const std::string& path, int mode, DataFileHeader* destination);
    int CheckDataFiles();

    // Creation log.
    BOOL WriteCreationLog(int kind);
    std::string BuildLogDateLine();

    // Installation run.
    BOOL IsExistingDirectory(const std::string& path);

    // Drive discovery.
    int RefreshDriveList(DriveList& list);

    void SetupForProgram();
    BYTE* AllocWorkBuffer(int* size);

    HICON m_hIcon = NULL_HICON;
    int m_nProgramIndex = 0;
    int m_nWriteDelay = kDefaultWriteDelay;
    int m_nWriteRetry = kDefaultWriteRetry;
    BYTE* m_pWorkBuffer = nullptr;
    int m_nWorkBufferSize = 0;
    std::string m_strMessage;
    DriveList m_DriveList;
    LetterTable m_LetterTable;

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

    BOOL RunInstallSteps();
    void CloseAtStartup();
    void FreeWorkBuffer();
    std::string LoadText(UINT id);
    int ShowStopMessage(const std::string& text);
    CTAVEXFDApp& App();
};

}  // namespace veldra
