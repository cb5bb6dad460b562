#include "directory.h"

#include "roomquery.h"

namespace tarnivel::dirserver {

namespace {

Reply ok(std::string_view body)
{
    return {200, std::string(body)};
}

Reply enterReply(EnterResult result)
{
    switch (result.outcome) {
    case EnterOutcome::Waiting:
        return ok(replies::NoUser);
    case EnterOutcome::Found:
        return {200, std::move(result.waiter)};
    case EnterOutcome::TooManyRooms:
        return {429, std::string(replies::TooManyRooms)};
    case EnterOutcome::TooManyWaits:
        return {503, std::string(replies::TooManyWaits)};
    case EnterOutcome::Unavailable:
        break;
    }
    return {503, std::string(replies::Unavailable)};
}

} // namespace

Directory::Directory(RoomStore &store, const SharedRoomCatalogue &rooms) : store(store), rooms(rooms) {}

void Directory::answer(const RequestReading &request, const std::string &caller, const CallerNetworks &networks,
                       ReplyHandler done)
{
    if (request.kind == RequestClass::OwnAddress) {
        done(ok(caller));
        return;
    }
    const auto query = readRoomQuery(request.rawQuery, codec);
    if (!query.room || !rooms.get().exists(*query.room)) {
        // Leaving a room that does not exist is done already.
        done(ok(query.withdraw ? replies::Withdrawn : replies::NotFound));
        return;
    }
    const StoreCaller who{caller, networks};
    if (query.withdraw) {
        store.withdraw(*query.room, who, [done = std::move(done)](bool stored) {
            done(stored ? ok(replies::Withdrawn) : Reply{503, std::string(replies::Unavailable)});
        });
        return;
    }
    store.enter(*query.room, who,
                [done = std::move(done)](EnterResult result) { done(enterReply(std::move(result))); });
}

} // namespace tarnivel::dirserver
