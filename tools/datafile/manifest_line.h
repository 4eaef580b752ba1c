// Splitting one manifest line into words.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veldra {

struct ManifestWord {
    std::string text;
    bool quoted = false;  // written as "..."; never taken for a keyword
};

// What is wrong with a line, without the file and line number.
class ManifestLineError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Words are separated by blanks; "..." keeps blanks inside a word and takes
// the escapes \" \\ \n \r \t \0 \xNN; '#' outside quotes starts a comment.
// Throws ManifestLineError.
std::vector<ManifestWord> SplitManifestLine(std::string_view line);

}  // namespace veldra
