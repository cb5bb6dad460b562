#include "directory.h"

#include "roomquery.h"

namespace tarnivel::directory {

namespace {

constexpr std::string_view OwnAddressPath = "/myip";

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
    case EnterOutcome::Unavailable:
        break;
    }
    return {503, std::string(replies::Unavailable)};
}

} // namespace

Directory::Directory(RoomStore &store, RoomCatalogue rooms) : store(store), rooms(std::move(rooms)) {}

void Directory::answer(std::string_view target, const std::string &caller, ReplyHandler done)
{
    const auto mark = target.find('?');
    const auto path = target.substr(0, mark);
    const auto rawQuery = mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);

    if (path == OwnAddressPath) {
        done(ok(caller));
        return;
    }
    const auto query = readRoomQuery(rawQuery, decoder);
    if (!query.room || !rooms.exists(*query.room)) {
        // Leaving a room that does not exist is done already.
        done(ok(query.withdraw ? replies::Withdrawn : replies::NotFound));
        return;
    }
    if (query.withdraw) {
        store.withdraw(*query.room, caller, [done = std::move(done)](bool stored) {
            done(stored ? ok(replies::Withdrawn) : Reply{503, std::string(replies::Unavailable)});
        });
        return;
    }
    store.enter(*query.room, caller, [done = std::move(done)](EnterResult result) { done(enterReply(std::move(result))); });
}

} // namespace tarnivel::directory
