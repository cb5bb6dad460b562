// tarnivel-directory: tells copies of the program who waits in a chat room, and what their
// own address is. See README.md, "Directory server".
#include "accesslog.h"
#include "callerlimits.h"
#include "directory.h"
#include "listener.h"
#include "memoryroomstore.h"
#include "notice.h"
#include "options.h"
#include "redisroomstore.h"

#include <boost/asio/ip/address.hpp>
#include <boost/asio/signal_set.hpp>

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>

using namespace tarnivel::directory;

namespace {

std::unique_ptr<RoomStore> makeStore(boost::asio::io_context &io, const ServerOptions &options)
{
    if (options.redis)
        return std::make_unique<RedisRoomStore>(io, options.redis->host, options.redis->port, options.store);
    return std::make_unique<MemoryRoomStore>(options.store);
}

std::string endpointText(const boost::asio::ip::tcp::endpoint &endpoint)
{
    const auto address = endpoint.address();
    const auto host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

int run(const ServerOptions &options)
{
    // Connections give their place back as the io_context drops them, so the limits outlive it.
    CallerLimits limits(options.limits);
    boost::asio::io_context io(1);
    AccessLog log(io, !options.quiet);
    // A store being destroyed drops the requests it still holds without answering them.
    const auto store = makeStore(io, options);
    Directory directory(*store, RoomCatalogue(options.rooms, options.openRooms));
    const SessionContext context{directory, limits, log, options.trustProxy, options.requestTimeout};

    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(options.listen.host, error);
    if (error) {
        notice("--listen wants a numeric address, not " + options.listen.host);
        return 2;
    }
    Listener listener(io, {address, options.listen.port}, context);

    boost::asio::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&](const boost::system::error_code &waitError, int signal) {
        if (waitError)
            return;
        notice(signal == SIGTERM ? "stopping (SIGTERM)" : "stopping (SIGINT)");
        listener.stop();
        io.stop();
    });
    store->start([&] {
        listener.start();
        notice("listening on " + endpointText(listener.localEndpoint()));
    });
    io.run();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const auto parsed = parseOptions(argc, argv);
    if (parsed.outcome == ParseOutcome::ShowedHelp || parsed.outcome == ParseOutcome::ShowedVersion) {
        std::fputs(parsed.message.c_str(), stdout);
        return 0;
    }
    if (parsed.outcome == ParseOutcome::Failed) {
        notice(parsed.message + " (see --help)");
        return 2;
    }
    // hiredis writes to its socket with plain write(): a Redis server gone away must not kill us.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        return run(parsed.options);
    } catch (const std::exception &failure) {
        notice(failure.what());
        return 1;
    }
}
