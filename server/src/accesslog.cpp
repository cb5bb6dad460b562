#include "accesslog.h"

#include <cstdio>
#include <unistd.h>

namespace tarnivel::directory {

namespace {

constexpr std::size_t MaxLoggedTarget = 300;

void appendEscaped(std::string &line, std::string_view text, std::size_t limit)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b > 0x20 && b < 0x7F && b != '\\') {
            line.push_back(char(b));
        } else {
            line += "\\x";
            line.push_back(Hex[b >> 4]);
            line.push_back(Hex[b & 0xF]);
        }
    }
    if (text.size() > limit)
        line += "...";
}

} // namespace

AccessLog::AccessLog(boost::asio::io_context &io, bool enabled) : enabled(enabled), flushTimer(io)
{
    if (!enabled)
        return;
    // A terminal sees each line at once; a pipe or file gets them in blocks.
    if (!isatty(STDOUT_FILENO))
        std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    scheduleFlush();
}

AccessLog::~AccessLog()
{
    std::fflush(stdout);
}

void AccessLog::write(std::string_view caller, std::string_view method, std::string_view target, unsigned status,
                      std::string_view body)
{
    if (!enabled)
        return;
    refreshClock();
    line.assign(stamp);
    line.push_back(' ');
    line.append(caller.empty() ? "-" : caller);
    line.push_back(' ');
    appendEscaped(line, method, 16);
    line.push_back(' ');
    appendEscaped(line, target, MaxLoggedTarget);
    line.push_back(' ');
    line += std::to_string(status);
    line.push_back(' ');
    appendEscaped(line, body.empty() ? "-" : body, 64);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), stdout);
}

void AccessLog::scheduleFlush()
{
    flushTimer.expires_after(std::chrono::seconds(1));
    flushTimer.async_wait([this](const boost::system::error_code &error) {
        if (error)
            return;
        std::fflush(stdout);
        scheduleFlush();
    });
}

void AccessLog::refreshClock()
{
    const std::time_t now = std::time(nullptr);
    if (now == stampSecond)
        return;
    stampSecond = now;
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
}

} // namespace tarnivel::directory
