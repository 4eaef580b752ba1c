// The header reader: every program listed or selected passes through here.
#include <cstring>

#include "app/message_text.h"
#include "app/tavexfd_dlg.h"
#include "platform/handle.h"
#include "res/resource.h"

namespace veldra {

int CTAVEXFDDlg::ReadDataFileHeader(const std::string& path, int mode,
                                    DataFileHeader* destination) {
    if (mode == HDR_PATHS_ONLY) return 0;

    std::string title = FileTitleOf(path);
    UniqueFileHandle file(m_ports.system,
                          m_ports.files.CreateFileA(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL));
    if (!file) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_CANNOT_OPEN), title));
        return 1;
    }
    DataFileHeader buffer;
    DWORD bytesRead = 0;
    if (!m_ports.files.ReadFile(file.get(), buffer.bytes.data(), HDR_SIZE, &bytesRead))
        bytesRead = 0;
    DWORD sizeHigh = 0;
    DWORD sizeLow = m_ports.files.GetFileSize(file.get(), &sizeHigh);
    std::uint64_t fileSize = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    file.close();

    HeaderVerdict verdict =
        CheckDataFileHeader(std::span<const BYTE>(buffer.bytes.data(), bytesRead), fileSize,
                            LoadText(IDS_DATA_SIGNATURE));
    if (verdict == HeaderVerdict::NotDataFile) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_NOT_DATA_FILE), title));
        return 1;
    }
    if (verdict == HeaderVerdict::Broken) {
        ShowStopMessage(FormatMessageText(LoadText(IDS_DATA_BROKEN), title));
        return 1;
    }
    *destination = buffer;
    return 0;
}

}  // namespace veldra
