#include "memoryroomstore.h"

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

EnterResult MemoryRoomStore::enterAt(const std::string &room, StoreCaller caller, Clock::time_point now)
{
    const std::lock_guard hold(lock);
    dropExpired(now);
    const auto deadline = now + settings.expiry;
    if (const auto found = rooms.find(room); found != rooms.end()) {
        const auto wait = found->second;
        if (wait->caller != caller.address)
            return {EnterOutcome::Found, wait->caller};
        wait->deadline = deadline;
        byDeadline.splice(byDeadline.end(), byDeadline, wait);
        return {EnterOutcome::Waiting, {}};
    }
    if (byDeadline.size() >= settings.maxWaits)
        return {EnterOutcome::TooManyWaits, {}};
    for (const auto &network : caller.networks) {
        const unsigned limit = settings.rooms.of(network);
        if (limit == 0)
            continue;
        if (const auto count = roomsPerNetwork.find(network); count != roomsPerNetwork.end() && count->second >= limit)
            return {EnterOutcome::TooManyRooms, {}};
    }
    for (const auto &network : caller.networks)
        if (settings.rooms.of(network) != 0)
            ++roomsPerNetwork[network];
    const auto wait = byDeadline.insert(byDeadline.end(), Wait{room, caller.address, caller.networks, deadline});
    rooms.emplace(wait->room, wait);
    waitCount.store(byDeadline.size(), std::memory_order_relaxed);
    return {EnterOutcome::Waiting, {}};
}

void MemoryRoomStore::withdrawAt(const std::string &room, StoreCaller caller, Clock::time_point now)
{
    const std::lock_guard hold(lock);
    dropExpired(now);
    if (const auto found = rooms.find(room); found != rooms.end() && found->second->caller == caller.address)
        erase(found->second);
}

void MemoryRoomStore::dropExpired(Clock::time_point now)
{
    while (!byDeadline.empty() && byDeadline.front().deadline <= now)
        erase(byDeadline.begin());
}

void MemoryRoomStore::erase(Waits::iterator wait)
{
    for (const auto &network : wait->networks) {
        if (settings.rooms.of(network) == 0)
            continue;
        if (const auto count = roomsPerNetwork.find(network); count != roomsPerNetwork.end() && --count->second == 0)
            roomsPerNetwork.erase(count);
    }
    rooms.erase(wait->room);
    byDeadline.erase(wait);
    waitCount.store(byDeadline.size(), std::memory_order_relaxed);
}

} // namespace tarnivel::dirserver
