// What the fuzz targets share: cutting one input into fields, and stopping
// loudly when a promise of the code under test is broken, so that libFuzzer
// keeps the input that broke it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace veldra::fuzz {

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// Splits at the first `count - 1` NUL bytes; the last field keeps the rest,
// NULs and all. Fewer fields come back when the input has fewer NULs.
inline std::vector<std::string_view> SplitAtNul(std::string_view input, std::size_t count) {
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < count) {
        std::size_t nul = input.find('\0');
        if (nul == std::string_view::npos) break;
        fields.push_back(input.substr(0, nul));
        input.remove_prefix(nul + 1);
    }
    fields.push_back(input);
    return fields;
}

[[noreturn]] inline void Broken(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, what);
    std::abort();
}

}  // namespace veldra::fuzz

#define FUZZ_REQUIRE(condition) \
    ((condition) ? static_cast<void>(0) : ::veldra::fuzz::Broken(#condition, __FILE__, __LINE__))
