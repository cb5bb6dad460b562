#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnivel::directory {

struct LimitSettings
{
    unsigned maxConnectionsPerAddress = 32; // 0: no cap
    unsigned requestsPerSecond = 20;        // 0: no limit; a burst of one second's worth is allowed
};

// Keeps one address from taking the server for itself: open connections per TCP peer, and
// requests per caller address (token bucket). Addresses that have gone quiet are forgotten.
class CallerLimits
{
public:
    using Clock = std::chrono::steady_clock;

    // Held by a connection while it is open; gives its place back when destroyed.
    class ConnectionSlot
    {
    public:
        ConnectionSlot(CallerLimits &limits, std::string address);
        ConnectionSlot(ConnectionSlot &&other) noexcept;
        ConnectionSlot &operator=(ConnectionSlot &&) = delete;
        ~ConnectionSlot();

    private:
        CallerLimits *limits;
        std::string address;
    };

    explicit CallerLimits(LimitSettings settings);

    [[nodiscard]] std::optional<ConnectionSlot> openConnection(const std::string &peer);
    [[nodiscard]] bool admitRequest(const std::string &caller, Clock::time_point now = Clock::now());

private:
    struct Bucket
    {
        double tokens;
        Clock::time_point updated;
    };

    void closeConnection(const std::string &peer);
    void forgetFullBuckets(Clock::time_point now);

    LimitSettings settings;
    std::unordered_map<std::string, unsigned> connections;
    std::unordered_map<std::string, Bucket> buckets;
    Clock::time_point nextSweep;
};

} // namespace tarnivel::directory
