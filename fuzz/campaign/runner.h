// One creation of the campaign from its seed: the machine made in a fresh
// directory, the program run on it in this process with the operator's
// answers given box by box, and every invariant checked afterwards.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace veldra::campaign {

struct CreationResult {
    std::string failure;            // empty when every invariant held
    std::string outcome;            // "created", "failed" or "declined", for the tally
    std::string reason;             // why the oracle expected it to fail or stop
    std::filesystem::path machine;  // kept when asked for, or on failure
};

CreationResult RunCreation(std::uint64_t seed, bool keepMachine);

}  // namespace veldra::campaign
