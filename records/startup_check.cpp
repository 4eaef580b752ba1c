#include "records/startup_check.h"

#include "platform/handle.h"
#include "records/data_file_format.h"
#include "records/media_definition_keys.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {
namespace {

DataFileCheckOutcome Failed(DataFileCheck result, RecordsReporter& reporter, UINT textId,
                            const std::string& name) {
    return DataFileCheckOutcome{result, FormatMessageText(reporter.LoadText(textId), name)};
}

}  // namespace

DataFileCheckOutcome CheckListedDataFiles(RecordsContext& context, const std::string& iniPath,
                                          ListedDataFiles& listed) {
    RecordsReporter& reporter = context.reporter;
    int count = static_cast<int>(context.profile.GetPrivateProfileIntA(
        kMediaDefinitionSection, kKeyProgramCount, 0, iniPath.c_str()));
    // A negative count lists nothing either; the program list would refuse it.
    if (count <= 0) {
        return Failed(DataFileCheck::NoPrograms, reporter, IDS_INVALID_FILE, FileTitleOf(iniPath));
    }
    for (int n = 1; n <= count; ++n) {
        std::optional<ListedDataFile> entry = listed.EntryPaths(n);
        if (!entry) return DataFileCheckOutcome{DataFileCheck::Reported, {}};

        // Opened for writing too, so that a read-only data file is refused
        // here rather than halfway through a creation; nothing is written.
        UniqueFileHandle file(
            context.system,
            context.files.CreateFileA(entry->path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        if (!file) return Failed(DataFileCheck::CannotOpen, reporter, IDS_CANNOT_OPEN, entry->name);
        DataFileHeader header;
        DWORD bytesRead = 0;
        if (!context.files.ReadFile(file.get(), header.bytes.data(), HDR_SIZE, &bytesRead) ||
            bytesRead < HDR_SIZE) {
            return Failed(DataFileCheck::NotDataFile, reporter, IDS_NOT_DATA_FILE, entry->name);
        }
        if (!IsHeaderChecksumValid(&header)) {
            return Failed(DataFileCheck::Broken, reporter, IDS_DATA_BROKEN, entry->name);
        }
    }
    return DataFileCheckOutcome{DataFileCheck::Passed, {}};
}

}  // namespace veldra
