// Results of loading the media definition file's programs, and the limits of
// the writer settings it carries.
#pragma once

namespace veldra {

enum class ProgramLoad : int {
    Loaded = 0,
    Refused = 1,  // the reason has been shown
};

constexpr int kDefaultWriteDelay = 100;
constexpr int kMinimumWriteDelay = 50;
constexpr int kDefaultWriteRetry = 5;

}  // namespace veldra
