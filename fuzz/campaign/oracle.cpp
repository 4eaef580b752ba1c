#include "fuzz/campaign/oracle.h"

#include <algorithm>
#include <cstring>

#include "fuzz/campaign/fat_time.h"

namespace veldra::campaign {
namespace {

constexpr std::uint32_t kSector = 512;
constexpr std::uint32_t kChunk = 65536;  // the program's work buffer
constexpr std::uint8_t kSectors = 0, kFile = 1, kZeroFill = 2, kAbsolute = 0x81;
constexpr std::uint8_t kReadOnly = 0x01, kHidden = 0x02, kSystem = 0x04, kDirectory = 0x10,
                       kArchive = 0x20;

std::uint32_t Le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<std::uint8_t>(bytes[at + static_cast<unsigned>(i)]);
    return value;
}

std::uint64_t Le64(const std::string& bytes, std::size_t at) {
    return Le32(bytes, at) | std::uint64_t{Le32(bytes, at + 4)} << 32;
}

std::uint32_t ClustersFor(std::uint64_t bytes, const FatVolume& volume) {
    return static_cast<std::uint32_t>((bytes + volume.ClusterBytes() - 1) / volume.ClusterBytes());
}

void SetTimes(ExpectedFile& file, std::uint64_t ticks) {
    std::optional<FatTimes> t = FatTimesFor(ticks);
    if (!t) return;  // FAT refuses it: the times stay as they were
    FatFile times;
    times.createdDate = t->createdDate;
    times.createdTime = t->createdTime;
    times.createdTenths = t->createdTenths;
    times.accessDate = t->accessDate;
    times.writtenDate = t->writtenDate;
    times.writtenTime = t->writtenTime;
    file.times = times;
}

std::string Hex(std::uint64_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

bool IsGpt(const std::string& image) {
    return image.size() >= 2 * kSector && static_cast<std::uint8_t>(image[446 + 4]) == 0xEE &&
           image.compare(kSector, 8, "EFI PART") == 0;
}

}  // namespace

std::uint64_t SectorsNeeded(const std::string& dataFile) {
    std::uint64_t needed = 0;
    std::uint32_t base = Le32(dataFile, 213);
    for (int i = 0; i < static_cast<std::uint8_t>(dataFile[84]); ++i) {
        std::size_t at = 256 + 48 * static_cast<std::size_t>(i);
        std::uint8_t kind = static_cast<std::uint8_t>(dataFile[at + 1]);
        std::uint64_t sectors = Le32(dataFile, at + 2) / kSector;
        if (dataFile[at] != 1 || sectors == 0 ||
            (kind != kSectors && kind != kZeroFill && kind != kAbsolute))
            continue;
        std::uint64_t start = Le32(dataFile, at + 18) + (kind == kAbsolute ? 0 : base);
        needed = std::max(needed, start + sectors);
    }
    return needed;
}

Oracle::Oracle(const Creation& creation, const Device& target)
    : m_creation(creation),
      m_target(target),
      m_image(target.image),
      m_mayWrite(target.image.size() / kSector, false) {
    Parse();
    Walk();
}

void Oracle::MayWrite(std::uint64_t fromByte, std::uint64_t toByte) {
    for (std::uint64_t s = fromByte / kSector; s < m_mayWrite.size() && s * kSector < toByte; ++s)
        m_mayWrite[s] = true;
}

void Oracle::Parse() {
    const std::string& data = m_creation.dataFile;
    m_contentKind = static_cast<std::uint8_t>(data[81]);
    m_stamp = Le64(data, 86);
    m_base = Le32(data, 213);
    for (int i = 0; i < static_cast<std::uint8_t>(data[84]); ++i) {
        std::size_t at = 256 + 48 * static_cast<std::size_t>(i);
        Entry e;
        e.inUse = static_cast<std::uint8_t>(data[at]);
        e.kind = static_cast<std::uint8_t>(data[at + 1]);
        e.size = Le32(data, at + 2);
        e.dataOffset = Le32(data, at + 6);
        e.fileTime = Le64(data, at + 10);
        e.start = Le32(data, at + 18);
        e.name = std::string(data.c_str() + at + 18, ::strnlen(data.c_str() + at + 18, 30));
        m_entries.push_back(e);
    }
}

bool Oracle::Fail(const std::string& reason) {
    m_outcome = Outcome::Fails;
    m_reason = reason;
    return false;
}

// The run, step by step, as the operator and the machine's faults let it go.
void Oracle::Walk() {
    const OperatorAnswers& answers = m_creation.answers;
    const Faults& faults = m_target.faults;
    bool stick = m_target.kind == DeviceKind::Stick;
    // The program finds no disk behind a virtual disk driver's device, and
    // says so before it asks anything.
    if (m_target.virtualDisk) {
        m_outcome = Outcome::Declined;
        m_reason = "a virtual disk: its disk cannot be identified";
        return;
    }
    // A medium put in while the confirmation is asked is there from then on.
    bool absent = faults.absent && !m_target.inserted;
    if (!answers.confirm) {
        m_outcome = Outcome::Declined;
        m_reason = "the operator answered No to the confirmation";
        return;
    }
    if (m_creation.usbProgram && stick) {
        // Only a root that reads as empty goes without the question: files on
        // it, no medium, or no file system the machine knows all bring it.
        // A locked BitLocker volume, and sectors of another size than its
        // boot sector names, read as no file system.
        bool locked = m_image.compare(3, 8, "-FVE-FS-") == 0 ||
                      (m_image.size() > 2048 * kSector &&
                       m_image.compare(2048 * kSector + 3, 8, "-FVE-FS-") == 0);
        std::optional<FatVolume> before =
            absent || locked || m_target.sectorSize != 512 ? std::nullopt : VolumeOf(m_image);
        std::string error;
        bool empty = before && RootFiles(m_image, *before, &error).empty();
        if (!empty && !answers.proceed) {
            m_outcome = Outcome::Declined;
            m_reason = "the operator cancelled at the files left on the stick";
            return;
        }
    }
    if (absent) return void(Fail("no medium in the drive"));
    // The medium is looked at before anything is written: its sectors, its size.
    if (m_target.sectorSize != static_cast<int>(kSector))
        return void(Fail("sectors of " + std::to_string(m_target.sectorSize) + " bytes"));
    if (m_image.size() / kSector < SectorsNeeded(m_creation.dataFile))
        return void(Fail("the medium is smaller than the data file needs"));
    if (stick) {
        if (faults.writeProtected) return void(Fail("a write-protected stick keeps its layout"));
        // The drive-layout requests know master boot records only.
        if (IsGpt(m_image)) return void(Fail("a GPT stick's layout cannot be reset"));
        if (faults.failingLayout == 1) return void(Fail("the stick refuses its new layout"));
        MayWrite(0, kSector);
        // An empty partition table: four empty entries, the signature and the
        // boot code kept.
        std::fill(m_image.begin() + 446, m_image.begin() + 510, '\0');
        m_image[510] = 0x55;
        m_image[511] = static_cast<char>(0xAA);
        m_touched = true;
    }
    if (!WritePass(false)) return;
    m_volume = VolumeOf(m_image);
    if (!CopyFiles() || !Stamp()) return;
    if (m_pulled) return void(Fail("the medium was pulled before the final pass"));
    m_finalPass = true;
    m_final.assign(m_image.size() / kSector, false);
    WritePass(true);
}

// One pass of the sector entries, then the read-back when asked for.
bool Oracle::WritePass(bool final) {
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        if (e.inUse != 1) continue;
        bool zero = e.kind == kZeroFill;
        if (final ? e.kind != kAbsolute : e.kind != kSectors && !zero && e.kind != kAbsolute)
            continue;
        std::uint32_t sector = e.kind == kAbsolute ? e.start : e.start + m_base;
        std::uint32_t done = 0;
        while (done < e.size) {
            std::uint32_t chunk = std::min(e.size - done, kChunk);
            std::uint32_t count = chunk / kSector;
            const char* data =
                zero ? nullptr : m_creation.dataFile.data() + 2048 + e.dataOffset + done;
            bool written = false;
            // Zero fills are written once; data gets its attempts.
            for (int attempt = 0; attempt < (zero ? 1 : m_creation.writeRetry) && !written;
                 ++attempt)
                written = Write(sector, count, data);
            if (!written)
                return Fail("entry " + std::to_string(i + 1) + " cannot be written at sector " +
                            std::to_string(sector));
            sector += count;
            done += chunk;
        }
    }
    // The pass is flushed to the device, which fails without its medium.
    if (m_pulled) return Fail("the medium was pulled before the pass was flushed");
    if (!Flush()) return Fail("the pass's flush failed");
    if (!m_creation.verify) return true;
    // The read-back reads each entry of the pass again, 64 sectors at a time
    // (half the work buffer); a seek or read that goes wrong fails it.
    for (const Entry& e : m_entries) {
        bool zero = e.kind == kZeroFill;
        if (e.inUse != 1 ||
            (final ? e.kind != kAbsolute : e.kind != kSectors && !zero && e.kind != kAbsolute))
            continue;
        std::uint64_t first = e.kind == kAbsolute ? e.start : std::uint64_t{e.start} + m_base;
        for (std::uint32_t done = 0; done < e.size / kSector; done += 64)
            if (!Read(first + done)) return Fail("a read-back transfer went wrong");
    }
    if (!m_corrupt.empty())
        return Fail("sector " + std::to_string(m_corrupt.front()) + " holds a corrupted write");
    return true;
}

