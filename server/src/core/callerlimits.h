#pragma once

#include "network.h"
#include "flattable.h"
#include "shortlock.h"

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

namespace tarnivel::dirserver {

// Every limit counts a caller in each of its networks (see CallerNetworks), and refuses when
// any of them is full: a stranger holding many addresses of one provider's block is one
// caller there.
struct LimitSettings
{
    NetworkLimits connections{32, 64, 128, 128};       // open connections per TCP peer's networks
    unsigned maxConnections = 10000;                   // for the whole server; 0: no cap
    NetworkLimits requestsPerSecond{20, 50, 100, 100}; // a burst of one second's worth is allowed
    std::chrono::seconds reachInterval{60};            // one reachability check per caller in this time
};

enum class ConnectionRefusal { PerAddress, PerNetwork, Server };

// Keeps one address or network from taking the server for itself: open connections per
// network of the TCP peer and in all, requests per network of the caller (token buckets),
// reachability checks per caller. Networks that have gone quiet are forgotten. Safe to use
// from every thread: the counts are split in shards by network, each with its own lock.
class CallerLimits
{
public:
    using Clock = std::chrono::steady_clock;

    // Held by a connection while it is open; gives its place back when destroyed or released.
    class ConnectionSlot
    {
    public:
        ConnectionSlot(CallerLimits &limits, const CallerNetworks &networks);
        ConnectionSlot(ConnectionSlot &&other) noexcept;
        ConnectionSlot &operator=(ConnectionSlot &&) = delete;
        ~ConnectionSlot() { release(); }

        void release();

    private:
        CallerLimits *limits;
        CallerNetworks networks;
    };

    struct Admission
    {
        std::optional<ConnectionSlot> slot;
        ConnectionRefusal refusal = ConnectionRefusal::PerAddress; // when there is no slot
    };

    explicit CallerLimits(LimitSettings settings);

    // overCap: how far past --max-connections this one may go (while connections closed to
    // make room are on their way out on other threads). A peer without networks (a trusted
    // proxy) counts only in all.
    [[nodiscard]] Admission openConnection(const CallerNetworks &peer, unsigned overCap = 0);
    [[nodiscard]] bool admitRequest(const CallerNetworks &caller, Clock::time_point now = Clock::now());
    [[nodiscard]] bool admitReachCheck(const NetworkKey &caller, Clock::time_point now = Clock::now());
    [[nodiscard]] unsigned openConnections() const { return open.load(std::memory_order_relaxed); }
    [[nodiscard]] bool serverFull() const;

private:
    // What is counted for one network; forgotten once it holds nothing worth keeping. Small,
    // as most callers come once in a while and their counts are looked up cold.
    struct Count
    {
        unsigned connections = 0;
        float tokens = 0;
        Clock::time_point refilled{};     // the epoch: no request counted yet
        Clock::time_point reachChecked{}; // the epoch: none yet
    };
    struct Shard
    {
        ShortLock lock;
        FlatTable<NetworkKey, Count, NetworkKeyHash> counts;
        Clock::time_point nextSweep;
    };
    static constexpr std::size_t ShardCount = 64;

    Shard &shardOf(const NetworkKey &key);
    // Gives back the connection counted in each of the networks.
    void uncount(const CallerNetworks &networks);
    void sweep(Shard &shard, Clock::time_point now);

    const LimitSettings settings;
    std::atomic<unsigned> open{0};
    std::array<Shard, ShardCount> shards;
};

} // namespace tarnivel::dirserver
