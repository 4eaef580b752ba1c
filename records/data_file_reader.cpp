#include "records/data_file_reader.h"

#include "platform/handle.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {

namespace {

struct HeaderBytes {
    DataFileHeader header;
    DWORD read = 0;
    std::uint64_t fileSize = 0;
};

// The header and the file's size. The file is open no longer than that: the
// boxes that follow wait for the operator.
bool ReadHeaderBytes(RecordsContext& context, const std::string& path, HeaderBytes* bytes) {
    UniqueFileHandle file(context.system,
                          context.files.CreateFileA(path.c_str(), GENERIC_READ, 0, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL));
    if (!file) return false;
    if (!context.files.ReadFile(file.get(), bytes->header.bytes.data(), HDR_SIZE, &bytes->read))
        bytes->read = 0;
    DWORD sizeHigh = 0;
    DWORD sizeLow = context.files.GetFileSize(file.get(), &sizeHigh);
    bytes->fileSize = (static_cast<std::uint64_t>(sizeHigh) << 32) | sizeLow;
    return true;
}

}  // namespace

HeaderRead ReadHeaderOfDataFile(RecordsContext& context, const std::string& path, int mode,
                                DataFileHeader* destination) {
    if (mode == HDR_PATHS_ONLY) return HeaderRead::Read;

    RecordsReporter& reporter = context.reporter;
    std::string title = FileTitleOf(path);
    HeaderBytes bytes;
    if (!ReadHeaderBytes(context, path, &bytes)) {
        reporter.ShowStopMessage(FormatMessageText(reporter.LoadText(IDS_CANNOT_OPEN), title));
        return HeaderRead::Refused;
    }
    HeaderVerdict verdict =
        CheckDataFileHeader(std::span<const BYTE>(bytes.header.bytes.data(), bytes.read),
                            bytes.fileSize, reporter.LoadText(IDS_DATA_SIGNATURE));
    if (verdict == HeaderVerdict::NotDataFile) {
        reporter.ShowStopMessage(FormatMessageText(reporter.LoadText(IDS_NOT_DATA_FILE), title));
        return HeaderRead::Refused;
    }
    if (verdict == HeaderVerdict::Broken) {
        reporter.ShowStopMessage(FormatMessageText(reporter.LoadText(IDS_DATA_BROKEN), title));
        return HeaderRead::Refused;
    }
    *destination = bytes.header;
    return HeaderRead::Read;
}

}  // namespace veldra
