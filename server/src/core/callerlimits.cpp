#include "callerlimits.h"

#include <algorithm>
#include <utility>

namespace tarnivel::dirserver {

namespace {

constexpr auto SweepInterval = std::chrono::seconds(10);
// A bucket holds one second's worth of requests, so one untouched this long is full again.
constexpr auto BucketFullAgain = std::chrono::seconds(1);

} // namespace

CallerLimits::ConnectionSlot::ConnectionSlot(CallerLimits &limits, const CallerNetworks &networks)
    : limits(&limits)
    , networks(networks)
{}

CallerLimits::ConnectionSlot::ConnectionSlot(ConnectionSlot &&other) noexcept
    : limits(std::exchange(other.limits, nullptr))
    , networks(other.networks)
{}

void CallerLimits::ConnectionSlot::release()
{
    if (auto *held = std::exchange(limits, nullptr)) {
        held->uncount(networks);
        held->open.fetch_sub(1, std::memory_order_relaxed);
    }
}

CallerLimits::CallerLimits(LimitSettings settings) : settings(settings) {}

CallerLimits::Shard &CallerLimits::shardOf(const NetworkKey &key)
{
    return shards[NetworkKeyHash{}(key) % ShardCount];
}

bool CallerLimits::serverFull() const
{
    return settings.maxConnections != 0 && open.load(std::memory_order_relaxed) >= settings.maxConnections;
}

CallerLimits::Admission CallerLimits::openConnection(const CallerNetworks &peer, unsigned overCap)
{
    Admission admission;
    const auto now = Clock::now();
    // Each network of the peer in turn, narrowest first; a full one gives back what the
    // narrower ones took.
    CallerNetworks counted = peer;
    for (counted.count = 0; counted.count < peer.count; ++counted.count) {
        const auto &key = peer.keys[counted.count];
        const unsigned cap = settings.connections.of(key);
        if (cap == 0)
            continue;
        auto &shard = shardOf(key);
        const std::lock_guard hold(shard.lock);
        if (now >= shard.nextSweep)
            sweep(shard, now);
        auto &count = shard.counts[key].connections;
        if (count >= cap)
            break;
        ++count;
    }
    if (counted.count < peer.count) {
        admission.refusal = counted.count == 0 ? ConnectionRefusal::PerAddress : ConnectionRefusal::PerNetwork;
        uncount(counted);
        return admission;
    }
    const unsigned before = open.fetch_add(1, std::memory_order_relaxed);
    if (settings.maxConnections != 0 && before >= settings.maxConnections + overCap) {
        open.fetch_sub(1, std::memory_order_relaxed);
        admission.refusal = ConnectionRefusal::Server;
        uncount(counted);
        return admission;
    }
    admission.slot.emplace(*this, peer);
    return admission;
}

void CallerLimits::uncount(const CallerNetworks &networks)
{
    for (const auto &key : networks) {
        if (settings.connections.of(key) == 0)
            continue;
        auto &shard = shardOf(key);
        const std::lock_guard hold(shard.lock);
        if (auto *count = shard.counts.find(key); count && count->connections > 0)
            --count->connections;
    }
}

bool CallerLimits::admitRequest(const CallerNetworks &caller, Clock::time_point now)
{
    // Charged to the narrowest network first: a request refused by a wider one still counts
    // against the narrower ones.
    for (const auto &key : caller) {
        const unsigned rate = settings.requestsPerSecond.of(key);
        if (rate == 0)
            continue;
        auto &shard = shardOf(key);
        const std::lock_guard hold(shard.lock);
        if (now >= shard.nextSweep)
            sweep(shard, now);
        const float capacity = float(rate);
        auto &count = shard.counts[key];
        if (count.refilled == Clock::time_point{}) {
            count.tokens = capacity;
        } else {
            const std::chrono::duration<float> elapsed = now - count.refilled;
            count.tokens = std::min(capacity, count.tokens + elapsed.count() * capacity);
        }
        count.refilled = now;
        if (count.tokens < 1.0f)
            return false;
        count.tokens -= 1.0f;
    }
    return true;
}

bool CallerLimits::admitReachCheck(const NetworkKey &caller, Clock::time_point now)
{
    auto &shard = shardOf(caller);
    const std::lock_guard hold(shard.lock);
    if (now >= shard.nextSweep)
        sweep(shard, now);
    auto &count = shard.counts[caller];
    if (count.reachChecked != Clock::time_point{} && now - count.reachChecked < settings.reachInterval)
        return false;
    count.reachChecked = now;
    return true;
}

// A network with no connection open, a full bucket and no recent check holds nothing worth keeping.
void CallerLimits::sweep(Shard &shard, Clock::time_point now)
{
    shard.counts.eraseIf([&](const NetworkKey &, const Count &count) {
        return count.connections == 0 && now - count.refilled >= BucketFullAgain
            && now - count.reachChecked >= settings.reachInterval;
    });
    shard.nextSweep = now + SweepInterval;
}

} // namespace tarnivel::dirserver
