#include "sim/files/file_system.h"

#include <algorithm>

#include "host/text.h"
#include "sim/devices/sim_devices.h"
#include "sim/kernel/errors.h"

namespace veldra::sim {

// An open file: its handle's access, share mode and file pointer, and the
// volume it was opened on (under Vista's rules: its letter and the mount it
// saw; letter 0 for anything else).
class SimFiles::OpenFile final : public KernelObject {
public:
    OpenFile(std::unique_ptr<VolumeFile> file, std::string key, DWORD access, DWORD share)
        : file(std::move(file)), key(std::move(key)), access(access), share(share) {}
    DWORD Close() override {
        if (letter != 0) mounts->Closed(letter, this);
        return file->Close();
    }

    std::unique_ptr<VolumeFile> file;
    std::string key;
    DWORD access;
    DWORD share;
    std::uint64_t position = 0;
    char letter = 0;
    unsigned epoch = 0;
    VolumeMounts* mounts = nullptr;
};

SimFiles::SimFiles(Kernel& kernel, DriveMap& drives, SimDevices& devices)
    : m_kernel(kernel), m_drives(drives), m_devices(devices), m_mounts(kernel, devices) {
    m_drives.SetGate(m_mounts);
}

BOOL SimFiles::Fail(DWORD error) {
    m_kernel.SetLastError(error);
    return FALSE;
}

VolumeFile* SimFiles::FileBehind(HANDLE handle) {
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    return file ? file->file.get() : nullptr;
}

bool SimFiles::IsStale(const OpenFile& file) {
    return file.letter != 0 && m_mounts.Epoch(file.letter) != file.epoch;
}

bool SimFiles::IsStale(HANDLE handle) {
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    return file != nullptr && IsStale(*file);
}

bool SimFiles::OthersOpen(char letter, const OpenFile* except) {
    bool open = false;
    m_kernel.ForEach<OpenFile>([&](const OpenFile& file) {
        open = open || (&file != except && file.letter == letter && !IsStale(file));
    });
    return open || SearchOpenOn(letter);
}

bool SimFiles::HandlesOn(const SimDevice& device) {
    std::string letters;
    for (const auto& [letter, drive] : m_kernel.Config().drives) {
        if (drive.device && m_devices.DeviceOf(letter) == &device) letters += letter;
    }
    bool open = false;
    m_kernel.ForEach<OpenFile>([&](const OpenFile& file) {
        auto* raw = dynamic_cast<const DeviceFile*>(file.file.get());
        bool onDevice = raw != nullptr && &raw->Device() == &device;
        bool onVolume = !file.key.empty() && letters.find(file.key[0]) != std::string::npos &&
                        file.key.size() > 1 && file.key[1] == ':';
        open = open || onDevice || onVolume;
    });
    for (char letter : letters) open = open || SearchOpenOn(letter);
    return open;
}

BOOL SimFiles::VolumeControl(HANDLE volume, DWORD code) {
    OpenFile* file = m_kernel.Lookup<OpenFile>(volume);
    if (file == nullptr) return FALSE;
    DWORD error = ERROR_SUCCESS;
    if (file->letter != 0) {
        switch (code) {
            case FSCTL_LOCK_VOLUME:
                error = m_mounts.Lock(file->letter, file, OthersOpen(file->letter, file));
                break;
            case FSCTL_UNLOCK_VOLUME:
                error = m_mounts.Unlock(file->letter, file);
                break;
            case FSCTL_DISMOUNT_VOLUME:
                error = m_mounts.Dismount(file->letter, file, &file->epoch);
                break;
            default:
                throw NotImplementedError("volume request " + std::to_string(code));
        }
    }
    if (error != ERROR_SUCCESS) return Fail(error);
    m_kernel.SetLastError(ERROR_SUCCESS);
    return TRUE;
}

// A raw device opens like a file: the same access and share-mode rules, with
// the device path as its identity.
HANDLE SimFiles::OpenDevice(const char* path, DWORD access, DWORD share, DWORD disposition,
                            DWORD flags) {
    auto fail = [&](DWORD error) {
        m_kernel.SetLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    if (disposition != OPEN_EXISTING && disposition != OPEN_ALWAYS)
        return fail(ERROR_INVALID_PARAMETER);
    std::string key;
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<VolumeFile> device = m_devices.Open(path, &key, &error);
    if (!device) return fail(error);
    // An open with data access mounts the volume, which an empty drive cannot
    // do; one without access rights mounts nothing and succeeds.
    auto* raw = dynamic_cast<DeviceFile*>(device.get());
    if (raw != nullptr && raw->IsVolume() && (access & (GENERIC_READ | GENERIC_WRITE)) &&
        !raw->Device().MediumPresent()) {
        return fail(ERROR_NOT_READY);
    }
    // The policy for removable disks (and an XP account without
    // administrator rights) refuses the open itself.
    if (raw != nullptr && (access & GENERIC_WRITE) && m_kernel.Config().denyRemovableWrites &&
        m_devices.Removable(raw->Device())) {
        return fail(ERROR_ACCESS_DENIED);
    }
    // Without it, reads of a volume may come from the system's cache rather
    // than from the medium; that cache is not part of this machine.
    if ((access & (GENERIC_READ | GENERIC_WRITE)) && !(flags & FILE_FLAG_NO_BUFFERING))
        throw NotImplementedError(std::string("buffered I/O on device ") + path);
    if (ShareConflicts(key, access, share)) return fail(ERROR_SHARING_VIOLATION);
    if (auto* raw = dynamic_cast<DeviceFile*>(device.get()))
        raw->SetWriteThrough((flags & FILE_FLAG_WRITE_THROUGH) != 0);
    auto file = std::make_unique<OpenFile>(std::move(device), key, access, share);
    // A volume ("\\.\X:"), not a whole disk: the file system has its say.
    char letter = key.size() == 6 && key[5] == ':' ? key[4] : '\0';
    if (letter != 0 && m_mounts.Tracks(letter)) {
        if (DWORD refused = m_mounts.Access(letter))
            return fail(refused == ERROR_PATH_NOT_FOUND ? DWORD{ERROR_FILE_NOT_FOUND} : refused);
        if (DWORD refused =
                m_mounts.OpenVolume(letter, file.get(), access, share, OthersOpen(letter, nullptr)))
            return fail(refused);
        file->letter = letter;
        file->epoch = m_mounts.Epoch(letter);
        file->mounts = &m_mounts;
    }
    HANDLE handle = m_kernel.AddHandle(HandleKind::File, std::move(file));
    m_kernel.SetLastError(ERROR_SUCCESS);
    return handle;
}

// Windows refuses an open when its access is not shared by an existing open,
// or when its own share mode does not admit an existing open's access.
// An open without data access (0, to query) neither checks nor restricts sharing.
bool SimFiles::ShareConflicts(const std::string& key, DWORD access, DWORD share) {
    constexpr DWORD kDataAccess = GENERIC_READ | GENERIC_WRITE;
    if (!(access & kDataAccess)) return false;
    auto conflicts = [&](DWORD otherAccess, DWORD otherShare) {
        if (!(otherAccess & kDataAccess)) return false;
        if ((access & GENERIC_READ) && !(otherShare & FILE_SHARE_READ)) return true;
        if ((access & GENERIC_WRITE) && !(otherShare & FILE_SHARE_WRITE)) return true;
        if ((otherAccess & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
        if ((otherAccess & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
        return false;
    };
    bool conflict = false;
    m_kernel.ForEach<OpenFile>([&](const OpenFile& file) {
        conflict =
            conflict || (file.key == key && !IsStale(file) && conflicts(file.access, file.share));
    });
    if (conflict) return true;
    for (const HeldOpenFile& held : m_kernel.Config().heldOpen) {
        // A device ("\\.\E:", "\\.\PhysicalDrive1") is known by its name.
        bool device = SimDevices::IsDevicePath(held.path);
        ResolvedPath other = device ? ResolvedPath{} : Resolve(held.path.c_str());
        bool same = device ? host::UpperAscii(held.path) == key
                           : other.error == ERROR_SUCCESS && other.key == key;
        if (same && conflicts(held.access, held.shareMode)) return true;
    }
    return false;
}

// The opens a vanishing file has left; nullptr for any other file.
int* SimFiles::OpensLeft(const std::string& key) {
    auto left = m_opensLeft.find(key);
    if (left == m_opensLeft.end()) {
        for (const VanishingFile& file : m_kernel.Config().vanishing) {
            ResolvedPath vanishing = Resolve(file.path.c_str());
            if (vanishing.error == ERROR_SUCCESS && vanishing.key == key) {
                left = m_opensLeft.emplace(key, file.opensBeforeVanishing).first;
                break;
            }
        }
        if (left == m_opensLeft.end()) return nullptr;
    }
    return &left->second;
}

// Counts the opens of a vanishing file; true once it is gone.
bool SimFiles::HasVanished(const ResolvedPath& path) {
    int* left = OpensLeft(path.key);
    if (left == nullptr) return false;
    if (*left == 0) return true;
    --*left;
    return false;
}

DWORD SimFiles::ReadFault(const OpenFile& file, bool reads, std::uint64_t* end) {
    for (const FailingReadsFile& failing : m_kernel.Config().failingReads) {
        ResolvedPath path = Resolve(failing.path.c_str());
        if (path.error != ERROR_SUCCESS || path.key != file.key) continue;
        ReadFaultState& state = m_readFaults[file.key];
        bool due = state.reads >= failing.readsBeforeFailing;
        if (due && failing.how == ReadFailure::Lost) return ERROR_NETNAME_DELETED;
        if (due && failing.how == ReadFailure::Glitch && !state.glitched) {
            state.glitched = true;
            return ERROR_UNEXP_NET_ERR;
        }
        if (due && reads && failing.how == ReadFailure::Cut && !state.cutAt)
            state.cutAt = file.position;
        if (state.cutAt) *end = *state.cutAt;
        if (reads) ++state.reads;
        return ERROR_SUCCESS;
    }
    return ERROR_SUCCESS;
}

bool SimFiles::IsGone(const std::string& key) {
    int* left = OpensLeft(key);
    return left != nullptr && *left == 0;
}

HANDLE SimFiles::CreateFileA(const char* fileName, DWORD desiredAccess, DWORD shareMode,
                             DWORD creationDisposition, DWORD flagsAndAttributes) {
    auto fail = [&](DWORD error) {
        m_kernel.SetLastError(error);
        return INVALID_HANDLE_VALUE;
    };
    if (SimDevices::IsDevicePath(fileName))
        return OpenDevice(fileName, desiredAccess, shareMode, creationDisposition,
                          flagsAndAttributes);
    // Write-through reaches the device's cache through device handles only here.
    if (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH)
        throw NotImplementedError(std::string("FILE_FLAG_WRITE_THROUGH on the file ") + fileName);
    ResolvedPath path = Resolve(fileName);
    if (path.error != ERROR_SUCCESS) return fail(path.error);
    bool wantsWrite = (desiredAccess & GENERIC_WRITE) != 0;
    bool creates = creationDisposition == CREATE_NEW || creationDisposition == CREATE_ALWAYS ||
                   creationDisposition == OPEN_ALWAYS;
    if (creationDisposition < CREATE_NEW || creationDisposition > TRUNCATE_EXISTING) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    if (path.isDirectory) {
        if (!(flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS)) return fail(ERROR_ACCESS_DENIED);
        throw NotImplementedError("CreateFileA on a directory");
    }
    if (path.exists && HasVanished(path)) return fail(ERROR_FILE_NOT_FOUND);
    if (!path.exists &&
        (creationDisposition == OPEN_EXISTING || creationDisposition == TRUNCATE_EXISTING)) {
        return fail(ERROR_FILE_NOT_FOUND);
    }
    if (path.exists && creationDisposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    bool truncates = path.exists && (creationDisposition == CREATE_ALWAYS ||
                                     creationDisposition == TRUNCATE_EXISTING);
    Volume& volume = *path.volume;
    // A volume not mounted yet refuses a creating open before it looks at the
    // file, whether that exists or not.
    if (creates && volume.RefusesCreate()) return fail(ERROR_NOT_READY);
    if (volume.WriteProtected() && (wantsWrite || truncates || (!path.exists && creates))) {
        return fail(ERROR_WRITE_PROTECT);
    }
    if (path.exists && (wantsWrite || truncates)) {
        VolumeEntryInfo info;
        if (DWORD error = volume.Info(path.path, &info)) return fail(error);
        if (info.attributes & FILE_ATTRIBUTE_READONLY) return fail(ERROR_ACCESS_DENIED);
        // CREATE_ALWAYS replaces a hidden or system file only when it asks for
        // those attributes too; TRUNCATE_EXISTING has no such rule.
        constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
        if (creationDisposition == CREATE_ALWAYS && (info.attributes & kKept & ~flagsAndAttributes))
            return fail(ERROR_ACCESS_DENIED);
    }
    if (path.exists && ShareConflicts(path.key, desiredAccess, shareMode)) {
        return fail(ERROR_SHARING_VIOLATION);
    }

    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<VolumeFile> file = volume.Open(
        path.path, VolumeOpen{wantsWrite, !path.exists, truncates, flagsAndAttributes}, &error);
    if (!file) return fail(error);
    auto open = std::make_unique<OpenFile>(std::move(file), path.key, desiredAccess, shareMode);
    if (m_mounts.Tracks(path.key[0])) {
        open->letter = path.key[0];
        open->epoch = m_mounts.Epoch(open->letter);
        open->mounts = &m_mounts;
    }
    HANDLE handle = m_kernel.AddHandle(HandleKind::File, std::move(open));
    bool reportsExisting =
        path.exists && (creationDisposition == CREATE_ALWAYS || creationDisposition == OPEN_ALWAYS);
    m_kernel.SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL SimFiles::ReadFile(HANDLE handle, void* buffer, DWORD bytesToRead, DWORD* bytesRead) {
    if (bytesRead) *bytesRead = 0;
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    if (!file) return FALSE;
    if (!(file->access & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
    if (IsStale(*file)) return Fail(ERROR_FILE_INVALID);
    std::uint64_t end = UINT64_MAX;
    if (DWORD fault = ReadFault(*file, true, &end)) return Fail(fault);
    if (end != UINT64_MAX) {
        bytesToRead = static_cast<DWORD>(
            std::min<std::uint64_t>(bytesToRead, end - std::min(end, file->position)));
    }
    DWORD total = 0;
    DWORD error = file->file->Read(file->position, buffer, bytesToRead, &total);
    if (error != ERROR_SUCCESS) {
        m_kernel.SetLastError(error);
        return FALSE;
    }
    file->position += total;
    if (bytesRead) *bytesRead = total;
    return TRUE;
}

BOOL SimFiles::WriteFile(HANDLE handle, const void* buffer, DWORD bytesToWrite,
                         DWORD* bytesWritten) {
    if (bytesWritten) *bytesWritten = 0;
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    if (!file) return FALSE;
    if (!(file->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    if (IsStale(*file)) return Fail(ERROR_FILE_INVALID);
    // Below the file system, on Windows 6.0 and later, the volumes have their
    // say about the sectors they hold.
    if (auto* raw = dynamic_cast<DeviceFile*>(file->file.get())) {
        DWORD refused =
            raw->IsVolume()
                ? m_mounts.RawWriteThroughVolume(file->letter, file, file->position, bytesToWrite)
                : m_mounts.RawWriteThroughDisk(raw->Device(), file->position, bytesToWrite);
        if (refused) return Fail(refused);
    }
    DWORD total = 0;
    DWORD error = file->file->Write(file->position, buffer, bytesToWrite, &total);
    file->position += total;
    if (bytesWritten) *bytesWritten = total;
    if (error != ERROR_SUCCESS) {
        m_kernel.SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

DWORD SimFiles::SetFilePointer(HANDLE handle, std::int32_t distance, std::int32_t* distanceHigh,
                               DWORD moveMethod) {
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    if (!file) return INVALID_SET_FILE_POINTER;
    std::uint64_t end = 0;
    if (DWORD fault = ReadFault(*file, false, &end)) {
        m_kernel.SetLastError(fault);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t move =
        distanceHigh
            ? static_cast<std::int64_t>(
                  (static_cast<std::uint64_t>(static_cast<std::uint32_t>(*distanceHigh)) << 32) |
                  static_cast<std::uint32_t>(distance))
            : static_cast<std::int64_t>(distance);
    std::int64_t base = 0;
    if (moveMethod == FILE_CURRENT) {
        base = static_cast<std::int64_t>(file->position);
    } else if (moveMethod == FILE_END) {
        std::uint64_t size = 0;
        if (DWORD error = file->file->Size(&size)) {
            m_kernel.SetLastError(error);
            return INVALID_SET_FILE_POINTER;
        }
        base = static_cast<std::int64_t>(size);
    } else if (moveMethod != FILE_BEGIN) {
        m_kernel.SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    std::int64_t target = base + move;
    if (target < 0) {
        m_kernel.SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    if (!distanceHigh && target > 0xFFFFFFFELL) {
        // The low half alone could not report this position.
        m_kernel.SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    auto* raw = dynamic_cast<DeviceFile*>(file->file.get());
    if (raw && raw->Device().StraysSeek())
        target = std::max<std::int64_t>(0, target - raw->Device().SectorSize());
    file->position = static_cast<std::uint64_t>(target);
    if (distanceHigh) *distanceHigh = static_cast<std::int32_t>(file->position >> 32);
    // A success leaves the thread's last error as it was, except where the low
    // half it returns looks like the failure value: then GetLastError must tell
    // the two apart ("SetFilePointer", Microsoft Learn: "an application must
    // call GetLastError to determine whether or not the function has succeeded").
    DWORD low = static_cast<DWORD>(file->position);
    if (low == INVALID_SET_FILE_POINTER) m_kernel.SetLastError(ERROR_SUCCESS);
    return low;
}

DWORD SimFiles::GetFileSize(HANDLE handle, DWORD* fileSizeHigh) {
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    if (!file) return INVALID_FILE_SIZE;
    std::uint64_t size = 0;
    if (DWORD error = file->file->Size(&size)) {
        m_kernel.SetLastError(error);
        return INVALID_FILE_SIZE;
    }
    if (fileSizeHigh) *fileSizeHigh = static_cast<DWORD>(size >> 32);
    m_kernel.SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(size);
}

BOOL SimFiles::SetFileTime(HANDLE handle, const FILETIME* creation, const FILETIME* lastAccess,
                           const FILETIME* lastWrite) {
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    if (!file) return FALSE;
    if (!(file->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    if (IsStale(*file)) return Fail(ERROR_FILE_INVALID);
    if (DWORD error = file->file->SetTimes(creation, lastAccess, lastWrite)) {
        m_kernel.SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

DWORD SimFiles::GetFileAttributesA(const char* fileName) {
    ResolvedPath path = Resolve(fileName);
    if (path.error != ERROR_SUCCESS || !path.exists || IsGone(path.key)) {
        m_kernel.SetLastError(path.error != ERROR_SUCCESS ? path.error : ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    VolumeEntryInfo info;
    if (DWORD error = path.volume->Info(path.path, &info)) {
        m_kernel.SetLastError(error);
        return INVALID_FILE_ATTRIBUTES;
    }
    return info.attributes;
}

BOOL SimFiles::SetFileAttributesA(const char* fileName, DWORD attributes) {
    ResolvedPath path = Resolve(fileName);
    if (path.error != ERROR_SUCCESS || !path.exists) {
        m_kernel.SetLastError(path.error != ERROR_SUCCESS ? path.error : ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (path.volume->WriteProtected()) {
        m_kernel.SetLastError(ERROR_WRITE_PROTECT);
        return FALSE;
    }
    if (DWORD error = path.volume->SetAttributes(path.path, attributes)) {
        m_kernel.SetLastError(error);
        return FALSE;
    }
    return TRUE;
}

// Windows takes the flush only from a handle that may write; the volume's
// driver and then the device's write out what they hold.
BOOL SimFiles::FlushFileBuffers(HANDLE handle) {
    OpenFile* file = m_kernel.Lookup<OpenFile>(handle);
    if (!file) return FALSE;
    if (!(file->access & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    if (IsStale(*file)) return Fail(ERROR_FILE_INVALID);
    if (DWORD error = file->file->Flush()) return Fail(error);
    return TRUE;
}

}  // namespace veldra::sim
