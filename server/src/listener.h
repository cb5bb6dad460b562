#pragma once

#include "httpsession.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>

namespace tarnivel::directory {

// Accepts connections and hands each to an HttpSession. The address is bound at once, so a
// wrong --listen fails at start, but connections are taken only from start() on.
class Listener
{
public:
    Listener(boost::asio::io_context &io, const boost::asio::ip::tcp::endpoint &endpoint, const SessionContext &context);

    void start();
    void stop();
    [[nodiscard]] boost::asio::ip::tcp::endpoint localEndpoint() const { return acceptor.local_endpoint(); }

private:
    void accept();
    void serve(Socket socket);

    boost::asio::io_context &io;
    boost::asio::ip::tcp::acceptor acceptor;
    boost::asio::steady_timer pause;
    const SessionContext &context;
};

} // namespace tarnivel::directory
