#pragma once

#include "roomstore.h"

#include <list>
#include <string_view>
#include <unordered_map>

namespace tarnivel::directory {

// Rooms held in this process. Every wait lasts the same time, so waits kept in order of
// renewal are also in order of expiry: expired ones are dropped from the front on each call.
class MemoryRoomStore final : public RoomStore
{
public:
    using Clock = std::chrono::steady_clock;

    explicit MemoryRoomStore(StoreSettings settings);

    void start(ReadyHandler ready) override;
    void enter(const std::string &room, const std::string &caller, EnterHandler done) override;
    void withdraw(const std::string &room, const std::string &caller, WithdrawHandler done) override;

private:
    struct Wait
    {
        std::string room;
        std::string caller;
        Clock::time_point deadline;
    };
    using Waits = std::list<Wait>;

    [[nodiscard]] EnterResult enterAt(const std::string &room, const std::string &caller, Clock::time_point now);
    void withdrawAt(const std::string &room, const std::string &caller, Clock::time_point now);
    void dropExpired(Clock::time_point now);
    void erase(Waits::iterator wait);

    StoreSettings settings;
    Waits byDeadline;
    std::unordered_map<std::string_view, Waits::iterator> rooms; // keys view Wait::room
    std::unordered_map<std::string, unsigned> roomsPerCaller;
};

} // namespace tarnivel::directory
