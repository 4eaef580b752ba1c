#include "sim/fat/fat_table.h"

#include <algorithm>
#include <cstring>

#include "sim/kernel/errors.h"

namespace veldra::sim {
namespace {

constexpr std::uint32_t kFsInfoLead = 0x41615252;
constexpr std::uint32_t kFsInfoStruct = 0x61417272;
constexpr std::uint32_t kFsInfoTrail = 0xAA550000;
constexpr std::uint32_t kFreeUnknown = 0xFFFFFFFF;

std::uint32_t EndMarker(FatType type) {
    return type == FatType::Fat12 ? 0xFFF : type == FatType::Fat16 ? 0xFFFF : 0x0FFFFFFF;
}

bool IsEnd(FatType type, std::uint32_t value) {
    return value >= EndMarker(type) - 7;
}

// Where cluster's entry starts within one FAT copy.
std::uint64_t EntryByte(FatType type, std::uint32_t cluster) {
    switch (type) {
        case FatType::Fat12:
            return cluster + cluster / 2;
        case FatType::Fat16:
            return std::uint64_t{cluster} * 2;
        case FatType::Fat32:
            return std::uint64_t{cluster} * 4;
    }
    return 0;
}

std::uint32_t DecodeEntry(FatType type, std::uint32_t cluster, const std::uint8_t* p) {
    switch (type) {
        case FatType::Fat12: {
            std::uint32_t pair = Le16(p);
            return cluster % 2 ? pair >> 4 : pair & 0xFFF;
        }
        case FatType::Fat16:
            return Le16(p);
        case FatType::Fat32:
            return Le32(p) & 0x0FFFFFFF;
    }
    return 0;
}

}  // namespace

DWORD ReadBytes(BlockDevice& volume, std::uint32_t sectorBytes, std::uint64_t offset, void* buffer,
                std::size_t bytes) {
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::vector<std::uint8_t> sector;
    while (bytes > 0) {
        std::size_t within = offset % sectorBytes;
        if (within == 0 && bytes >= sectorBytes) {
            std::size_t whole = bytes - bytes % sectorBytes;
            if (DWORD error = volume.Read(offset, out, whole)) return error;
            out += whole;
            offset += whole;
            bytes -= whole;
            continue;
        }
        sector.resize(sectorBytes);
        if (DWORD error = volume.Read(offset - within, sector.data(), sectorBytes)) return error;
        std::size_t take = std::min<std::size_t>(sectorBytes - within, bytes);
        std::memcpy(out, sector.data() + within, take);
        out += take;
        offset += take;
        bytes -= take;
    }
    return ERROR_SUCCESS;
}

DWORD WriteBytes(BlockDevice& volume, std::uint32_t sectorBytes, std::uint64_t offset,
                 const void* buffer, std::size_t bytes) {
    const auto* in = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> sector;
    while (bytes > 0) {
        std::size_t within = offset % sectorBytes;
        if (within == 0 && bytes >= sectorBytes) {
            std::size_t whole = bytes - bytes % sectorBytes;
            if (DWORD error = volume.Write(offset, in, whole)) return error;
            in += whole;
            offset += whole;
            bytes -= whole;
            continue;
        }
        // Part of a sector: the rest of it stays as it is.
        sector.resize(sectorBytes);
        if (DWORD error = volume.Read(offset - within, sector.data(), sectorBytes)) return error;
        std::size_t take = std::min<std::size_t>(sectorBytes - within, bytes);
        std::memcpy(sector.data() + within, in, take);
        if (DWORD error = volume.Write(offset - within, sector.data(), sectorBytes)) return error;
        in += take;
        offset += take;
        bytes -= take;
    }
    return ERROR_SUCCESS;
}

FatTable::FatTable(BlockDevice& volume, const FatLayout& layout)
    : m_volume(volume), m_layout(layout) {}

DWORD FatTable::Byte(std::uint64_t fatByte, std::uint8_t** byte) {
    std::uint64_t index = fatByte / m_layout.sectorBytes;
    if (index != m_sectorIndex) {
        if (DWORD error = FlushSector()) return error;
        std::uint64_t copy = m_layout.fatOffset + m_layout.activeFat * m_layout.fatBytes;
        m_sectorIndex = ~std::uint64_t{0};
        DWORD error = m_volume.Read(copy + index * m_layout.sectorBytes, m_sector.data(),
                                    m_layout.sectorBytes);
        if (error) return error;
        m_sectorIndex = index;
    }
    *byte = &m_sector[fatByte % m_layout.sectorBytes];
    return ERROR_SUCCESS;
}

DWORD FatTable::FlushSector() {
    if (!m_dirty) return ERROR_SUCCESS;
    for (std::uint32_t copy = 0; copy < m_layout.fatCount; ++copy) {
        if (!m_layout.mirrored && copy != m_layout.activeFat) continue;
        std::uint64_t at =
            m_layout.fatOffset + copy * m_layout.fatBytes + m_sectorIndex * m_layout.sectorBytes;
        if (DWORD error = m_volume.Write(at, m_sector.data(), m_layout.sectorBytes)) return error;
    }
    m_dirty = false;
    return ERROR_SUCCESS;
}

DWORD FatTable::Entry(std::uint32_t cluster, std::uint32_t* value) {
    std::uint64_t at = EntryByte(m_layout.type, cluster);
    std::uint32_t width = m_layout.type == FatType::Fat32 ? 4 : 2;
    std::uint8_t bytes[4];
    for (std::uint32_t i = 0; i < width; ++i) {
        std::uint8_t* byte = nullptr;
        if (DWORD error = Byte(at + i, &byte)) return error;
        bytes[i] = *byte;
    }
    *value = DecodeEntry(m_layout.type, cluster, bytes);
    return ERROR_SUCCESS;
}

DWORD FatTable::SetEntry(std::uint32_t cluster, std::uint32_t value) {
    std::uint64_t at = EntryByte(m_layout.type, cluster);
    std::uint8_t* byte = nullptr;
    auto put = [&](std::uint64_t where, std::uint8_t keepMask, std::uint8_t bits) -> DWORD {
        if (DWORD error = Byte(where, &byte)) return error;
        *byte = static_cast<std::uint8_t>((*byte & keepMask) | bits);
        m_dirty = true;
        return ERROR_SUCCESS;
    };
    switch (m_layout.type) {
        case FatType::Fat12:
            if (cluster % 2) {
                if (DWORD error = put(at, 0x0F, static_cast<std::uint8_t>(value << 4)))
                    return error;
                return put(at + 1, 0x00, static_cast<std::uint8_t>(value >> 4));
            }
            if (DWORD error = put(at, 0x00, static_cast<std::uint8_t>(value))) return error;
            return put(at + 1, 0xF0, static_cast<std::uint8_t>((value >> 8) & 0x0F));
        case FatType::Fat16:
            if (DWORD error = put(at, 0, static_cast<std::uint8_t>(value))) return error;
            return put(at + 1, 0, static_cast<std::uint8_t>(value >> 8));
        case FatType::Fat32:
            // The top four bits are reserved and kept.
            for (int i = 0; i < 4; ++i) {
                std::uint8_t keep = i == 3 ? 0xF0 : 0x00;
                auto bits = static_cast<std::uint8_t>((value >> (8 * i)) & (i == 3 ? 0x0F : 0xFF));
                if (DWORD error = put(at + i, keep, bits)) return error;
            }
            return ERROR_SUCCESS;
    }
    return ERROR_SUCCESS;
}

DWORD FatTable::Next(std::uint32_t cluster, std::uint32_t* next, bool* end) {
    std::uint32_t value = 0;
    if (DWORD error = Entry(cluster, &value)) return error;
    *end = IsEnd(m_layout.type, value);
    if (*end) return ERROR_SUCCESS;
    if (!m_layout.IsCluster(value)) return ERROR_FILE_CORRUPT;
    *next = value;
    return ERROR_SUCCESS;
}

DWORD FatTable::Seek(std::uint32_t first, std::uint64_t index, std::uint32_t* cluster) {
    if (!m_layout.IsCluster(first) || index >= m_layout.clusterCount) return ERROR_FILE_CORRUPT;
    std::uint32_t at = first;
    for (std::uint64_t i = 0; i < index; ++i) {
        bool end = false;
        if (DWORD error = Next(at, &at, &end)) return error;
        if (end) return ERROR_FILE_CORRUPT;
    }
    *cluster = at;
    return ERROR_SUCCESS;
}

DWORD FatTable::Last(std::uint32_t first, std::uint32_t* last, std::uint32_t* count) {
    if (!m_layout.IsCluster(first)) return ERROR_FILE_CORRUPT;
    std::uint32_t at = first;
    // A chain longer than the volume's clusters runs in a loop.
    for (std::uint32_t n = 1; n <= m_layout.clusterCount; ++n) {
        bool end = false;
        std::uint32_t next = 0;
        if (DWORD error = Next(at, &next, &end)) return error;
        if (end) {
            *last = at;
            *count = n;
            return ERROR_SUCCESS;
        }
        at = next;
    }
    return ERROR_FILE_CORRUPT;
}

DWORD FatTable::Allocate(std::uint32_t hint, std::uint32_t* cluster) {
    if (!m_layout.IsCluster(hint)) hint = 2;
    for (std::uint32_t i = 0; i < m_layout.clusterCount; ++i) {
        std::uint32_t candidate = 2 + (hint - 2 + i) % m_layout.clusterCount;
        std::uint32_t value = 0;
        if (DWORD error = Entry(candidate, &value)) return error;
        if (value != 0) continue;
        if (DWORD error = SetEntry(candidate, EndMarker(m_layout.type))) return error;
        --m_freedMinusAllocated;
        m_lastAllocated = candidate;
        *cluster = candidate;
        return ERROR_SUCCESS;
    }
    return ERROR_DISK_FULL;
}

DWORD FatTable::Link(std::uint32_t previous, std::uint32_t next) {
    return SetEntry(previous, next);
}

DWORD FatTable::FreeChain(std::uint32_t first) {
    std::uint32_t at = first;
    // Freed clusters read as free, so even a looping chain ends here.
    for (std::uint32_t n = 0; n < m_layout.clusterCount && m_layout.IsCluster(at); ++n) {
        std::uint32_t value = 0;
        if (DWORD error = Entry(at, &value)) return error;
        bool end = IsEnd(m_layout.type, value);
        if (!end && !m_layout.IsCluster(value)) break;
        if (DWORD error = SetEntry(at, 0)) return error;
        ++m_freedMinusAllocated;
        if (end) break;
        at = value;
    }
    return ERROR_SUCCESS;
}

DWORD FatTable::CountFree(std::uint32_t* free) {
    if (DWORD error = FlushSector()) return error;
    // Read in chunks: a FAT32 of a large stick takes megabytes.
    constexpr std::uint64_t kChunk = 48 * 1024;
    std::vector<std::uint8_t> chunk;
    std::uint64_t chunkStart = 0;
    std::uint64_t copy = m_layout.fatOffset + m_layout.activeFat * m_layout.fatBytes;
    std::uint32_t width = m_layout.type == FatType::Fat32 ? 4 : 2;
    std::uint32_t count = 0;
    for (std::uint32_t cluster = 2; cluster <= m_layout.MaxCluster(); ++cluster) {
        std::uint64_t at = EntryByte(m_layout.type, cluster);
        if (chunk.empty() || at < chunkStart || at + width > chunkStart + chunk.size()) {
            chunkStart = at - at % m_layout.sectorBytes;
            chunk.resize(std::min(kChunk, m_layout.fatBytes - chunkStart));
            if (DWORD error = m_volume.Read(copy + chunkStart, chunk.data(), chunk.size())) {
                return error;
            }
        }
        if (DecodeEntry(m_layout.type, cluster, chunk.data() + (at - chunkStart)) == 0) ++count;
    }
    *free = count;
    return ERROR_SUCCESS;
}

DWORD FatTable::FreeHint(std::uint32_t* hint) {
    *hint = 2;
    if (m_layout.type != FatType::Fat32 || m_layout.fsInfoOffset == 0) return ERROR_SUCCESS;
    std::vector<std::uint8_t> info(m_layout.sectorBytes);
    if (DWORD error = m_volume.Read(m_layout.fsInfoOffset, info.data(), info.size())) return error;
    if (Le32(&info[0]) == kFsInfoLead && Le32(&info[484]) == kFsInfoStruct &&
        m_layout.IsCluster(Le32(&info[492]))) {
        *hint = Le32(&info[492]);
    }
    return ERROR_SUCCESS;
}

DWORD FatTable::UpdateFsInfo() {
    if (m_layout.type != FatType::Fat32 || m_layout.fsInfoOffset == 0 ||
        (m_freedMinusAllocated == 0 && m_lastAllocated == 0)) {
        return ERROR_SUCCESS;
    }
    std::vector<std::uint8_t> info(m_layout.sectorBytes);
    if (DWORD error = m_volume.Read(m_layout.fsInfoOffset, info.data(), info.size())) return error;
    if (Le32(&info[0]) != kFsInfoLead || Le32(&info[484]) != kFsInfoStruct ||
        Le32(&info[508]) != kFsInfoTrail) {
        return ERROR_SUCCESS;  // no FSInfo to keep
    }
    std::uint32_t count = Le32(&info[488]);
    if (count <= m_layout.clusterCount) {
        // A count that was right stays right; one that cannot be becomes unknown.
        std::int64_t updated = std::int64_t{count} + m_freedMinusAllocated;
        bool valid = updated >= 0 && updated <= std::int64_t{m_layout.clusterCount};
        PutLe32(&info[488], valid ? static_cast<std::uint32_t>(updated) : kFreeUnknown);
    }
    if (m_lastAllocated != 0) PutLe32(&info[492], m_lastAllocated);
    if (DWORD error = m_volume.Write(m_layout.fsInfoOffset, info.data(), info.size())) {
        return error;
    }
    m_freedMinusAllocated = 0;
    m_lastAllocated = 0;
    return ERROR_SUCCESS;
}

DWORD FatTable::Flush() {
    if (DWORD error = FlushSector()) return error;
    return UpdateFsInfo();
}

}  // namespace veldra::sim