// A seek through the device handle to a sector; false for the one that
// strays a sector short (the program sees where it landed and transfers
// nothing). One to sector 0 can land nowhere else.
bool Oracle::Seek(std::uint64_t sector) {
    bool strays = m_target.faults.straySeeks && ++m_seeks == *m_target.faults.straySeeks;
    return !strays || sector == 0;
}

// A flush that reaches the device: false for the one that fails.
bool Oracle::Flush() {
    const std::optional<int>& failing = m_target.faults.failingFlush;
    return !(failing && ++m_flushes == *failing);
}

// A read of the read-back: its seek, and its transfer, which may be cut short.
bool Oracle::Read(std::uint64_t sector) {
    if (!Seek(sector) || m_pulled) return false;
    return !(m_target.faults.shortTransfers && ++m_transfers == *m_target.faults.shortTransfers);
}

// A raw write as the device takes it: the seek before it, the medium's write
// protection, a transfer cut one sector short, the machine's failing window,
// its pull and its lie.
bool Oracle::Write(std::uint32_t sector, std::uint32_t count, const char* data) {
    const Faults& f = m_target.faults;
    if (!Seek(sector) || m_pulled || f.writeProtected) return false;
    std::uint64_t at = std::uint64_t{sector} * kSector;
    if (at + std::uint64_t{count} * kSector > m_image.size()) return false;
    bool cut = f.shortTransfers && ++m_transfers == *f.shortTransfers;
    std::uint32_t moved = cut ? count - std::min<std::uint32_t>(count, 1) : count;
    ++m_rawWrites;
    MayWrite(at, at + std::uint64_t{moved} * kSector);
    if (m_rawWrites > f.writesBeforeFailing.value_or(0) &&
        m_failedWrites < f.failingWrites.value_or(0)) {
        ++m_failedWrites;
        return false;
    }
    std::uint64_t bytes = std::uint64_t{moved} * kSector;
    if (bytes > 0) {
        m_image.replace(at, bytes, data ? std::string(data, bytes) : std::string(bytes, '\0'));
        std::erase_if(m_corrupt,
                      [&](std::uint64_t s) { return s >= sector && s < sector + moved; });
        if (f.corruptWrites == m_rawWrites) {
            m_image[at] = static_cast<char>(~m_image[at]);
            m_corrupt.push_back(sector);
        }
        m_touched = true;
        if (m_finalPass) std::fill_n(m_final.begin() + sector, moved, true);
    }
    if (f.pullAfterWrites && m_rawWrites >= *f.pullAfterWrites) m_pulled = true;
    return !cut;
}

