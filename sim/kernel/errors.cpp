#include "sim/kernel/errors.h"

#include <cerrno>

namespace veldra::sim {

static_assert(EWOULDBLOCK == EAGAIN, "one case covers both");

DWORD Win32ErrorFromErrno(int error) {
    switch (error) {
        case 0:
            return ERROR_SUCCESS;
        case EPERM:
        case EACCES:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EEXIST:
            return ERROR_FILE_EXISTS;
        case ENOSPC:
        case EDQUOT:
            return ERROR_DISK_FULL;
        case EROFS:
            return ERROR_WRITE_PROTECT;
        case ENAMETOOLONG:
            return ERROR_FILENAME_EXCED_RANGE;
        case EBADF:
            return ERROR_INVALID_HANDLE;
        case ENOMEM:
            return ERROR_NOT_ENOUGH_MEMORY;
        case EINVAL:
            return ERROR_INVALID_PARAMETER;
        case EMFILE:
        case ENFILE:
            return ERROR_TOO_MANY_OPEN_FILES;
        case EXDEV:
            return ERROR_NOT_SAME_DEVICE;
        case ENOTEMPTY:
            return ERROR_DIR_NOT_EMPTY;
        case EBUSY:
            return ERROR_BUSY;
        case ETXTBSY:
        case EAGAIN:  // EWOULDBLOCK: a lock someone else holds
            return ERROR_SHARING_VIOLATION;
        case ENXIO:
        case ENODEV:
        case ENOMEDIUM:
            return ERROR_NOT_READY;
        case EIO:
            return ERROR_IO_DEVICE;
        default:
            return ERROR_GEN_FAILURE;
    }
}

}  // namespace veldra::sim
