#include "sim/files/profile_files.h"

#include <cstring>

#include "sim/files/profile_rules.h"

namespace veldra::sim {

std::optional<std::string> SimProfile::ReadWhole(const ResolvedPath& path) {
    if (path.error != ERROR_SUCCESS || !path.exists || path.isDirectory ||
        m_files.IsGone(path.key)) {
        return std::nullopt;
    }
    // The profile functions share reading and writing with other openers.
    if (m_files.ShareConflicts(path.key, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE)) {
        return std::nullopt;
    }
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<VolumeFile> file = path.volume->Open(path.path, VolumeOpen{}, &error);
    if (!file) return std::nullopt;
    std::uint64_t size = 0;
    if (file->Size(&size) != ERROR_SUCCESS) return std::nullopt;
    std::string contents(size, '\0');
    DWORD read = 0;
    if (file->Read(0, contents.data(), static_cast<DWORD>(size), &read) != ERROR_SUCCESS ||
        file->Close() != ERROR_SUCCESS) {
        return std::nullopt;
    }
    contents.resize(read);
    return contents;
}

DWORD SimProfile::GetPrivateProfileStringA(const char* section, const char* key,
                                           const char* defaultValue, char* buffer, DWORD size,
                                           const char* fileName) {
    if (section == nullptr || key == nullptr) {
        throw NotImplementedError("GetPrivateProfileStringA listing sections or keys");
    }
    if (size == 0) return 0;
    ProfileRead read = ProfileGetString(ReadWhole(m_files.Resolve(fileName)), section, key,
                                        defaultValue ? defaultValue : "", size);
    std::memcpy(buffer, read.value.data(), read.returned);
    buffer[read.returned] = '\0';
    return read.returned;
}

UINT SimProfile::GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                                       const char* fileName) {
    return ProfileGetInt(ReadWhole(m_files.Resolve(fileName)), section, key, defaultValue);
}

BOOL SimProfile::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                            const char* fileName) {
    if (section == nullptr || key == nullptr || value == nullptr) {
        throw NotImplementedError("WritePrivateProfileStringA deleting a section or key");
    }
    auto fail = [&](DWORD error) {
        m_kernel.SetLastError(error);
        return FALSE;
    };
    ResolvedPath path = m_files.Resolve(fileName);
    if (path.error != ERROR_SUCCESS) return fail(path.error);
    if (path.isDirectory) return fail(ERROR_ACCESS_DENIED);
    Volume& volume = *path.volume;
    if (volume.WriteProtected()) return fail(ERROR_WRITE_PROTECT);
    if (path.exists && (m_files.GetFileAttributesA(fileName) & FILE_ATTRIBUTE_READONLY)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    if (path.exists &&
        m_files.ShareConflicts(path.key, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ)) {
        return fail(ERROR_SHARING_VIOLATION);
    }
    std::optional<std::string> old = ReadWhole(path);
    std::string contents = ProfileWriteString(old, section, key, value);
    // A file that would not fit stays as it was.
    std::uint64_t oldSize = old ? old->size() : 0;
    std::optional<std::uint64_t> free = volume.FreeBytes();
    if (free && contents.size() > oldSize && contents.size() - oldSize > *free) {
        return fail(ERROR_DISK_FULL);
    }
    DWORD error = ERROR_SUCCESS;
    std::unique_ptr<VolumeFile> file =
        volume.Open(path.path, VolumeOpen{true, !path.exists, path.exists, 0}, &error);
    if (!file) return fail(error);
    DWORD written = 0;
    error = file->Write(0, contents.data(), static_cast<DWORD>(contents.size()), &written);
    if (error != ERROR_SUCCESS) return fail(error);
    // A close can be where the host first says the data did not fit.
    if (DWORD closeError = file->Close()) return fail(closeError);
    m_kernel.SetLastError(ERROR_SUCCESS);
    return TRUE;
}

}  // namespace veldra::sim
