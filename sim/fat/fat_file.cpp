#include "sim/fat/fat_file.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "host/fat_time.h"
#include "sim/kernel/errors.h"

namespace veldra::sim {
namespace {

// A FAT file's size is a 32-bit count.
constexpr std::uint64_t kMaxFileSize = 0xFFFFFFFF;

void PutStamp(std::uint8_t* entry, std::size_t timeAt, std::size_t dateAt, const FatStamp& s) {
    PutLe16(entry + timeAt, s.time);
    PutLe16(entry + dateAt, s.date);
}

}  // namespace

FatFile::FatFile(BlockDevice& medium, FatVolume::LocalClock clock, std::uint64_t entryOffset,
                 const ShortName& name, bool modified, std::int32_t zoneMinutes)
    : m_medium(medium),
      m_clock(std::move(clock)),
      m_entryOffset(entryOffset),
      m_name(name),
      m_modified(modified),
      m_nZoneMinutes(zoneMinutes) {}

FatFile::~FatFile() {
    if (!m_closed) Close();
}

DWORD FatFile::Load(std::optional<FatMount>* mount, Entry* entry) {
    if (DWORD error = FatMount::Open(m_medium, mount)) return error;
    if (DWORD error = ReadEntry((*mount)->View(), m_entryOffset, entry->data())) return error;
    std::uint8_t attributes = (*entry)[11];
    bool same = std::equal(m_name.begin(), m_name.end(), entry->begin()) &&
                (attributes & 0x3F) != kAttrLongName &&
                !(attributes & (kAttrDirectory | kAttrVolumeLabel));
    return same ? ERROR_SUCCESS : DWORD{ERROR_FILE_INVALID};
}

DWORD FatFile::Read(std::uint64_t offset, void* buffer, DWORD bytes, DWORD* read) {
    *read = 0;
    std::optional<FatMount> mount;
    Entry entry;
    if (DWORD error = Load(&mount, &entry)) return error;
    std::uint64_t size = Le32(&entry[28]);
    if (offset >= size || bytes == 0) return ERROR_SUCCESS;
    const FatLayout& layout = mount->Layout();
    FatTable& table = mount->View().table;
    std::uint64_t wanted = std::min<std::uint64_t>(bytes, size - offset);
    std::uint32_t cluster = 0;
    DWORD error =
        table.Seek(FirstCluster(layout, entry.data()), offset / layout.clusterBytes, &cluster);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint64_t done = 0;
    while (!error && done < wanted) {
        std::uint64_t within = (offset + done) % layout.clusterBytes;
        std::uint64_t take = std::min<std::uint64_t>(layout.clusterBytes - within, wanted - done);
        error = ReadBytes(mount->View().volume, layout.sectorBytes,
                          layout.ClusterOffset(cluster) + within, out + done, take);
        if (error) break;
        done += take;
        bool end = false;
        if (done < wanted) error = table.Next(cluster, &cluster, &end);
        // The chain must hold the whole size.
        if (!error && end) error = ERROR_FILE_CORRUPT;
    }
    *read = static_cast<DWORD>(done);
    return error;
}

DWORD FatFile::WriteAt(FatMount& mount, Entry& entry, std::uint64_t offset,
                       const std::uint8_t* data, std::size_t bytes, std::size_t* done) {
    *done = 0;
    const FatLayout& layout = mount.Layout();
    FatView& view = mount.View();
    std::uint32_t size = Le32(&entry[28]);
    std::uint32_t first = FirstCluster(layout, entry.data());
    std::uint32_t last = 0;
    std::uint32_t count = 0;
    if (first != 0) {
        if (DWORD error = view.table.Last(first, &last, &count)) return error;
    }
    if (std::uint64_t{count} * layout.clusterBytes < size) return ERROR_FILE_CORRUPT;
    std::uint32_t cluster = 0;  // 0: past the chain's end
    std::uint64_t index = offset / layout.clusterBytes;
    if (index < count) {
        if (DWORD error = view.table.Seek(first, index, &cluster)) return error;
    }
    std::uint32_t hint = last + 1;
    if (last == 0) {
        if (DWORD error = view.table.FreeHint(&hint)) return error;
    }
    DWORD error = ERROR_SUCCESS;
    while (*done < bytes) {
        if (cluster == 0) {
            error = view.table.Allocate(hint, &cluster);
            if (error) break;
            if (last != 0) {
                error = view.table.Link(last, cluster);
            } else {
                SetFirstCluster(layout, entry.data(), cluster);
            }
            last = cluster;
            hint = cluster + 1;
            if (error) break;
        }
        std::uint64_t within = (offset + *done) % layout.clusterBytes;
        std::size_t take = static_cast<std::size_t>(
            std::min<std::uint64_t>(layout.clusterBytes - within, bytes - *done));
        error = WriteBytes(view.volume, layout.sectorBytes, layout.ClusterOffset(cluster) + within,
                           data + *done, take);
        if (error) break;
        *done += take;
        if (*done == bytes) break;
        if (cluster == last) {
            cluster = 0;
        } else {
            bool end = false;
            error = view.table.Next(cluster, &cluster, &end);
            if (!error && end) error = ERROR_FILE_CORRUPT;
            if (error) break;
        }
    }
    if (offset + *done > size) PutLe32(&entry[28], static_cast<std::uint32_t>(offset + *done));
    // The FAT before the entry: a failure between them loses clusters, never data.
    DWORD flushError = view.table.Flush();
    DWORD entryError = WriteEntry(view, m_entryOffset, entry.data());
    return error ? error : flushError ? flushError : entryError;
}

DWORD FatFile::Write(std::uint64_t offset, const void* buffer, DWORD bytes, DWORD* written) {
    *written = 0;
    if (bytes == 0) return ERROR_SUCCESS;
    std::optional<FatMount> mount;
    Entry entry;
    if (DWORD error = Load(&mount, &entry)) return error;
    if (offset >= kMaxFileSize) return ERROR_DISK_FULL;
    std::uint64_t size = Le32(&entry[28]);
    DWORD error = ERROR_SUCCESS;
    // FAT has no holes: what lies between the end and the offset reads as zeros.
    if (offset > size) {
        std::vector<std::uint8_t> zeros(std::min<std::uint64_t>(offset - size, 64 * 1024));
        while (!error && size < offset) {
            std::size_t done = 0;
            std::size_t chunk = std::min<std::uint64_t>(zeros.size(), offset - size);
            error = WriteAt(*mount, entry, size, zeros.data(), chunk, &done);
            size += done;
            m_modified = m_modified || done > 0;
        }
        if (error) return error;
    }
    std::size_t allowed = std::min<std::uint64_t>(bytes, kMaxFileSize - offset);
    std::size_t done = 0;
    error =
        WriteAt(*mount, entry, offset, static_cast<const std::uint8_t*>(buffer), allowed, &done);
    *written = static_cast<DWORD>(done);
    m_modified = m_modified || done > 0;
    if (!error && allowed < bytes) error = ERROR_DISK_FULL;
    return error;
}

DWORD FatFile::Size(std::uint64_t* size) {
    std::optional<FatMount> mount;
    Entry entry;
    if (DWORD error = Load(&mount, &entry)) return error;
    *size = Le32(&entry[28]);
    return ERROR_SUCCESS;
}

// As the FAT driver takes them: a zero time leaves that time as it is; all
// ones leaves it too, and keeps the close from stamping it; a time FAT cannot
// hold fails the whole call before anything changes.
DWORD FatFile::SetTimes(const FILETIME* creation, const FILETIME* lastAccess,
                        const FILETIME* lastWrite) {
    struct Given {
        bool keep = false;  // all ones: left as it is, for the rest of this open
        std::optional<SYSTEMTIME> local;
    };
    auto take = [this](const FILETIME* time, host::FatTimeField field, Given* given) {
        if (time == nullptr || host::IsZeroFileTime(*time)) return true;
        if (host::IsAllOnesFileTime(*time)) {
            given->keep = true;
            return true;
        }
        given->local = host::FatDriverTime(*time, field, m_nZoneMinutes);
        return given->local.has_value();
    };
    Given c, a, w;
    if (!take(creation, host::FatTimeField::Creation, &c) ||
        !take(lastAccess, host::FatTimeField::LastAccess, &a) ||
        !take(lastWrite, host::FatTimeField::LastWrite, &w)) {
        return ERROR_INVALID_PARAMETER;
    }
    std::optional<FatMount> mount;
    Entry entry;
    if (DWORD error = Load(&mount, &entry)) return error;
    if (c.local) {
        FatStamp stamp = FatStampFromLocal(*c.local);
        entry[13] = stamp.centiseconds;
        PutStamp(entry.data(), 14, 16, stamp);
    }
    if (a.local) PutLe16(&entry[18], FatStampFromLocal(*a.local).date);
    if (w.local) PutStamp(entry.data(), 22, 24, FatStampFromLocal(*w.local));
    if (DWORD error = WriteEntry(mount->View(), m_entryOffset, entry.data())) return error;
    // Times given stay; the close does not stamp over them.
    m_lastWriteGiven = m_lastWriteGiven || w.keep || w.local;
    m_lastAccessGiven = m_lastAccessGiven || a.keep || a.local;
    return ERROR_SUCCESS;
}

DWORD FatFile::Close() {
    if (m_closed) return ERROR_SUCCESS;
    m_closed = true;
    if (!m_modified) return ERROR_SUCCESS;
    std::optional<FatMount> mount;
    Entry entry;
    if (DWORD error = Load(&mount, &entry)) return error;
    // As Windows does when a changed file is closed: marked for backup, and
    // stamped with the time unless the program gave one.
    entry[11] |= FILE_ATTRIBUTE_ARCHIVE;
    FatStamp now = FatStampFromLocal(m_clock());
    if (!m_lastWriteGiven) PutStamp(entry.data(), 22, 24, now);
    if (!m_lastAccessGiven) PutLe16(&entry[18], now.date);
    return WriteEntry(mount->View(), m_entryOffset, entry.data());
}

}  // namespace veldra::sim
