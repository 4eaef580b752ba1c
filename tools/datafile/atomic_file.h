// Writing an output file so that readers see the old file or the whole new
// one, never a part.
#pragma once

#include <filesystem>
#include <span>
#include <stdexcept>

#include "platform/win32_types.h"

namespace veldra {

class AtomicWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes the bytes to a temporary file beside `path`, flushes it to disk and
// renames it over `path`. On failure the temporary file is removed, `path` is
// left as it was, and AtomicWriteError is thrown.
void WriteFileAtomically(const std::filesystem::path& path, std::span<const BYTE> bytes);

}  // namespace veldra
