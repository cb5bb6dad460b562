#include "memoryroomstore.h"

#include <functional>

namespace tarnivel::dirserver {

MemoryRoomStore::MemoryRoomStore(StoreSettings settings) : settings(settings) {}

void MemoryRoomStore::enter(const std::string &room, StoreCaller caller, EnterHandler done)
{
    done(enterAt(room, caller, Clock::now()));
}

void MemoryRoomStore::withdraw(const std::string &room, StoreCaller caller, WithdrawHandler done)
{
    withdrawAt(room, caller, Clock::now());
    done(true);
}

MemoryRoomStore::RoomShard &MemoryRoomStore::roomShard(std::string_view room)
{
    return roomShards[std::hash<std::string_view>{}(room) % ShardCount];
}

MemoryRoomStore::NetworkShard &MemoryRoomStore::networkShard(const NetworkKey &network)
{
    return networkShards[NetworkKeyHash{}(network) % ShardCount];
}

EnterResult MemoryRoomStore::enterAt(const std::string &room, StoreCaller caller, Clock::time_point now)
{
    auto result = enterInShard(room, caller, now);
    if (result.outcome != EnterOutcome::TooManyWaits && result.outcome != EnterOutcome::TooManyRooms)
        return result;
    // Waits that have expired in shards nobody asked since still count: drop them, and ask again.
    for (auto &shard : roomShards) {
        const std::lock_guard hold(shard.lock);
        dropExpired(shard, now);
    }
    return enterInShard(room, caller, now);
}

EnterResult MemoryRoomStore::enterInShard(const std::string &room, StoreCaller caller, Clock::time_point now)
{
    auto &shard = roomShard(room);
    const std::lock_guard hold(shard.lock);
    dropExpired(shard, now);
    const auto deadline = now + settings.expiry;
    if (const auto *found = shard.rooms.find(room)) {
        const auto wait = *found;
        if (wait->caller != caller.address)
            return {EnterOutcome::Found, wait->caller};
        wait->deadline = deadline;
        shard.byDeadline.splice(shard.byDeadline.end(), shard.byDeadline, wait);
        return {EnterOutcome::Waiting, {}};
    }
    if (waitCount.fetch_add(1, std::memory_order_relaxed) >= settings.maxWaits) {
        waitCount.fetch_sub(1, std::memory_order_relaxed);
        return {EnterOutcome::TooManyWaits, {}};
    }
    if (!countRooms(caller.networks)) {
        waitCount.fetch_sub(1, std::memory_order_relaxed);
        return {EnterOutcome::TooManyRooms, {}};
    }
    const auto wait =
        shard.byDeadline.insert(shard.byDeadline.end(), Wait{room, caller.address, caller.networks, deadline});
    shard.rooms[wait->room] = wait;
    return {EnterOutcome::Waiting, {}};
}

void MemoryRoomStore::withdrawAt(const std::string &room, StoreCaller caller, Clock::time_point now)
{
    auto &shard = roomShard(room);
    const std::lock_guard hold(shard.lock);
    dropExpired(shard, now);
    if (const auto *found = shard.rooms.find(room); found && (*found)->caller == caller.address)
        erase(shard, *found);
}

bool MemoryRoomStore::countRooms(const CallerNetworks &networks)
{
    // Each network in turn, narrowest first; a full one gives back what the narrower ones took.
    CallerNetworks counted = networks;
    for (counted.count = 0; counted.count < networks.count; ++counted.count) {
        const auto &network = networks.keys[counted.count];
        const unsigned limit = settings.rooms.of(network);
        if (limit == 0)
            continue;
        auto &shard = networkShard(network);
        const std::lock_guard hold(shard.lock);
        auto &count = shard.rooms[network];
        if (count >= limit)
            break;
        ++count;
    }
    if (counted.count == networks.count)
        return true;
    uncountRooms(counted);
    return false;
}

void MemoryRoomStore::uncountRooms(const CallerNetworks &networks)
{
    for (const auto &network : networks) {
        if (settings.rooms.of(network) == 0)
            continue;
        auto &shard = networkShard(network);
        const std::lock_guard hold(shard.lock);
        if (auto *count = shard.rooms.find(network); count && --*count == 0)
            shard.rooms.erase(network);
    }
}

void MemoryRoomStore::dropExpired(RoomShard &shard, Clock::time_point now)
{
    while (!shard.byDeadline.empty() && shard.byDeadline.front().deadline <= now)
        erase(shard, shard.byDeadline.begin());
}

void MemoryRoomStore::erase(RoomShard &shard, Waits::iterator wait)
{
    uncountRooms(wait->networks);
    shard.rooms.erase(wait->room);
    shard.byDeadline.erase(wait);
    waitCount.fetch_sub(1, std::memory_order_relaxed);
}

} // namespace tarnivel::dirserver
