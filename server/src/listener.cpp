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

void Listener::start()
{
    acceptor.listen(boost::asio::socket_base::max_listen_connections);
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
        boost::system::error_code peerError;
        const auto peerEndpoint = socket.remote_endpoint(peerError);
        if (!peerError) {
            auto peer = addressText(peerEndpoint.address());
            auto slot = context.limits.openConnection(peer);
            std::make_shared<HttpSession>(std::move(socket), std::move(peer), std::move(slot), context)->start();
        }
        accept();
    });
}

} // namespace tarnivel::directory
