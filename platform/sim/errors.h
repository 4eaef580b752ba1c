// How the simulated machine fails: loudly on what it does not implement.
#pragma once

#include <stdexcept>

namespace veldra::sim {

// The program asked for something the machine does not simulate; `veldra`
// ends with exit code 4 rather than pretend.
class NotImplementedError : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

}  // namespace veldra::sim
