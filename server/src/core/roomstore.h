#pragma once

#include "network.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace tarnivel::dirserver {

// Who waits in which room. A room has at most one waiting caller; asking again renews the wait.
struct StoreSettings
{
    std::chrono::milliseconds expiry{std::chrono::seconds(300)};
    NetworkLimits rooms{4, 16, 64, 64}; // rooms waited in at once per network of the caller
    std::size_t maxWaits = 250000;      // waiting callers in all rooms together
};

enum class EnterOutcome {
    Waiting,      // nobody else waits: the caller now waits here (or renewed its wait)
    Found,        // someone else waits; their address comes with it
    TooManyRooms, // the caller (or a network of it) already waits in as many rooms as it may
    TooManyWaits, // the whole directory holds as many waits as it may
    Unavailable,  // the shared store cannot be reached, or was too late: nothing changed
};

struct EnterResult
{
    EnterOutcome outcome;
    std::string waiter; // set with Found
};

// Who asks: the address a found caller is given, and the networks its rooms are counted in
// (one for every address of an IPv6 /64).
struct StoreCaller
{
    const std::string &address;
    const CallerNetworks &networks;
};

using EnterHandler = std::function<void(EnterResult)>;
using WithdrawHandler = std::function<void(bool done)>; // false: unavailable, nothing changed

// Handlers may run before the call returns (in-process) or later on the calling thread (Redis).
class RoomStore
{
public:
    virtual ~RoomStore() = default;

    virtual void enter(const std::string &room, StoreCaller caller, EnterHandler done) = 0;
    // Ends the caller's wait in the room; a caller who does not wait there changes nothing.
    virtual void withdraw(const std::string &room, StoreCaller caller, WithdrawHandler done) = 0;
};

} // namespace tarnivel::dirserver
