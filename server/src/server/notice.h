#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace tarnivel::dirserver {

// One line on standard error about the server itself (start, stop, the shared store); the
// access log goes to standard output.
void notice(std::string_view line);

// A notice that may come often (failed accepts): said at most once per interval, with how
// many times it was held back in between. Safe from every thread.
class ThrottledNotice
{
public:
    explicit ThrottledNotice(std::chrono::seconds interval) : interval(interval) {}

    void say(std::string_view line);

private:
    const std::chrono::seconds interval;
    std::mutex lock;
    std::chrono::steady_clock::time_point next{};
    std::uint64_t held = 0;
};

} // namespace tarnivel::dirserver
