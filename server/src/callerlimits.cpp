#include "callerlimits.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace tarnivel::dirserver {

namespace {

constexpr auto SweepInterval = std::chrono::seconds(10);

} // namespace

CallerLimits::ConnectionSlot::ConnectionSlot(CallerLimits &limits, std::string key) : limits(&limits), key(std::move(key)) {}

CallerLimits::ConnectionSlot::ConnectionSlot(ConnectionSlot &&other) noexcept
    : limits(std::exchange(other.limits, nullptr)), key(std::move(other.key))
{
}

CallerLimits::ConnectionSlot::~ConnectionSlot()
{
    if (limits)
        limits->closeConnection(key);
}

CallerLimits::CallerLimits(LimitSettings settings) : settings(settings) {}

CallerLimits::Shard &CallerLimits::shardOf(std::string_view key)
{
    return shards[std::hash<std::string_view>{}(key) % ShardCount];
}

CallerLimits::Admission CallerLimits::openConnection(const std::string &peerKey)
{
    Admission admission;
    if (settings.maxConnections != 0 && open.fetch_add(1, std::memory_order_relaxed) >= settings.maxConnections) {
        open.fetch_sub(1, std::memory_order_relaxed);
        admission.refusal = ConnectionRefusal::Server;
        return admission;
    }
    if (settings.maxConnections == 0)
        open.fetch_add(1, std::memory_order_relaxed);
    if (settings.maxConnectionsPerAddress != 0) {
        auto &shard = shardOf(peerKey);
        const std::lock_guard hold(shard.lock);
        auto &count = shard.connections[peerKey];
        if (count >= settings.maxConnectionsPerAddress) {
            open.fetch_sub(1, std::memory_order_relaxed);
            admission.refusal = ConnectionRefusal::PerAddress;
            return admission;
        }
        ++count;
    }
    admission.slot.emplace(*this, peerKey);
    return admission;
}

void CallerLimits::closeConnection(const std::string &key)
{
    open.fetch_sub(1, std::memory_order_relaxed);
    if (settings.maxConnectionsPerAddress == 0)
        return;
    auto &shard = shardOf(key);
    const std::lock_guard hold(shard.lock);
    if (const auto count = shard.connections.find(key); count != shard.connections.end() && --count->second == 0)
        shard.connections.erase(count);
}

bool CallerLimits::admitRequest(const std::string &callerKey, Clock::time_point now)
{
    if (settings.requestsPerSecond == 0)
        return true;
    auto &shard = shardOf(callerKey);
    const std::lock_guard hold(shard.lock);
    if (now >= shard.nextSweep)
        sweep(shard, now);
    const double capacity = settings.requestsPerSecond;
    auto [bucket, added] = shard.buckets.try_emplace(callerKey, Bucket{capacity, now});
    auto &[tokens, updated] = bucket->second;
    const std::chrono::duration<double> elapsed = now - updated;
    tokens = std::min(capacity, tokens + elapsed.count() * capacity);
    updated = now;
    if (tokens < 1.0)
        return false;
    tokens -= 1.0;
    return true;
}

bool CallerLimits::admitReachCheck(const std::string &callerKey, Clock::time_point now)
{
    auto &shard = shardOf(callerKey);
    const std::lock_guard hold(shard.lock);
    if (now >= shard.nextSweep)
        sweep(shard, now);
    auto [last, added] = shard.reachChecks.try_emplace(callerKey, now);
    if (added)
        return true;
    if (now - last->second < settings.reachInterval)
        return false;
    last->second = now;
    return true;
}

// A bucket that would be full again, or a check long enough ago, holds nothing worth keeping.
void CallerLimits::sweep(Shard &shard, Clock::time_point now)
{
    std::erase_if(shard.buckets, [&](const auto &entry) { return now - entry.second.updated >= std::chrono::seconds(1); });
    std::erase_if(shard.reachChecks, [&](const auto &entry) { return now - entry.second >= settings.reachInterval; });
    shard.nextSweep = now + SweepInterval;
}

} // namespace tarnivel::dirserver
