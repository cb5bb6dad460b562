#pragma once

#include "flattable.h"
#include "roomstore.h"
#include "shortlock.h"

#include <array>
#include <atomic>
#include <list>
#include <mutex>
#include <string_view>
#include <functional>

namespace tarnivel::dirserver {

// Rooms held in this process, shared by every thread. Rooms are split in shards by name, each
// with its own lock, so that threads asking for different rooms do not wait for each other.
// Every wait lasts the same time, so a shard's waits kept in order of renewal are also in
// order of expiry: expired ones are dropped from the front of the shard asked. The rooms
// each network of callers waits in are counted in shards of their own (taken while a room's
// shard is held, never the other way round).
class MemoryRoomStore final : public RoomStore
{
public:
    using Clock = std::chrono::steady_clock;

    explicit MemoryRoomStore(StoreSettings settings);

    void enter(const std::string &room, StoreCaller caller, EnterHandler done) override;
    void withdraw(const std::string &room, StoreCaller caller, WithdrawHandler done) override;

    [[nodiscard]] EnterResult enterAt(const std::string &room, StoreCaller caller, Clock::time_point now);
    void withdrawAt(const std::string &room, StoreCaller caller, Clock::time_point now);
    // Waits held, expired ones included until they are dropped.
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
    struct RoomShard
    {
        ShortLock lock;
        Waits byDeadline;
        FlatTable<std::string_view, Waits::iterator, std::hash<std::string_view>> rooms; // keys view Wait::room
    };
    struct NetworkShard
    {
        ShortLock lock;
        FlatTable<NetworkKey, unsigned, NetworkKeyHash> rooms; // only networks with a limit
    };
    static constexpr std::size_t ShardCount = 64;

    // What enterAt decided with one shard held; a refusal may be only for waits that have
    // expired in other shards.
    [[nodiscard]] EnterResult enterInShard(const std::string &room, StoreCaller caller, Clock::time_point now);
    RoomShard &roomShard(std::string_view room);
    NetworkShard &networkShard(const NetworkKey &network);
    void dropExpired(RoomShard &shard, Clock::time_point now);
    void erase(RoomShard &shard, Waits::iterator wait);
    // One more room for each network of the caller; false, and nothing counted, when one is full.
    [[nodiscard]] bool countRooms(const CallerNetworks &networks);
    void uncountRooms(const CallerNetworks &networks);

    const StoreSettings settings;
    std::array<RoomShard, ShardCount> roomShards;
    std::array<NetworkShard, ShardCount> networkShards;
    std::atomic<std::size_t> waitCount{0};
};

} // namespace tarnivel::dirserver
