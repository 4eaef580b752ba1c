#include "sim/fat/fat_volume.h"

#include "sim/fat/fat_file.h"
#include "sim/kernel/errors.h"

namespace veldra::sim {

FatVolume::FatVolume(BlockDevice& medium, LocalClock clock, std::int32_t zoneMinutes)
    : m_medium(medium), m_clock(std::move(clock)), m_nZoneMinutes(zoneMinutes) {}

std::optional<std::uint64_t> FatVolume::FreeBytes() const {
    std::optional<FatMount> mount;
    std::uint32_t free = 0;
    if (FatMount::Open(m_medium, &mount) || mount->View().table.CountFree(&free)) return 0;
    return std::uint64_t{free} * mount->Layout().clusterBytes;
}

DWORD FatVolume::Find(const VolumePath& directory, const std::string& name,
                      std::optional<VolumeEntry>* entry) {
    entry->reset();
    std::optional<FatMount> mount;
    if (DWORD error = FatMount::Open(m_medium, &mount)) return error;
    std::uint32_t at = 0;
    if (DWORD error = mount->DirectoryAt(directory, &at)) return error;
    std::optional<FatFound> found;
    if (DWORD error = FindEntry(mount->View(), at, name, &found)) return error;
    if (found) *entry = VolumeEntry{found->name, found->IsDirectory()};
    return ERROR_SUCCESS;
}

DWORD FatVolume::List(const VolumePath& directory, std::vector<std::string>* names) {
    names->clear();
    std::optional<FatMount> mount;
    if (DWORD error = FatMount::Open(m_medium, &mount)) return error;
    std::uint32_t at = 0;
    if (DWORD error = mount->DirectoryAt(directory, &at)) return error;
    return ForEachEntry(mount->View(), at, [&](const FatFound& found) {
        names->push_back(found.name);
        return false;
    });
}

DWORD FatVolume::Info(const VolumePath& path, VolumeEntryInfo* info) {
    std::optional<FatMount> mount;
    if (DWORD error = FatMount::Open(m_medium, &mount)) return error;
    *info = VolumeEntryInfo{};
    if (path.empty()) {
        // The root has no entry, so no times either.
        info->attributes = FILE_ATTRIBUTE_DIRECTORY;
        info->creationTime = info->lastAccessTime = info->lastWriteTime = FILETIME{0, 0};
        return ERROR_SUCCESS;
    }
    std::uint32_t parent = 0;
    std::optional<FatFound> found;
    if (DWORD error = mount->EntryAt(path, &parent, &found)) return error;
    const std::uint8_t* e = found->entry.data();
    DWORD attributes = e[11] & (kAttrChangeable | kAttrDirectory);
    info->attributes = attributes ? attributes : FILE_ATTRIBUTE_NORMAL;
    info->creationTime = FileTimeFromFat(Le16(e + 16), Le16(e + 14), e[13], m_nZoneMinutes);
    info->lastAccessTime = FileTimeFromFat(Le16(e + 18), 0, 0, m_nZoneMinutes);
    info->lastWriteTime = FileTimeFromFat(Le16(e + 24), Le16(e + 22), 0, m_nZoneMinutes);
    info->size = found->IsDirectory() ? 0 : Le32(e + 28);
    return ERROR_SUCCESS;
}

DWORD FatVolume::SetAttributes(const VolumePath& path, DWORD attributes) {
    std::optional<FatMount> mount;
    if (DWORD error = FatMount::Open(m_medium, &mount)) return error;
    if (path.empty()) throw NotImplementedError("SetFileAttributesA on the root of a FAT volume");
    std::uint32_t parent = 0;
    std::optional<FatFound> found;
    if (DWORD error = mount->EntryAt(path, &parent, &found)) return error;
    std::uint8_t* e = found->entry.data();
    e[11] = static_cast<std::uint8_t>((e[11] & ~kAttrChangeable) | (attributes & kAttrChangeable));
    return WriteEntry(mount->View(), found->offset, e);
}

std::unique_ptr<VolumeFile> FatVolume::Open(const VolumePath& path, const VolumeOpen& how,
                                            DWORD* error) {
    std::optional<FatMount> mount;
    if ((*error = FatMount::Open(m_medium, &mount))) return nullptr;
    if (path.empty()) {
        *error = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    const FatLayout& layout = mount->Layout();
    FatView& view = mount->View();
    std::array<std::uint8_t, kEntryBytes> entry{};
    std::uint64_t offset = 0;
    if (how.create) {
        std::uint32_t parent = 0;
        if ((*error = mount->DirectoryAt(std::span(path).first(path.size() - 1), &parent))) {
            return nullptr;
        }
        // New files are marked for backup, as Windows marks them.
        entry[11] =
            static_cast<std::uint8_t>((how.attributes & kAttrChangeable) | FILE_ATTRIBUTE_ARCHIVE);
        FatStamp now = FatStampFromLocal(m_clock());
        entry[13] = now.centiseconds;
        PutLe16(&entry[14], now.time);
        PutLe16(&entry[16], now.date);
        PutLe16(&entry[18], now.date);
        PutLe16(&entry[22], now.time);
        PutLe16(&entry[24], now.date);
        *error = CreateEntry(view, parent, path.back(), entry, &offset);
        // A directory that grew has clusters to record, even when the entry failed.
        DWORD flushError = view.table.Flush();
        if (!*error) *error = flushError;
        if (!*error) *error = ReadEntry(view, offset, entry.data());
    } else {
        std::uint32_t parent = 0;
        std::optional<FatFound> found;
        if ((*error = mount->EntryAt(path, &parent, &found))) return nullptr;
        if (found->IsDirectory()) {
            *error = ERROR_ACCESS_DENIED;
            return nullptr;
        }
        offset = found->offset;
        entry = found->entry;
        if (how.truncate) {
            // The entry lets go of its chain before the chain is freed.
            std::uint32_t first = FirstCluster(layout, entry.data());
            SetFirstCluster(layout, entry.data(), 0);
            PutLe32(&entry[28], 0);
            *error = WriteEntry(view, offset, entry.data());
            if (!*error && layout.IsCluster(first)) *error = view.table.FreeChain(first);
            DWORD flushError = view.table.Flush();
            if (!*error) *error = flushError;
        }
    }
    if (*error) return nullptr;
    ShortName name;
    std::copy(entry.begin(), entry.begin() + name.size(), name.begin());
    return std::make_unique<FatFile>(m_medium, m_clock, offset, name, how.create || how.truncate,
                                     m_nZoneMinutes);
}

}  // namespace veldra::sim
