#include "httpsession.h"

#include "calleraddress.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include <array>

namespace tarnivel::directory {

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

// After an answer that ends the connection, what the client still sends is read and dropped
// for a moment, so that closing does not reset the connection before it has read the answer.
constexpr auto LingerTime = std::chrono::seconds(1);
constexpr std::size_t LingerBytes = 64 * 1024;

Reply refusal(unsigned status, std::string_view body)
{
    return {status, std::string(body)};
}

// The parser stops at the head limit either inside the request line or after it.
bool requestLineEnded(const beast::flat_buffer &buffer, const std::optional<http::request_parser<http::empty_body>> &parser)
{
    if (parser && !parser->get().target().empty())
        return true;
    const std::string_view bytes(static_cast<const char *>(buffer.data().data()), buffer.size());
    return bytes.find('\n') != std::string_view::npos;
}

} // namespace

HttpSession::HttpSession(Socket socket, std::string peer,
                         std::optional<CallerLimits::ConnectionSlot> slot, const SessionContext &context)
    : stream(std::move(socket)), buffer(MaxHeadBytes + 4096), peer(std::move(peer)), caller(this->peer),
      slot(std::move(slot)), context(context)
{
}

void HttpSession::start()
{
    if (!slot) {
        context.log.write(peer, "-", "-", 429, replies::TooManyConnections);
        send(refusal(429, replies::TooManyConnections), false);
        return;
    }
    readRequest();
}

void HttpSession::readRequest()
{
    parser.emplace();
    parser->header_limit(MaxHeadBytes);
    parser->body_limit(0);
    stream.expires_after(context.requestTimeout);
    http::async_read(stream, buffer, *parser,
                     [self = shared_from_this()](const boost::system::error_code &error, std::size_t) { self->onRead(error); });
}

void HttpSession::onRead(const boost::system::error_code &error)
{
    if (!error) {
        answer();
        return;
    }
    // Closed, reset or timed out (tcp_stream has closed the socket then): nothing to answer.
    if (error == http::error::end_of_stream || error == beast::error::timeout || error == boost::asio::error::eof ||
        error == boost::asio::error::connection_reset || error == boost::asio::error::operation_aborted)
        return;
    refuseUnreadable(error);
}

void HttpSession::refuseUnreadable(const boost::system::error_code &error)
{
    Reply reply;
    if (error == http::error::header_limit || error == http::error::buffer_overflow)
        reply = requestLineEnded(buffer, parser) ? refusal(431, "RequestHeaderFieldsTooLarge") : refusal(414, "URITooLong");
    else if (error == http::error::unexpected_body || error == http::error::body_limit)
        reply = refusal(413, "PayloadTooLarge");
    else
        reply = refusal(400, "BadRequest");
    context.log.write(peer, "-", "-", reply.status, reply.body);
    send(std::move(reply), false);
}

void HttpSession::answer()
{
    const auto &request = parser->get();
    const std::string_view method = request.method_string();
    const std::string_view target = request.target();
    const bool keepAlive = request.keep_alive();
    auto finish = [this, method, target](Reply reply, bool keepOpen) {
        context.log.write(caller, method, target, reply.status, reply.body);
        send(std::move(reply), keepOpen);
    };

    if (request.method() != http::verb::get)
        return finish(refusal(405, "MethodNotAllowed"), keepAlive);
    if (target.size() > MaxTargetBytes)
        return finish(refusal(414, "URITooLong"), false);
    if (context.trustProxy) {
        auto forwarded = firstForwardedAddress(request["X-Forwarded-For"]);
        if (!forwarded)
            return finish(refusal(400, "NoForwardedAddress"), false);
        caller = std::move(*forwarded);
    }
    if (!context.limits.admitRequest(caller))
        return finish(refusal(429, replies::TooManyRequests), false);

    context.directory.answer(target, caller, [self = shared_from_this(), finish, keepAlive](Reply reply) {
        finish(std::move(reply), keepAlive);
    });
}

void HttpSession::send(Reply reply, bool keepAlive)
{
    response = {};
    response.version(parser ? parser->get().version() : 11);
    response.result(reply.status);
    response.set(http::field::content_type, "text/plain");
    response.set(http::field::cache_control, "no-store");
    if (reply.status == 405)
        response.set(http::field::allow, "GET");
    response.keep_alive(keepAlive);
    response.body() = std::move(reply.body);
    response.prepare_payload();
    stream.expires_after(context.requestTimeout);
    http::async_write(stream, response, [self = shared_from_this(), keepAlive](const boost::system::error_code &error, std::size_t) {
        self->onSent(error, keepAlive);
    });
}

void HttpSession::onSent(const boost::system::error_code &error, bool keepAlive)
{
    if (error)
        return;
    if (keepAlive) {
        readRequest();
        return;
    }
    lingerThenClose();
}

void HttpSession::lingerThenClose()
{
    boost::system::error_code ignored;
    auto &socket = stream.socket();
    socket.shutdown(Socket::shutdown_send, ignored);
    // Whatever the client sent with a complete request that was answered is usually all read.
    if (buffer.size() == 0 && socket.available(ignored) == 0 && parser && parser->is_done())
        return;
    buffer.clear();
    if (lingered == 0)
        stream.expires_after(LingerTime);
    stream.async_read_some(buffer.prepare(4096), [self = shared_from_this()](const boost::system::error_code &error, std::size_t n) {
        self->lingered += n;
        if (!error && self->lingered < LingerBytes)
            self->lingerThenClose();
    });
}

} // namespace tarnivel::directory
