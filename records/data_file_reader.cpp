#include "records/data_file_reader.h"

#include "platform/handle.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

HeaderRead ReadHeaderOfDataFile(RecordsContext& context, const std::string& path, int mode,
                                DataFileHeader* destination) {
    if (mode == HDR_PATHS_ONLY) return HeaderRead::Read;

    RecordsReporter& reporter = context.reporter;
    std::string title = FileTitleOf(path);
    UniqueFileHandle file(context.system,
                          context.files.CreateFileA(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL));
    if (!file) {
        reporter.ShowStopMessage(FormatMessageText(reporter.LoadText(IDS_CANNOT_OPEN), title));
        return HeaderRead::Refused;
    }
    DataFileHeader buffer;
    DWORD bytesRead = 0;
    if (!context.files.ReadFile(file.get(), buffer.bytes.data(), HDR_SIZE, &bytesRead))
        bytesRead = 0;
    DWORD sizeHigh = 0;
    DWORD sizeLow = context.files.GetFileSize(file.get(), &sizeHigh);
    std::uint64_t fileSize = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    file.close();

    HeaderVerdict verdict =
        CheckDataFileHeader(std::span<const BYTE>(buffer.bytes.data(), bytesRead), fileSize,
                            reporter.LoadText(IDS_DATA_SIGNATURE));
    if (verdict == HeaderVerdict::NotDataFile) {
        reporter.ShowStopMessage(FormatMessageText(reporter.LoadText(IDS_NOT_DATA_FILE), title));
        return HeaderRead::Refused;
    }
    if (verdict == HeaderVerdict::Broken) {
        reporter.ShowStopMessage(FormatMessageText(reporter.LoadText(IDS_DATA_BROKEN), title));
        return HeaderRead::Refused;
    }
    *destination = buffer;
    return HeaderRead::Read;
}

}  // namespace veldra
