#include "records/install_run.h"

#include "platform/handle.h"

namespace veldra {

bool IsExistingDirectoryPath(RecordsContext& context, const std::string& path) {
    WIN32_FIND_DATAA found{};
    UniqueFindHandle search(context.system, context.files.FindFirstFileA(path.c_str(), &found));
    if (!search) return false;
    return (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace veldra
