#include "callerlimits.h"

#include <algorithm>
#include <utility>

namespace tarnivel::directory {

namespace {

constexpr auto SweepInterval = std::chrono::seconds(10);

} // namespace

CallerLimits::ConnectionSlot::ConnectionSlot(CallerLimits &limits, std::string address)
    : limits(&limits), address(std::move(address))
{
}

CallerLimits::ConnectionSlot::ConnectionSlot(ConnectionSlot &&other) noexcept
    : limits(std::exchange(other.limits, nullptr)), address(std::move(other.address))
{
}

CallerLimits::ConnectionSlot::~ConnectionSlot()
{
    if (limits)
        limits->closeConnection(address);
}

CallerLimits::CallerLimits(LimitSettings settings) : settings(settings) {}

std::optional<CallerLimits::ConnectionSlot> CallerLimits::openConnection(const std::string &peer)
{
    if (settings.maxConnectionsPerAddress == 0)
        return ConnectionSlot(*this, {});
    auto &open = connections[peer];
    if (open >= settings.maxConnectionsPerAddress)
        return std::nullopt;
    ++open;
    return ConnectionSlot(*this, peer);
}

void CallerLimits::closeConnection(const std::string &peer)
{
    if (settings.maxConnectionsPerAddress == 0)
        return;
    if (const auto open = connections.find(peer); open != connections.end() && --open->second == 0)
        connections.erase(open);
}

bool CallerLimits::admitRequest(const std::string &caller, Clock::time_point now)
{
    if (settings.requestsPerSecond == 0)
        return true;
    if (now >= nextSweep)
        forgetFullBuckets(now);
    const double capacity = settings.requestsPerSecond;
    auto [bucket, added] = buckets.try_emplace(caller, Bucket{capacity, now});
    auto &[tokens, updated] = bucket->second;
    const std::chrono::duration<double> elapsed = now - updated;
    tokens = std::min(capacity, tokens + elapsed.count() * capacity);
    updated = now;
    if (tokens < 1.0)
        return false;
    tokens -= 1.0;
    return true;
}

// A bucket that would be full again holds nothing worth keeping.
void CallerLimits::forgetFullBuckets(Clock::time_point now)
{
    std::erase_if(buckets, [&](const auto &entry) { return now - entry.second.updated >= std::chrono::seconds(1); });
    nextSweep = now + SweepInterval;
}

} // namespace tarnivel::directory
