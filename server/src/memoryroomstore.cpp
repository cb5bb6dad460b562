#include "memoryroomstore.h"

namespace tarnivel::directory {

MemoryRoomStore::MemoryRoomStore(StoreSettings settings) : settings(settings) {}

void MemoryRoomStore::start(ReadyHandler ready)
{
    ready();
}

void MemoryRoomStore::enter(const std::string &room, const std::string &caller, EnterHandler done)
{
    done(enterAt(room, caller, Clock::now()));
}

void MemoryRoomStore::withdraw(const std::string &room, const std::string &caller, WithdrawHandler done)
{
    withdrawAt(room, caller, Clock::now());
    done(true);
}

EnterResult MemoryRoomStore::enterAt(const std::string &room, const std::string &caller, Clock::time_point now)
{
    dropExpired(now);
    const auto deadline = now + settings.expiry;
    if (const auto found = rooms.find(room); found != rooms.end()) {
        const auto wait = found->second;
        if (wait->caller != caller)
            return {EnterOutcome::Found, wait->caller};
        wait->deadline = deadline;
        byDeadline.splice(byDeadline.end(), byDeadline, wait);
        return {EnterOutcome::Waiting, {}};
    }
    auto &count = roomsPerCaller[caller];
    if (count >= settings.maxRoomsPerCaller)
        return {EnterOutcome::TooManyRooms, {}};
    ++count;
    const auto wait = byDeadline.insert(byDeadline.end(), Wait{room, caller, deadline});
    rooms.emplace(wait->room, wait);
    return {EnterOutcome::Waiting, {}};
}

void MemoryRoomStore::withdrawAt(const std::string &room, const std::string &caller, Clock::time_point now)
{
    dropExpired(now);
    if (const auto found = rooms.find(room); found != rooms.end() && found->second->caller == caller)
        erase(found->second);
}

void MemoryRoomStore::dropExpired(Clock::time_point now)
{
    while (!byDeadline.empty() && byDeadline.front().deadline <= now)
        erase(byDeadline.begin());
}

void MemoryRoomStore::erase(Waits::iterator wait)
{
    if (const auto count = roomsPerCaller.find(wait->caller); count != roomsPerCaller.end() && --count->second == 0)
        roomsPerCaller.erase(count);
    rooms.erase(wait->room);
    byDeadline.erase(wait);
}

} // namespace tarnivel::directory