// Windows' view of the medium: a floppy is one volume; a stick's master boot
// record names its first partition, a boot sector at sector 0 makes it one
// volume, an empty first entry none.
std::optional<FatVolume> Oracle::VolumeOf(const std::string& image) const {
    if (m_target.kind == DeviceKind::Floppy) return ReadFatVolume(image, 0);
    auto at = [&](int i) { return static_cast<std::uint8_t>(image[static_cast<std::size_t>(i)]); };
    bool signature = at(510) == 0x55 && at(511) == 0xAA;
    bool bootSector = (at(0) == 0xEB || at(0) == 0xE9) && at(11) == 0 &&
                      (at(12) == 2 || at(12) == 4 || at(12) == 8 || at(12) == 16);
    if (!signature || bootSector) return ReadFatVolume(image, 0);
    if (at(446 + 4) == 0) return std::nullopt;
    std::optional<FatVolume> volume =
        ReadFatVolume(image, std::uint64_t{Le32(image, 446 + 8)} * kSector);
    // The partition's extent bounds the volume.
    if (volume && volume->bytes > std::uint64_t{Le32(image, 446 + 12)} * kSector)
        return std::nullopt;
    return volume;
}

bool Oracle::CopyFiles() {
    const Faults& f = m_target.faults;
    std::string error;
    m_fileStep = true;
    // The file system's writes go anywhere past the volume's reserved sectors.
    if (m_volume) MayWrite(m_volume->FatOffset(), m_volume->offset + m_volume->bytes);
    if (m_volume) {
        for (const FatFile& file : RootFiles(m_image, *m_volume, &error)) {
            ExpectedFile kept{
                file.name, file.attributes, FileBytes(m_image, *m_volume, file), file, {}};
            m_root.push_back(kept);
        }
        if (!error.empty()) m_volume.reset();
    }
    std::int64_t freeClusters = m_volume ? FreeClusters(m_image, *m_volume) : 0;
    int unmounted = m_target.kind == DeviceKind::Stick ? f.unmountedCreates.value_or(0) : 0;
    for (std::size_t i = 0; i < m_entries.size(); ++i) {
        const Entry& e = m_entries[i];
        if (e.inUse != 1 || e.kind != kFile) continue;
        auto same = std::find_if(m_root.begin(), m_root.end(),
                                 [&](const ExpectedFile& x) { return x.name == e.name; });
        // A read-only, hidden or system file of that name refuses the first
        // create that reaches it, and then loses those attributes.
        bool keeps = same != m_root.end() && (same->attributes & (kReadOnly | kHidden | kSystem));
        // Three attempts, then the question; the operator's answers decide.
        for (int failures = 0;; ++failures) {
            bool refused =
                m_pulled || (unmounted > 0 && (--unmounted, true)) || !m_volume || f.writeProtected;
            if (!refused && keeps) refused = true, keeps = false;
            if (!refused) break;
            if (failures % 3 == 2) {
                std::size_t asked = m_answer++;
                if (asked >= m_creation.answers.retries.size() ||
                    !m_creation.answers.retries[asked])
                    return Fail(e.name + " cannot be created and the operator gave up");
            }
        }
        m_touched = true;
        ExpectedFile file{
            e.name, kArchive, m_creation.dataFile.substr(2048 + e.dataOffset, e.size), {}, {}};
        if (e.fileTime != 0) SetTimes(file, e.fileTime);
        if (same != m_root.end()) {
            m_replaced.push_back(same->bytes);
            freeClusters += ClustersFor(same->bytes.size(), *m_volume);
            file.created = same->times ? same->times : same->created;
            m_root.erase(same);
        }
        freeClusters -= ClustersFor(e.size, *m_volume);
        if (freeClusters < 0) return Fail("no room for " + e.name);
        m_root.push_back(file);
        // The read-back judges a name by the last entry that wrote it.
        std::erase(m_corruptFiles, e.name);
        for (std::uint32_t done = 0; done < e.size; done += kChunk)
            if (f.corruptFileWrites == ++m_fileWrites) m_corruptFiles.push_back(e.name);
        // Each file is flushed before it is closed.
        if (!Flush()) return Fail("the flush of " + e.name + " failed");
        if (e.size > 0) {
            // Pulled as the file is closed: the close fails, and so does the run.
            if (f.pullAtClose && m_filesWritten + 1 == *f.pullAtClose) {
                m_pulled = true;
                return Fail("the medium was pulled as " + e.name + " was closed");
            }
            ++m_filesWritten;
            if (f.pullAfterFiles && m_filesWritten >= *f.pullAfterFiles) m_pulled = true;
        }
    }
    if (!m_creation.verify) return true;
    if (m_pulled) return Fail("the medium was pulled before the files were read back");
    if (!m_corruptFiles.empty()) return Fail(m_corruptFiles.front() + " holds a corrupted write");
    return true;
}

