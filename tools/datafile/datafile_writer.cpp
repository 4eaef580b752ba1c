#include "tools/datafile/datafile_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>
#include <string_view>

namespace veldra {
namespace {

void CheckText(std::string_view text, std::size_t max, const char* what) {
    if (text.size() > max) {
        throw DataFileError(std::string(what) + " is " + std::to_string(text.size()) +
                            " bytes; at most " + std::to_string(max) + " fit");
    }
    if (text.find('\0') != std::string_view::npos) {
        throw DataFileError(std::string(what) + " contains a NUL byte");
    }
}

void PutText(BYTE* dest, std::string_view text) {
    std::memcpy(dest, text.data(), text.size());
}

void PutFileTime(BYTE* dest, const FILETIME& time) {
    WriteLe32(dest, time.dwLowDateTime);
    WriteLe32(dest + 4, time.dwHighDateTime);
}

void CheckSpec(const DataFileSpec& model) {
    CheckText(model.programName, PROGRAM_NAME_MAX, "program name");
    if (model.entries.size() > static_cast<std::size_t>(HDR_MAX_ENTRIES)) {
        throw DataFileError(std::to_string(model.entries.size()) + " entries; at most " +
                            std::to_string(HDR_MAX_ENTRIES) + " fit");
    }
    if (model.faults.signature && model.faults.signature->size() > HDR_OFFSET_PROGRAM_NAME) {
        throw DataFileError("signature is longer than 16 bytes");
    }
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const DataFileEntrySpec& e = model.entries[i];
        std::string where = "entry " + std::to_string(i + 1);
        if (e.kind == ENTRY_FILE) CheckText(e.fileName, ENTRY_FILE_NAME_MAX, "file name");
        if (e.kind == ENTRY_ZERO_FILL && !e.payload.empty()) {
            throw DataFileError(where + ": a zero fill has no payload");
        }
    }
}

void WriteEntry(BYTE* dest, const DataFileEntrySpec& e, std::uint32_t offset) {
    dest[ENTRY_OFFSET_IN_USE] = e.inUse;
    dest[ENTRY_OFFSET_KIND] = e.kindByte.value_or(e.kind);
    auto length = static_cast<std::uint32_t>(e.payload.size());
    WriteLe32(dest + ENTRY_OFFSET_SIZE, e.size.value_or(length));
    WriteLe32(dest + ENTRY_OFFSET_DATA_OFFSET, e.dataOffset.value_or(offset));
    if (e.kind == ENTRY_FILE) {
        PutFileTime(dest + ENTRY_OFFSET_FILE_TIME, e.fileTime);
        PutText(dest + ENTRY_OFFSET_FILE_NAME, e.fileName);
    } else {
        WriteLe32(dest + ENTRY_OFFSET_START_SECTOR, e.startSector);
    }
}

void ApplyTruncation(std::vector<BYTE>& bytes, const DataFileFaults& faults) {
    if (faults.truncateTo && *faults.truncateTo < bytes.size()) bytes.resize(*faults.truncateTo);
    bytes.resize(bytes.size() - std::min<std::uint64_t>(faults.dropTail, bytes.size()));
}

std::uint64_t PayloadSize(const DataFileSpec& model) {
    std::uint64_t size = 0;
    for (const DataFileEntrySpec& e : model.entries) size += e.payload.size();
    // DataOffset is 32 bits wide; every payload byte must be reachable by it.
    if (size > std::numeric_limits<std::uint32_t>::max()) {
        throw DataFileError("payloads total more than 4 GiB");
    }
    return size;
}

// Fields, entries and checksum; `faults` are the ones that change the header.
void LayHeader(std::span<BYTE, HDR_SIZE> header, const DataFileSpec& model,
               const DataFileFaults& faults) {
    PutText(&header[HDR_OFFSET_SIGNATURE], faults.signature.value_or(DATA_FILE_SIGNATURE));
    PutText(&header[HDR_OFFSET_PROGRAM_NAME], model.programName);
    header[HDR_OFFSET_CONTENT_KIND] = model.contentKind;
    header[HDR_OFFSET_MEDIA_KIND] = model.mediaKind;
    header[HDR_OFFSET_ENTRY_COUNT] =
        faults.entryCount.value_or(static_cast<BYTE>(model.entries.size()));
    PutFileTime(&header[HDR_OFFSET_FILE_STAMP], model.fileStamp);
    WriteLe32(&header[HDR_OFFSET_BASE_SECTOR], model.baseSector);

    std::uint32_t offset = 0;
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        const DataFileEntrySpec& e = model.entries[i];
        bool hasPayload = e.kind != ENTRY_ZERO_FILL;
        WriteEntry(&header[HDR_OFFSET_ENTRIES + HDR_ENTRY_SIZE * i], e, hasPayload ? offset : 0);
        offset += static_cast<std::uint32_t>(e.payload.size());
    }
    WriteLe32(&header[HDR_OFFSET_CHECKSUM], ComputeHeaderChecksum(header) + faults.checksumAdd);
}

}  // namespace

std::vector<BYTE> BuildDataFile(const DataFileSpec& model) {
    CheckSpec(model);
    std::vector<BYTE> out(HDR_SIZE + PayloadSize(model), 0);
    LayHeader(std::span<BYTE, HDR_SIZE>(out.data(), HDR_SIZE), model, model.faults);
    auto at = out.begin() + HDR_SIZE;
    for (const DataFileEntrySpec& e : model.entries)
        at = std::copy(e.payload.begin(), e.payload.end(), at);
    ApplyTruncation(out, model.faults);
    return out;
}

HeaderFault FindUnaskedFault(const DataFileSpec& model) {
    CheckSpec(model);
    std::uint64_t fileSize = HDR_SIZE + PayloadSize(model);
    DataFileHeader header;
    LayHeader(header.bytes, model, DataFileFaults{});
    // What the faults allow is taken out, so that the reader finds the rest.
    const DataFileFaults& f = model.faults;
    if (f.payloadExtent) fileSize = std::numeric_limits<std::uint64_t>::max();
    if (f.sectorRange) WriteLe32(&header.bytes[HDR_OFFSET_BASE_SECTOR], 0);
    for (std::size_t i = 0; i < model.entries.size(); ++i) {
        BYTE* entry = &header.bytes[HDR_OFFSET_ENTRIES + HDR_ENTRY_SIZE * i];
        bool file = entry[ENTRY_OFFSET_KIND] == ENTRY_FILE;
        if (file && f.fileName) PutText(entry + ENTRY_OFFSET_FILE_NAME, std::string_view("A", 2));
        if (!file && f.sectorRange) WriteLe32(entry + ENTRY_OFFSET_START_SECTOR, 0);
    }
    WriteLe32(&header.bytes[HDR_OFFSET_CHECKSUM], ComputeHeaderChecksum(header.bytes));
    return FindHeaderFault(header.bytes, fileSize, DATA_FILE_SIGNATURE);
}

}  // namespace veldra
