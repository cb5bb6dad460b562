#include "notice.h"

#include <cstdio>

namespace tarnivel::directory {

void notice(std::string_view line)
{
    std::fprintf(stderr, "tarnivel-directory: %.*s\n", static_cast<int>(line.size()), line.data());
}

} // namespace tarnivel::directory