// A floppy's root files, visible and writable, get the stamp and become
// read-only; an empty root, a visible folder or a pulled medium fail.
bool Oracle::Stamp() {
    if (m_target.kind != DeviceKind::Floppy) return true;
    if (m_pulled) return Fail("the medium was pulled before the finishing");
    if (m_root.empty()) return Fail("the floppy's root holds no file to finish");
    for (ExpectedFile& file : m_root) {
        if (file.attributes & (kReadOnly | kHidden)) continue;
        if (file.attributes & kDirectory) return Fail("a visible folder in the root");
        if (m_target.faults.writeProtected) return Fail("the floppy is write-protected");
        if (m_stamp != 0) SetTimes(file, m_stamp);
        file.attributes = kReadOnly | kArchive;
    }
    return true;
}

std::string Oracle::JudgeFailure(const std::string& medium) const {
    const std::string& before = m_target.image;
    if (medium.size() != before.size()) return "the medium changed its size";
    for (std::size_t s = 0; s < m_mayWrite.size(); ++s) {
        if (m_mayWrite[s] ||
            medium.compare(s * kSector, kSector, before, s * kSector, kSector) == 0)
            continue;
        std::size_t at = s * kSector;
        while (medium[at] == before[at]) ++at;
        return "byte " + Hex(at) + " (sector " + std::to_string(s) +
               "), which the run had no cause to write by then, is " +
               Hex(static_cast<std::uint8_t>(medium[at])) + ", not " +
               Hex(static_cast<std::uint8_t>(before[at]));
    }
    return "";
}

