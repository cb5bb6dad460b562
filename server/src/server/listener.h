#pragma once

#include "httpsession.h"
#include "notice.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

#include <optional>

namespace tarnivel::dirserver {

class Worker;

// Accepts connections on one address for one thread and hands each to an HttpSession. Every
// thread has its own socket on the same address (SO_REUSEPORT). The address is bound at once,
// so a wrong --listen fails at start; connections are taken from start() on.
class Listener
{
public:
    Listener(Worker &worker, const boost::asio::ip::tcp::endpoint &endpoint);

    void start();
    // Closes, taking first what is already queued when asked to (closing resets it).
    void stop(bool takeQueued);
    [[nodiscard]] boost::asio::ip::tcp::endpoint localEndpoint() const { return acceptor.local_endpoint(); }

private:
    void accept();
    void acceptFailed(const boost::system::error_code &error);
    struct Newcomer
    {
        TcpSocket socket;
        Address peer;
        CallerNetworks networks; // for its requests' limits
        CallerNetworks counted;  // for its connection's (none for a trusted proxy)
    };

    void serve(TcpSocket socket, const boost::asio::ip::tcp::endpoint &from);
    // overCap: nothing on the first try (when the server is full, room is made, then it is
    // tried again), or how far past --max-connections it may then go.
    void admit(Newcomer newcomer, std::optional<unsigned> overCap);

    Worker &worker;
    boost::asio::ip::tcp::acceptor acceptor;
    boost::asio::steady_timer pause;
    boost::asio::ip::tcp::endpoint peerEndpoint; // filled by each accept
    std::chrono::milliseconds backoff{0};
};

} // namespace tarnivel::dirserver
