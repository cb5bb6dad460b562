#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnivel::dirserver {

struct LimitSettings
{
    unsigned maxConnectionsPerAddress = 32; // 0: no cap
    unsigned maxConnections = 10000;        // for the whole server; 0: no cap
    unsigned requestsPerSecond = 20;        // 0: no limit; a burst of one second's worth is allowed
    std::chrono::seconds reachInterval{60}; // one reachability check per caller in this time
};

enum class ConnectionRefusal { PerAddress, Server };

// Keeps one address from taking the server for itself: open connections per TCP peer and in
// all, requests per caller (token bucket), reachability checks per caller. Callers are keys
// (see limitKey); those that have gone quiet are forgotten. Safe to use from every thread:
// the maps are split in shards by key, each with its own lock.
class CallerLimits
{
public:
    using Clock = std::chrono::steady_clock;

    // Held by a connection while it is open; gives its place back when destroyed.
    class ConnectionSlot
    {
    public:
        ConnectionSlot(CallerLimits &limits, std::string key);
        ConnectionSlot(ConnectionSlot &&other) noexcept;
        ConnectionSlot &operator=(ConnectionSlot &&) = delete;
        ~ConnectionSlot();

    private:
        CallerLimits *limits;
        std::string key;
    };

    struct Admission
    {
        std::optional<ConnectionSlot> slot;
        ConnectionRefusal refusal = ConnectionRefusal::PerAddress; // when there is no slot
    };

    explicit CallerLimits(LimitSettings settings);

    [[nodiscard]] Admission openConnection(const std::string &peerKey);
    [[nodiscard]] bool admitRequest(const std::string &callerKey, Clock::time_point now = Clock::now());
    [[nodiscard]] bool admitReachCheck(const std::string &callerKey, Clock::time_point now = Clock::now());
    [[nodiscard]] unsigned openConnections() const { return open.load(std::memory_order_relaxed); }

private:
    struct Bucket
    {
        double tokens;
        Clock::time_point updated;
    };
    struct Shard
    {
        std::mutex lock;
        std::unordered_map<std::string, unsigned> connections;
        std::unordered_map<std::string, Bucket> buckets;
        std::unordered_map<std::string, Clock::time_point> reachChecks;
        Clock::time_point nextSweep;
    };
    static constexpr std::size_t ShardCount = 16;

    Shard &shardOf(std::string_view key);
    void closeConnection(const std::string &key);
    void sweep(Shard &shard, Clock::time_point now);

    const LimitSettings settings;
    std::atomic<unsigned> open{0};
    std::array<Shard, ShardCount> shards;
};

} // namespace tarnivel::dirserver
