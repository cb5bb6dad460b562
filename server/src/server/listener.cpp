#include "listener.h"

#include "worker.h"

#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/socket_base.hpp>

#include <sys/socket.h>

namespace tarnivel::dirserver {

namespace {

constexpr int AcceptBatch = 32;
constexpr auto FirstPause = std::chrono::milliseconds(10);
constexpr auto LongestPause = std::chrono::milliseconds(1000);

// Said at most once a minute, whichever thread fails.
ThrottledNotice acceptFailures(std::chrono::seconds(60));

// Canned refusals, written without waiting: the connection is closed at once, and only
// counted (a flood of refusals would otherwise fill the log and hold descriptors).
std::string cannedRefusal(std::string_view statusLine, std::string_view body)
{
    return std::string(statusLine)
        + "\r\nContent-Type: text/plain\r\nCache-Control: no-store\r\nConnection: close\r\n"
          "Content-Length: "
        + std::to_string(body.size()) + "\r\n\r\n" + std::string(body);
}

const std::string RefusedPerNetwork = cannedRefusal("HTTP/1.1 429 Too Many Requests", replies::TooManyConnections);
const std::string RefusedServerFull = cannedRefusal("HTTP/1.1 503 Service Unavailable", replies::Busy);

void refuseAtOnce(TcpSocket &socket, std::string_view answer)
{
    boost::system::error_code ignored;
    socket.non_blocking(true, ignored);
    // What the client has sent already is read first, so that closing sends FIN, not a reset
    // that could throw the answer away before the client reads it.
    char sink[4096];
    while (socket.read_some(boost::asio::buffer(sink), ignored) > 0) {}
    socket.write_some(boost::asio::buffer(answer.data(), answer.size()), ignored);
    socket.shutdown(TcpSocket::shutdown_send, ignored);
    socket.close(ignored);
}

} // namespace

Listener::Listener(Worker &worker, const boost::asio::ip::tcp::endpoint &endpoint)
    : worker(worker)
    , acceptor(worker.context())
    , pause(worker.context())
{
    acceptor.open(endpoint.protocol());
    acceptor.set_option(boost::asio::socket_base::reuse_address(true));
    if (endpoint.address().is_v6())
        acceptor.set_option(boost::asio::ip::v6_only(true));
    const int on = 1;
    if (::setsockopt(acceptor.native_handle(), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0)
        throw boost::system::system_error(errno, boost::system::system_category(), "SO_REUSEPORT");
    acceptor.bind(endpoint);
    acceptor.listen(boost::asio::socket_base::max_listen_connections);
    acceptor.non_blocking(true);
}

void Listener::start()
{
    accept();
}

void Listener::stop(bool takeQueued)
{
    for (int taken = 0; takeQueued && acceptor.is_open() && taken < 4096; ++taken) {
        TcpSocket next(worker.context());
        boost::system::error_code error;
        acceptor.accept(next, peerEndpoint, error);
        if (error)
            break;
        serve(std::move(next), peerEndpoint);
    }
    boost::system::error_code ignored;
    acceptor.close(ignored);
    pause.cancel();
}

void Listener::accept()
{
    // The peer's address comes with the accept, not from another system call.
    acceptor.async_accept(worker.context().get_executor(), peerEndpoint,
                          [this](const boost::system::error_code &error, TcpSocket socket) {
                              if (error == boost::asio::error::operation_aborted || !acceptor.is_open())
                                  return;
                              if (error)
                                  return acceptFailed(error);
                              backoff = std::chrono::milliseconds(0);
                              serve(std::move(socket), peerEndpoint);
                              // Take what else is already queued without another trip through the event loop, but
                              // not so much that requests on open connections wait.
                              for (int more = 0; more < AcceptBatch; ++more) {
                                  TcpSocket next(worker.context());
                                  boost::system::error_code nextError;
                                  acceptor.accept(next, peerEndpoint, nextError);
                                  if (nextError)
                                      break;
                                  serve(std::move(next), peerEndpoint);
                              }
                              accept();
                          });
}

void Listener::acceptFailed(const boost::system::error_code &error)
{
    // Out of descriptors or memory: the connection stays queued; give the open ones time to
    // finish, longer each time it fails again.
    worker.counters().countAcceptFailure();
    backoff = backoff.count() == 0 ? FirstPause : std::min(backoff * 2, LongestPause);
    acceptFailures.say("cannot accept connections: " + error.message() + "; pausing up to "
                       + std::to_string(LongestPause.count()) + " ms at a time");
    pause.expires_after(backoff);
    pause.async_wait([this](const boost::system::error_code &waitError) {
        if (!waitError && acceptor.is_open())
            accept();
    });
}

void Listener::serve(TcpSocket socket, const boost::asio::ip::tcp::endpoint &from)
{
    worker.counters().countAccepted();
    const auto peer = plainAddress(from.address());
    const auto networks = callerNetworks(peer);
    // A trusted proxy is every caller behind it: it counts only in all.
    const auto counted = anyContains(worker.shared().options.trustedProxies, peer) ? CallerNetworks{} : networks;
    admit(Newcomer{std::move(socket), peer, networks, counted}, std::nullopt);
}

void Listener::admit(Newcomer newcomer, std::optional<unsigned> overCap)
{
    auto &server = worker.shared();
    auto admission = server.limits.openConnection(newcomer.counted, overCap.value_or(0));
    if (!admission.slot && admission.refusal == ConnectionRefusal::Server && !overCap) {
        // Full: room is made once the handlers already queued have run, for a connection
        // whose first bytes have been read, but not yet handled, has not been silent.
        boost::asio::post(worker.context(), [this, newcomer = std::move(newcomer)]() mutable {
            auto &server = worker.shared();
            const bool elsewhere = server.makeRoom(worker) == ServerState::Room::Coming;
            admit(std::move(newcomer), elsewhere ? unsigned(server.workers.size()) : 0u);
        });
        return;
    }
    if (!admission.slot) {
        const bool serverFull = admission.refusal == ConnectionRefusal::Server;
        worker.counters().countRefusal(serverFull ? Refusal::ServerConnections
                                           : admission.refusal == ConnectionRefusal::PerAddress
                                           ? Refusal::ConnectionsPerAddress
                                           : Refusal::ConnectionsPerNetwork);
        refuseAtOnce(newcomer.socket, serverFull ? RefusedServerFull : RefusedPerNetwork);
        return;
    }
    std::make_shared<HttpSession>(worker, std::move(newcomer.socket), newcomer.peer, newcomer.networks,
                                  std::move(*admission.slot))
        ->start();
}

} // namespace tarnivel::dirserver
