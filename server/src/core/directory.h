#pragma once

#include "cp932codec.h"
#include "reply.h"
#include "requestreading.h"
#include "roomcatalogue.h"
#include "roomstore.h"

#include <functional>
#include <string>
#include <string_view>

namespace tarnivel::dirserver {

using ReplyHandler = std::function<void(Reply)>;

// The room grammar, independent of how HTTP is spoken; one per thread:
//   /myip[?...]         the caller's address
//   <path>?<room>       NotFound | NoUser (caller now waits) | the waiting caller's address
//   <path>?<room>+quit  OK (the caller no longer waits there)
class Directory
{
public:
    Directory(RoomStore &store, const SharedRoomCatalogue &rooms);

    // For OwnAddress, Enter and Withdraw readings; the reply may come before this returns.
    void answer(const RequestReading &request, const std::string &caller, const CallerNetworks &networks,
                ReplyHandler done);

private:
    RoomStore &store;
    SharedRoomCatalogue::Reader rooms;
    Cp932Codec codec;
};

} // namespace tarnivel::dirserver
