#include "media/file_copy.h"

#include <algorithm>

#include "media/sector_writer.h"
#include "res/message_text.h"
#include "res/resource.h"

namespace veldra {
namespace {

bool FileTimeIsZero(const FILETIME& t) {
    return t.dwLowDateTime == 0 && t.dwHighDateTime == 0;
}

// An existing file of the entry's name is replaced. Windows will not replace
// a read-only file, nor with these attributes a hidden or system one, so such
// a file loses its attributes first; a folder of that name keeps its own.
void LetReplace(DiskPorts& ports, const std::string& path) {
    WIN32_FIND_DATAA found;
    UniqueFindHandle search(ports.system, ports.files.FindFirstFileA(path.c_str(), &found));
    constexpr DWORD kRefusing =
        FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if (search && !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        (found.dwFileAttributes & kRefusing)) {
        ports.files.SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// Three attempts, a short pause apart; after those the operator decides, as
// often as they like, whether to try three more.
HANDLE CreateWithRetries(MediaContext& context, const std::string& path) {
    while (true) {
        for (int attempt = 0; attempt < kFileCreateAttempts; ++attempt) {
            if (attempt > 0) context.ports.system.Sleep(kFileCreatePauseMs);
            HANDLE file = context.ports.files.CreateFileA(path.c_str(), GENERIC_WRITE, 0,
                                                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
            if (file != INVALID_HANDLE_VALUE) return file;
            if (context.ports.system.GetLastError() == ERROR_ACCESS_DENIED)
                LetReplace(context.ports, path);
        }
        if (!context.reporter.AskYesNo(context.reporter.LoadText(IDS_RETRY_WRITE)))
            return INVALID_HANDLE_VALUE;
    }
}

StepResult ReadFailed(MediaContext& context) {
    context.reporter.ShowStopMessage(
        FormatMessageText(context.reporter.LoadText(IDS_READ_ERROR), context.dataName));
    return StepResult::Failed;
}

StepResult CopyOne(MediaContext& context, CreateTarget& target, const DataFileEntry& entry,
                   BYTE* buffer, std::uint32_t bufferSize) {
    DiskPorts& ports = context.ports;
    if (!SeekFile(ports, target.hDataFile, HDR_PAYLOAD_BASE + entry.DataOffset))
        return ReadFailed(context);
    std::string path = target.strDrive + "\\" + entry.FileName;
    UniqueFileHandle file(ports.system, CreateWithRetries(context, path));
    if (!file) return StepResult::Failed;

    std::uint32_t remaining = entry.Size;
    while (remaining > 0) {
        DWORD chunk = std::min(remaining, bufferSize);
        DWORD got = 0;
        if (!ports.files.ReadFile(target.hDataFile, buffer, chunk, &got) || got != chunk)
            return ReadFailed(context);
        DWORD written = 0;
        if (!ports.files.WriteFile(file.get(), buffer, chunk, &written) || written != chunk) {
            context.reporter.ShowStopMessage(MediaWriteError(3));
            return StepResult::Failed;
        }
        remaining -= chunk;
    }
    // The file keeps whatever times the file system gives it when it will not
    // take the entry's (FAT refuses a time outside its years); only the flush
    // and the close decide whether the data reached the medium, past the
    // system's cache and the device's own.
    ports.files.SetFileTime(file.get(), &entry.FileTime, &entry.FileTime, &entry.FileTime);
    if (!ports.files.FlushFileBuffers(file.get()) || !file.close()) {
        context.reporter.ShowStopMessage(MediaWriteError(3));
        return StepResult::Failed;
    }
    context.reporter.StepProgress();
    return StepResult::Done;
}

}  // namespace

StepResult CopyFileEntries(MediaContext& context, CreateTarget& target, BYTE* buffer,
                           int bufferSize) {
    const DataFileHeader& header = *target.pHeader;
    int entries = std::min<int>(header.EntryCount(), HDR_MAX_ENTRIES);
    for (int i = 0; i < entries; ++i) {
        DataFileEntry entry = header.Entry(i);
        if (entry.InUse != ENTRY_IN_USE || entry.Kind != ENTRY_FILE) continue;
        StepResult result =
            CopyOne(context, target, entry, buffer, static_cast<std::uint32_t>(bufferSize));
        if (result != StepResult::Done) return result;
    }
    return StepResult::Done;
}

StepResult StampFloppyFiles(MediaContext& context, CreateTarget& target) {
    if (target.pDrive == nullptr || target.pDrive->DeviceClass != DEVCLASS_FLOPPY)
        return StepResult::Done;
    DiskPorts& ports = context.ports;
    FILETIME stamp = target.pHeader->FileStamp();
    bool stamped = !FileTimeIsZero(stamp);

    WIN32_FIND_DATAA found{};
    std::string pattern = target.strDrive + "\\*.*";
    UniqueFindHandle search(ports.system, ports.files.FindFirstFileA(pattern.c_str(), &found));
    if (!search) return StepResult::Failed;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN)) continue;
        std::string path = target.strDrive + "\\" + found.cFileName;
        UniqueFileHandle file(ports.system,
                              ports.files.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL));
        bool finished = file.valid();
        // As in the copy: a stamp the file system refuses leaves the times.
        if (finished && stamped) ports.files.SetFileTime(file.get(), &stamp, &stamp, &stamp);
        if (finished) finished = file.close();
        if (finished) {
            finished = ports.files.SetFileAttributesA(
                path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        }
        if (!finished) {
            context.reporter.ShowStopMessage(MediaWriteError(4));
            return StepResult::Failed;
        }
    } while (ports.files.FindNextFileA(search.get(), &found));
    context.reporter.StepProgress();
    return StepResult::Done;
}

}  // namespace veldra
