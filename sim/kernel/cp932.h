// Code page 932 at the simulated machine's edges: the conversions are the
// host helpers', under the names the simulator's users have always called.
#pragma once

#include "host/cp932.h"

namespace veldra::sim {

using host::Cp932ToUtf8;
using host::Cp932ToUtf8Lossy;
using host::Utf8ToCp932;

}  // namespace veldra::sim
