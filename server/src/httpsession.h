#pragma once

#include "accesslog.h"
#include "callerlimits.h"
#include "directory.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <chrono>
#include <memory>
#include <optional>

namespace tarnivel::directory {

// Longest request target (answered 414 beyond) and whole request head (431 beyond; 414 when
// even the request line does not end within it).
inline constexpr std::size_t MaxTargetBytes = 16 * 1024;
inline constexpr std::size_t MaxHeadBytes = 32 * 1024;

// Sockets bound to the one io_context directly, without Asio's type-erased executor.
using Socket = boost::asio::basic_stream_socket<boost::asio::ip::tcp, boost::asio::io_context::executor_type>;
using Stream = boost::beast::basic_stream<boost::asio::ip::tcp, boost::asio::io_context::executor_type>;

// What every connection shares; outlives them all.
struct SessionContext
{
    Directory &directory;
    CallerLimits &limits;
    AccessLog &log;
    bool trustProxy = false;
    std::chrono::milliseconds requestTimeout{std::chrono::seconds(10)};
};

// One client connection: reads GET requests one after another (keep-alive when asked) and
// answers each through the directory. Each request must arrive whole within the request
// time-out, and an idle connection is closed after the same time.
class HttpSession : public std::enable_shared_from_this<HttpSession>
{
public:
    // Without a slot the peer already has as many connections as it may: it is refused.
    HttpSession(Socket socket, std::string peer, std::optional<CallerLimits::ConnectionSlot> slot,
                const SessionContext &context);

    void start();

private:
    using Parser = boost::beast::http::request_parser<boost::beast::http::empty_body>;

    void readRequest();
    void onRead(const boost::system::error_code &error);
    void answer();
    void refuseUnreadable(const boost::system::error_code &error);
    void send(Reply reply, bool keepAlive);
    void onSent(const boost::system::error_code &error, bool keepAlive);
    void lingerThenClose();

    Stream stream;
    boost::beast::flat_buffer buffer;
    std::optional<Parser> parser;
    boost::beast::http::response<boost::beast::http::string_body> response;
    std::string peer;
    std::string caller;
    std::optional<CallerLimits::ConnectionSlot> slot;
    const SessionContext &context;
    std::size_t lingered = 0;
};

} // namespace tarnivel::directory
