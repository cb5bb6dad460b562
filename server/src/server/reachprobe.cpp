#include "reachprobe.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <memory>
#include <utility>

namespace tarnivel::dirserver {

namespace {

bool dialable(const Address &address)
{
    if (address.is_unspecified() || address.is_multicast())
        return false;
    return !(address.is_v4() && address.to_v4() == boost::asio::ip::address_v4::broadcast());
}

struct Probe : std::enable_shared_from_this<Probe>
{
    Probe(boost::asio::io_context &io, std::function<void(bool)> done) : socket(io), timer(io), done(std::move(done)) {}

    void start(const boost::asio::ip::tcp::endpoint &endpoint, std::chrono::milliseconds timeout)
    {
        timer.expires_after(timeout);
        timer.async_wait([self = shared_from_this()](const boost::system::error_code &error) {
            if (!error)
                self->finish(false);
        });
        socket.async_connect(
            endpoint, [self = shared_from_this()](const boost::system::error_code &error) { self->finish(!error); });
    }

    void finish(bool open)
    {
        if (!done)
            return;
        boost::system::error_code ignored;
        timer.cancel();
        socket.close(ignored);
        std::exchange(done, nullptr)(open);
    }

    boost::asio::ip::tcp::socket socket;
    boost::asio::steady_timer timer;
    std::function<void(bool)> done;
};

} // namespace

void probeReach(boost::asio::io_context &io, const Address &address, std::uint16_t port,
                std::chrono::milliseconds timeout, std::function<void(bool open)> done)
{
    const auto target = plainAddress(address);
    if (!dialable(target)) {
        done(false);
        return;
    }
    std::make_shared<Probe>(io, std::move(done))->start({target, port}, timeout);
}

} // namespace tarnivel::dirserver
