#pragma once

#include "roomstore.h"

#include <atomic>
#include <list>
#include <mutex>
#include <string_view>
#include <unordered_map>

namespace tarnivel::dirserver {

// Rooms held in this process, shared by every thread. Every wait lasts the same time, so
// waits kept in order of renewal are also in order of expiry: expired ones are dropped from
// the front on each call. One lock: each call holds it for a few hash look-ups.
class MemoryRoomStore final : public RoomStore
{
public:
    using Clock = std::chrono::steady_clock;

    explicit MemoryRoomStore(StoreSettings settings);

    void enter(const std::string &room, StoreCaller caller, EnterHandler done) override;
    void withdraw(const std::string &room, StoreCaller caller, WithdrawHandler done) override;

    [[nodiscard]] EnterResult enterAt(const std::string &room, StoreCaller caller, Clock::time_point now);
    void withdrawAt(const std::string &room, StoreCaller caller, Clock::time_point now);
    // Waits held, expired ones included until the next call drops them.
    [[nodiscard]] std::size_t waits() const { return waitCount.load(std::memory_order_relaxed); }

private:
    struct Wait
    {
        std::string room;
        std::string caller;
        CallerNetworks networks;
        Clock::time_point deadline;
    };
    using Waits = std::list<Wait>;

    void dropExpired(Clock::time_point now);
    void erase(Waits::iterator wait);

    const StoreSettings settings;
    std::mutex lock;
    Waits byDeadline;
    std::unordered_map<std::string_view, Waits::iterator> rooms; // keys view Wait::room
    std::unordered_map<NetworkKey, unsigned, NetworkKeyHash> roomsPerNetwork; // only networks with a limit
    std::atomic<std::size_t> waitCount{0};
};

} // namespace tarnivel::dirserver
