#pragma once

#include "requestreading.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace tarnivel::dirserver {

enum class Refusal {
    RateLimit,             // --rate-limit and --rate-limit-per-...
    ConnectionsPerAddress, // --max-connections-per-address
    ServerConnections,     // --max-connections
    RoomsPerCaller,        // --max-rooms-per-caller and --max-rooms-per-...
    ServerWaits,           // --max-waits
    ReachChecks,           // one reachability check per caller a minute
    ReachBusy,             // too many reachability checks under way
    ConnectionsPerNetwork, // --max-connections-per-56, -48, -24
    IdleClosed,            // a connection that had sent nothing, closed for a newcomer at --max-connections
};
inline constexpr std::size_t RefusalCount = 9;

enum class RedisError {
    Connect, // resolving, connecting, TLS, AUTH or loading the functions failed
    Timeout, // a request (or the connection's set-up) went past its deadline
    Lost,    // the connection closed under us
    Reply,   // Redis answered with an error
    Late,    // Redis ran a request after its deadline, and so changed nothing
};
inline constexpr std::size_t RedisErrorCount = 5;

// Statuses kept apart in the counts; anything else is counted as "other".
inline constexpr std::array<unsigned, 11> CountedStatuses = {200, 400, 403, 404, 405, 413, 414, 429, 431, 503, 0};
// Upper bounds of the latency histogram, in seconds (+Inf comes after).
inline constexpr std::array<double, 13> LatencyBounds = {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05,
                                                         0.1,    0.25,  0.5,    1,     2.5,  5};

// What one thread counts. Only that thread writes (plain loads and stores of atomics, no
// locked instructions); /metrics reads every thread's from whichever thread answers it.
class ThreadCounters
{
public:
    void countRequest(RequestClass kind, unsigned status, std::chrono::nanoseconds latency);
    void countRefusal(Refusal reason) { bump(refusals[std::size_t(reason)]); }
    void countRedisError(RedisError kind) { bump(redisErrors[std::size_t(kind)]); }
    void countAccepted() { bump(accepted); }
    void countAcceptFailure() { bump(acceptFailures); }
    void countMoved() { bump(moved); }

    using Counter = std::atomic<std::uint64_t>;
    std::array<std::array<Counter, CountedStatuses.size()>, RequestClassCount> requests{};
    std::array<Counter, LatencyBounds.size() + 1> latencyBuckets{}; // not cumulative here
    Counter latencyNanoseconds{0};
    std::array<Counter, RefusalCount> refusals{};
    std::array<Counter, RedisErrorCount> redisErrors{};
    Counter accepted{0};
    Counter acceptFailures{0};
    Counter moved{0};

private:
    static void bump(Counter &counter, std::uint64_t by = 1)
    {
        counter.store(counter.load(std::memory_order_relaxed) + by, std::memory_order_relaxed);
    }
};

// Every thread's counts added up, and the gauges of the moment.
struct MetricsSnapshot
{
    std::array<std::array<std::uint64_t, CountedStatuses.size()>, RequestClassCount> requests{};
    std::array<std::uint64_t, LatencyBounds.size() + 1> latencyBuckets{};
    std::uint64_t latencyNanoseconds = 0;
    std::array<std::uint64_t, RefusalCount> refusals{};
    std::array<std::uint64_t, RedisErrorCount> redisErrors{};
    std::uint64_t accepted = 0;
    std::uint64_t acceptFailures = 0;
    std::uint64_t moved = 0;
    std::uint64_t openConnections = 0;
    std::optional<std::uint64_t> waits;      // in-process rooms only
    std::optional<std::uint64_t> redisReady; // connections ready, with --redis
    std::uint64_t redisConnections = 0;
    std::uint64_t logLinesDropped = 0;
    std::uint64_t threads = 0;
    bool draining = false;

    void add(const ThreadCounters &counters);
};

// The Prometheus text exposition format (version 0.0.4).
[[nodiscard]] std::string renderMetrics(const MetricsSnapshot &snapshot, std::string_view version);

} // namespace tarnivel::dirserver
