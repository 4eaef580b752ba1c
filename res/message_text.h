// Message texts: string-table entries with their %1 and %2 filled in.
#pragma once

#include <string>
#include <string_view>

#include "platform/ui_port.h"

namespace veldra {

// The string table's entry in its UTF-8 source form, for the hosts that
// build the table (the simulated machine) and the tools that quote it; empty
// when the id has none.
std::string_view StringTableSource(UINT id);

// String id of the string table, or the empty text when it is absent.
std::string LoadStringText(UiPort& ui, UINT id);

// Replaces %1 and %2 by the arguments and %% by %; anything else after a
// percent sign stays as it is.
std::string FormatMessageText(std::string_view pattern, std::string_view arg1 = {},
                              std::string_view arg2 = {});

}  // namespace veldra
