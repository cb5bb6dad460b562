#include "notice.h"

#include <cstdio>
#include <utility>

namespace tarnivel::dirserver {

void notice(std::string_view line)
{
    std::fprintf(stderr, "tarnivel-directory: %.*s\n", static_cast<int>(line.size()), line.data());
}

void ThrottledNotice::say(std::string_view line)
{
    const auto now = std::chrono::steady_clock::now();
    std::uint64_t before = 0;
    {
        const std::lock_guard hold(lock);
        if (now < next) {
            ++held;
            return;
        }
        next = now + interval;
        before = std::exchange(held, 0);
    }
    if (before == 0)
        notice(line);
    else
        notice(std::string(line) + " (and " + std::to_string(before) + " more like it before)");
}

} // namespace tarnivel::dirserver
