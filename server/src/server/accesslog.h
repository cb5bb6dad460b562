#pragma once

#include "requestreading.h"
#include "shortlock.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace tarnivel::dirserver {

struct AccessLogSettings
{
    bool enabled = true;
    bool logRooms = false;          // room names in the log (--log-rooms)
    int fd = 1;                     // standard output
    std::size_t capacity = 1 << 20; // bytes held for a reader that falls behind, then lines are dropped
};

// One line per request:
//   2024-05-01T09:30:00Z 192.0.2.7 GET /?* 200 NoUser
// The waiting caller's address, given to whoever finds it, is written as "Found", a refusal
// as its reason alone ("TooManyRooms"); room names
// are written ("/?lobby") only with logRooms. Bytes outside printable ASCII become \xNN, so a
// line stays a line. Threads hand their lines over under a short lock and never wait for the
// log's reader: one thread of the log's own writes them out, and when the reader falls more
// than `capacity` behind, new lines are dropped and counted.
class AccessLog
{
public:
    explicit AccessLog(AccessLogSettings settings);
    // Writes what is held, waiting at most two seconds for a reader that does not read.
    ~AccessLog();
    AccessLog(const AccessLog &) = delete;
    AccessLog &operator=(const AccessLog &) = delete;

    void write(std::string_view caller, std::string_view method, std::string_view target, RequestClass kind,
               unsigned status, std::string_view body);

    [[nodiscard]] std::uint64_t dropped() const { return droppedLines.load(std::memory_order_relaxed); }

    // The line as it is written, without its line end, into line (which is cleared first).
    static void format(std::string &line, std::string_view stamp, std::string_view caller, std::string_view method,
                       std::string_view target, RequestClass kind, unsigned status, std::string_view body,
                       bool logRooms);

private:
    void run();
    void writeOut(const std::string &bytes, bool finalWrite);

    const AccessLogSettings settings;
    ShortLock lock;
    std::condition_variable_any wake;
    std::string pending;
    std::atomic<bool> stopping{false};
    bool broken = false; // writer thread only: the log cannot be written any more
    std::atomic<std::uint64_t> droppedLines{0};
    std::thread writer;
};

} // namespace tarnivel::dirserver
