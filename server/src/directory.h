#pragma once

#include "cp932decoder.h"
#include "reply.h"
#include "roomcatalogue.h"
#include "roomstore.h"

#include <functional>
#include <string>
#include <string_view>

namespace tarnivel::directory {

using ReplyHandler = std::function<void(Reply)>;

// Answers a GET target for a caller, independent of how HTTP is spoken:
//   /myip[?...]         the caller's address
//   <path>?<room>       NotFound | NoUser (caller now waits) | the waiting caller's address
//   <path>?<room>+quit  OK (the caller no longer waits there)
class Directory
{
public:
    Directory(RoomStore &store, RoomCatalogue rooms);

    void answer(std::string_view target, const std::string &caller, ReplyHandler done);

private:
    RoomStore &store;
    RoomCatalogue rooms;
    Cp932Decoder decoder;
};

} // namespace tarnivel::directory