std::string Oracle::Judge(const std::string& medium, std::uint64_t clockStart,
                          std::uint64_t clockEnd) const {
    if (medium.size() != m_image.size()) return "the medium changed its size";
    auto firstDifference = [&](std::uint64_t from, std::uint64_t to) -> std::string {
        for (std::uint64_t at = from; at < to; ++at)
            if (medium[at] != m_image[at])
                return "byte " + Hex(at) + " (sector " + std::to_string(at / kSector) + ") is " +
                       Hex(static_cast<std::uint8_t>(medium[at])) + ", not " +
                       Hex(static_cast<std::uint8_t>(m_image[at]));
        return "";
    };
    if (!m_volume) return firstDifference(0, m_image.size());
    const FatVolume& v = *m_volume;
    // Outside the volume, and its reserved sectors, byte for byte.
    if (std::string d = firstDifference(0, v.FatOffset()); !d.empty()) return d;
    if (std::string d = firstDifference(v.offset + v.bytes, m_image.size()); !d.empty()) return d;
    std::string error;
    std::vector<FatFile> files = RootFiles(medium, v, &error);
    if (!error.empty()) return error;
    // The clusters no root file owns keep what the sector entries left there.
    std::vector<bool> owned(v.clusterCount + 2);
    for (const FatFile& file : files)
        for (std::uint32_t c : file.clusters) owned[c] = true;
    for (std::uint32_t c = 2; c < v.clusterCount + 2; ++c) {
        if (owned[c]) continue;
        // A file replaced by a later entry of the same name leaves its clusters free with
        // its bytes in them, where the final pass did not write.
        for (std::uint32_t i = 0; i < v.sectorsPerCluster; ++i) {
            std::uint64_t at = v.ClusterOffset(c) + i * kSector;
            std::string d = firstDifference(at, at + kSector);
            std::string_view sector(medium.data() + at, kSector);
            // A write the device altered left its first byte inverted.
            bool lies = m_target.faults.corruptFileWrites.has_value();
            auto leftBehind = [&](const std::string& bytes) {
                for (std::size_t k = i * kSector; k < bytes.size(); k += v.ClusterBytes()) {
                    std::string_view want = std::string_view(bytes).substr(k, kSector);
                    if (sector.starts_with(want)) return true;
                    if (lies && k % kChunk == 0 && !want.empty() &&
                        sector[0] == static_cast<char>(~want[0]) &&
                        sector.substr(1).starts_with(want.substr(1)))
                        return true;
                }
                return false;
            };
            if (!d.empty() && std::none_of(m_replaced.begin(), m_replaced.end(), leftBehind))
                return "free cluster " + std::to_string(c) + ": " + d;
        }
    }
    if (files.size() != m_root.size())
        return "the root holds " + std::to_string(files.size()) + " files, not " +
               std::to_string(m_root.size());
    for (const ExpectedFile& want : m_root) {
        auto got = std::find_if(files.begin(), files.end(),
                                [&](const FatFile& f) { return f.name == want.name; });
        if (got == files.end()) return want.name + " is missing";
        std::string what = want.name + ": ";
        if (got->attributes != want.attributes)
            return what + "attributes " + Hex(got->attributes) + ", not " + Hex(want.attributes);
        // The final pass wrote its sectors over the file's clusters.
        std::string bytes = want.bytes;
        for (std::size_t k = 0; k < got->clusters.size(); ++k) {
            for (std::uint32_t i = 0; i < v.sectorsPerCluster; ++i) {
                std::uint64_t sector = v.ClusterOffset(got->clusters[k]) / kSector + i;
                std::size_t at = (k * v.sectorsPerCluster + i) * kSector;
                if (sector >= m_final.size() || !m_final[sector] || at >= bytes.size()) continue;
                std::size_t n = std::min<std::size_t>(kSector, bytes.size() - at);
                bytes.replace(at, n, m_image, sector * kSector, n);
            }
        }
        if (FileBytes(medium, v, *got) != bytes || got->size != bytes.size())
            return what + "its bytes differ";
        const std::optional<FatFile>& created = want.times ? want.times : want.created;
        if (created) {
            const FatFile& t = *created;
            if (got->createdDate != t.createdDate || got->createdTime != t.createdTime ||
                got->createdTenths != t.createdTenths)
                return what + "creation time " + Hex(got->createdDate) + " " +
                       Hex(got->createdTime) + " " + Hex(got->createdTenths) + ", not " +
                       Hex(t.createdDate) + " " + Hex(t.createdTime) + " " + Hex(t.createdTenths);
        }
        if (want.times) {
            const FatFile& t = *want.times;
            if (got->writtenDate != t.writtenDate || got->writtenTime != t.writtenTime)
                return what + "write time " + Hex(got->writtenDate) + " " + Hex(got->writtenTime) +
                       ", not " + Hex(t.writtenDate) + " " + Hex(t.writtenTime);
            if (got->accessDate != t.accessDate)
                return what + "access date " + Hex(got->accessDate) + ", not " + Hex(t.accessDate);
        } else {
            // Written by the run: its times lie within the run.
            std::uint64_t written = TicksOfFat(got->writtenDate, got->writtenTime);
            std::uint64_t createdAt =
                TicksOfFat(got->createdDate, got->createdTime, got->createdTenths);
            std::uint64_t slack = 2 * kTicksPerSecond;
            bool createdInRun =
                created || (createdAt + slack >= clockStart && createdAt <= clockEnd + slack);
            if (written + slack < clockStart || written > clockEnd + slack || !createdInRun)
                return what + "its times lie outside the run";
        }
    }
    return "";
}

}  // namespace veldra::campaign
