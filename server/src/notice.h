#pragma once

#include <string_view>

namespace tarnivel::directory {

// One line on standard error about the server itself (start, stop, the shared store); the
// access log goes to standard output.
void notice(std::string_view line);

} // namespace tarnivel::directory
