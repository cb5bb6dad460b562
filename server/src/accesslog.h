#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/steady_timer.hpp>

#include <ctime>
#include <string>
#include <string_view>

namespace tarnivel::directory {

// One line per request on standard output:
//   2024-05-01T09:30:00Z 192.0.2.7 GET /?lobby 200 NoUser
// Bytes of the target outside printable ASCII are written as \xNN, so a line stays a line.
// Lines are buffered and flushed at least once a second, and when the log goes.
class AccessLog
{
public:
    AccessLog(boost::asio::io_context &io, bool enabled);
    ~AccessLog();
    AccessLog(const AccessLog &) = delete;
    AccessLog &operator=(const AccessLog &) = delete;

    void write(std::string_view caller, std::string_view method, std::string_view target, unsigned status,
               std::string_view body);

private:
    void scheduleFlush();
    void refreshClock();

    bool enabled;
    boost::asio::steady_timer flushTimer;
    std::string line;
    std::time_t stampSecond = 0;
    char stamp[24] = {};
};

} // namespace tarnivel::directory
