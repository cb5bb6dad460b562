#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace tarnivel::directory {

// Who waits in which room. A room has at most one waiting caller; asking again renews the wait.
struct StoreSettings
{
    std::chrono::milliseconds expiry{std::chrono::seconds(300)};
    unsigned maxRoomsPerCaller = 4;
};

enum class EnterOutcome {
    Waiting,      // nobody else waits: the caller now waits here (or renewed its wait)
    Found,        // someone else waits; their address comes with it
    TooManyRooms, // the caller already waits in as many rooms as it may
    Unavailable,  // the shared store cannot be reached
};

struct EnterResult
{
    EnterOutcome outcome;
    std::string waiter; // set with Found
};

using EnterHandler = std::function<void(EnterResult)>;
using WithdrawHandler = std::function<void(bool done)>; // false: the store is unavailable
using ReadyHandler = std::function<void()>;

// Handlers may run before the call returns (in-process) or later on the same thread (Redis).
class RoomStore
{
public:
    virtual ~RoomStore() = default;

    // Calls ready once the store can answer; the server listens only from then on.
    virtual void start(ReadyHandler ready) = 0;
    virtual void enter(const std::string &room, const std::string &caller, EnterHandler done) = 0;
    // Ends the caller's wait in the room; a caller who does not wait there changes nothing.
    virtual void withdraw(const std::string &room, const std::string &caller, WithdrawHandler done) = 0;
};

} // namespace tarnivel::directory
