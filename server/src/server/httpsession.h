#pragma once

#include "callerlimits.h"
#include "headparser.h"
#include "network.h"
#include "reply.h"
#include "requestreading.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/intrusive/list_hook.hpp>

#include <chrono>
#include <memory>
#include <optional>

namespace tarnivel::dirserver {

class Worker;

// Whole request head (431 beyond; 414 when even the request line does not end within it).
inline constexpr std::size_t MaxHeadBytes = 32 * 1024;

// Sockets bound to one io_context directly, without Asio's type-erased executor.
using TcpSocket = boost::asio::basic_stream_socket<boost::asio::ip::tcp, boost::asio::io_context::executor_type>;

// One client connection: reads GET requests one after another (keep-alive when asked) and
// answers each. The first byte of each request must come within the first-byte time-out (a
// connection that says nothing is closed soon), and the request must then be whole within the
// request time-out. Each session keeps only its deadline; its thread closes the sessions past
// theirs a few times a second (a timer per read and write cost more than the rest of a
// request together). The order of checks on each request: the rate limit for its caller first
// (even for requests that cannot be read), then the refusals of readRequest, then the answer.
// Each thread keeps its open sessions in a list, for draining, and those waiting for a
// request's first byte in another, oldest first, to close one when the server is full; a
// session leaves both by itself when destroyed.
struct AllSessions;
struct IdleSessions;
using SessionListHook = boost::intrusive::list_base_hook<boost::intrusive::tag<AllSessions>,
                                                         boost::intrusive::link_mode<boost::intrusive::auto_unlink>>;
using IdleListHook = boost::intrusive::list_base_hook<boost::intrusive::tag<IdleSessions>,
                                                      boost::intrusive::link_mode<boost::intrusive::auto_unlink>>;

class HttpSession : public std::enable_shared_from_this<HttpSession>, public SessionListHook, public IdleListHook
{
public:
    // peer: the TCP peer's networks, for the rate limit of requests that cannot be read.
    HttpSession(Worker &worker, TcpSocket socket, Address peer, const CallerNetworks &peerNetworks,
                CallerLimits::ConnectionSlot slot);
    ~HttpSession();

    void start();
    // The server is draining: a connection waiting for its next request closes now; one
    // receiving or answering a request finishes it first.
    void drain();
    // The server is full and this connection has waited longest for a request's first byte:
    // its place is given back now, and it closes.
    void closeIdle();
    [[nodiscard]] std::chrono::steady_clock::time_point idleSince() const { return waitingSince; }
    // For the thread's sweep: closes the connection once its deadline has passed.
    void closeIfLate(std::chrono::steady_clock::time_point now);

private:
    using Clock = std::chrono::steady_clock;

    void readRequest();
    void readSome();
    void onBytes(const boost::system::error_code &error, std::size_t bytes);
    void parseBuffered();
    void onRead(const boost::system::error_code &error);
    void handleRequest();
    void refuseUnreadable(const boost::system::error_code &error);
    void finish(RequestClass kind, Reply reply, bool keepAlive);
    void send(Reply reply, bool keepAlive, Clock::time_point now);
    void onSent(const boost::system::error_code &error, bool keepAlive);
    void lingerThenClose();
    // Goes on as a new session of another thread, with this connection and its place.
    void moveTo(Worker &lighter);
    [[nodiscard]] bool admitted(const CallerNetworks &networks);

    Worker &worker;
    TcpSocket socket;
    boost::beast::flat_buffer buffer;
    HeadParser::Kept kept; // the current request's line and forwarded address
    std::optional<HeadParser> parser;
    std::string answerBytes; // status line, head and body of the answer being written
    const Address peer;
    const CallerNetworks peerNetworks;
    std::string callerText;
    CallerNetworks callerNetworks;
    CallerLimits::ConnectionSlot slot;
    Clock::time_point deadline = Clock::time_point::max(); // for what the session waits for now
    Clock::time_point waitingSince;                        // for the current request's first byte
    Clock::time_point headRead;
    bool answering = false;
    std::size_t lingered = 0;
    unsigned answered = 0;
    std::size_t readAsked = 0;
    bool moreMayWait = false; // the last read filled what it asked for
};

} // namespace tarnivel::dirserver
