// The text manifest a data file is built from; docs/datafile-manifest.md
// describes it.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

#include "tools/datafile/datafile_writer.h"

namespace veldra {

// what() reads "FILE:LINE: message", or "FILE: message" when no single line
// is to blame.
class ManifestError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The most payload a manifest may ask for; a typo in a fill count should fail
// rather than eat the machine's memory.
inline constexpr std::uint64_t MANIFEST_PAYLOAD_MAX = 256u << 20;

// Parses manifest text. `manifestPath` names the manifest in errors, and host
// files named by `from` are found relative to its directory (and read here).
// Throws ManifestError.
DataFileSpec ParseManifest(std::string_view text, const std::filesystem::path& manifestPath);

// Reads the manifest file, then parses it. Throws ManifestError.
DataFileSpec LoadManifest(const std::filesystem::path& manifestPath);

}  // namespace veldra
