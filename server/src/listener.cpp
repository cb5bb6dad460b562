#include "listener.h"

#include "calleraddress.h"

#include <boost/asio/socket_base.hpp>

namespace tarnivel::directory {

Listener::Listener(boost::asio::io_context &io, const boost::asio::ip::tcp::endpoint &endpoint, const SessionContext &context)
    : io(io), acceptor(io), pause(io), context(context)
{
    acceptor.open(endpoint.protocol());
    acceptor.set_option(boost::asio::socket_base::reuse_address(true));
    acceptor.bind(endpoint);
}

namespace {

constexpr int AcceptBatch = 32;

} // namespace

void Listener::start()
{
    acceptor.listen(boost::asio::socket_base::max_listen_connections);
    acceptor.non_blocking(true);
    accept();
}

void Listener::stop()
{
    boost::system::error_code ignored;
    acceptor.close(ignored);
    pause.cancel();
}

void Listener::accept()
{
    acceptor.async_accept(io.get_executor(), [this](const boost::system::error_code &error, Socket socket) {
        if (error == boost::asio::error::operation_aborted)
            return;
        if (error) {
            // Out of descriptors or buffers: give the open connections a moment to finish.
            pause.expires_after(std::chrono::milliseconds(50));
            pause.async_wait([this](const boost::system::error_code &waitError) {
                if (!waitError)
                    accept();
            });
            return;
        }
        serve(std::move(socket));
        // Take what else is already queued without another trip through the event loop, but
        // not so much that requests on open connections wait.
        for (int more = 0; more < AcceptBatch; ++more) {
            Socket next(io);
            boost::system::error_code nextError;
            acceptor.accept(next, nextError);
            if (nextError)
                break;
            serve(std::move(next));
        }
        accept();
    });
}

void Listener::serve(Socket socket)
{
    boost::system::error_code error;
    const auto peerEndpoint = socket.remote_endpoint(error);
    if (error)
        return;
    auto peer = addressText(peerEndpoint.address());
    auto slot = context.limits.openConnection(peer);
    std::make_shared<HttpSession>(std::move(socket), std::move(peer), std::move(slot), context)->start();
}

} // namespace tarnivel::directory
