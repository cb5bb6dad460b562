#include "httpsession.h"

#include "worker.h"

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/http/status.hpp>

namespace tarnivel::dirserver {

namespace beast = boost::beast;
namespace http = beast::http;

namespace {

// After an answer that ends the connection, what the client still sends is read and dropped
// for a moment, so that closing does not reset the connection before it has read the answer.
constexpr auto LingerTime = std::chrono::seconds(1);
constexpr std::size_t LingerBytes = 64 * 1024;
// Requests are a few hundred bytes: most come whole in one read of this much (the buffer
// grows for a longer head).
constexpr std::size_t ReadChunk = 1024;

Reply refusal(unsigned status, std::string_view body)
{
    return {status, std::string(body)};
}

// The parser stops at the head limit either inside the request line or after it.
bool requestLineEnded(const beast::flat_buffer &buffer, const std::optional<HeadParser> &parser)
{
    if (parser && parser->requestLineRead())
        return true;
    const std::string_view bytes(static_cast<const char *>(buffer.data().data()), buffer.size());
    return bytes.find('\n') != std::string_view::npos;
}

} // namespace

HttpSession::HttpSession(Worker &worker, TcpSocket socket, Address peer, const CallerNetworks &peerNetworks,
                         CallerLimits::ConnectionSlot slot)
    : worker(worker)
    , socket(std::move(socket))
    , buffer(MaxHeadBytes + 4096)
    , peer(peer)
    , peerNetworks(peerNetworks)
    , slot(std::move(slot))
{}

HttpSession::~HttpSession()
{
    worker.sessionBusy(*this);
    SessionListHook::unlink();
    worker.sessionEnded();
}

void HttpSession::start()
{
    worker.sessionStarted(*this);
    readRequest();
}

void HttpSession::drain()
{
    // Nothing of a next request has come: nobody waits for an answer here. (A connection
    // taken from the queue as the server stopped accepting may hold its request unread.)
    boost::system::error_code ignored;
    if (!answering && buffer.size() == 0 && socket.available(ignored) == 0)
        socket.close(ignored);
}

void HttpSession::closeIdle()
{
    worker.sessionBusy(*this);
    slot.release();
    boost::system::error_code ignored;
    socket.close(ignored);
}

void HttpSession::closeIfLate(Clock::time_point now)
{
    if (now < deadline)
        return;
    deadline = Clock::time_point::max();
    boost::system::error_code ignored;
    socket.close(ignored);
}

void HttpSession::readRequest()
{
    answering = false;
    parser.emplace(kept, MaxHeadBytes);
    const auto &options = worker.shared().options;
    const auto now = Clock::now();
    if (buffer.size() > 0) {
        // The next request came with the last one (pipelined).
        deadline = now + options.requestTimeout;
        parseBuffered();
        return;
    }
    waitingSince = now;
    worker.sessionIdle(*this);
    deadline = now + options.firstByteTimeout;
    readSome();
}

void HttpSession::readSome()
{
    const auto room = buffer.max_size() - buffer.size();
    if (room == 0)
        return onRead(http::error::buffer_overflow);
    readAsked = std::min(room, ReadChunk);
    socket.async_read_some(buffer.prepare(readAsked),
                           [self = shared_from_this()](const boost::system::error_code &error, std::size_t bytes) {
                               self->onBytes(error, bytes);
                           });
}

void HttpSession::onBytes(const boost::system::error_code &error, std::size_t bytes)
{
    buffer.commit(bytes);
    moreMayWait = bytes == readAsked;
    if (IdleListHook::is_linked() && bytes > 0) {
        worker.sessionBusy(*this);
        deadline = Clock::now() + worker.shared().options.requestTimeout;
    }
    if (error == boost::asio::error::eof) {
        // Closed between requests is the usual end; in the middle of one, the head is cut short.
        if (buffer.size() == 0 && !parser->got_some())
            return onRead(http::error::end_of_stream);
        boost::system::error_code cut;
        parser->put_eof(cut);
        return onRead(cut ? cut : http::error::partial_message);
    }
    if (error)
        return onRead(error);
    parseBuffered();
}

void HttpSession::parseBuffered()
{
    while (buffer.size() > 0 && !parser->is_done()) {
        boost::system::error_code error;
        const auto used = parser->put(buffer.data(), error);
        buffer.consume(used);
        if (error == http::error::need_more)
            break;
        if (error)
            return onRead(error);
        if (used == 0)
            break;
    }
    if (parser->is_done())
        return onRead({});
    readSome();
}

void HttpSession::onRead(const boost::system::error_code &error)
{
    answering = true;
    headRead = Clock::now();
    deadline = Clock::time_point::max(); // the answer may wait for Redis, which has time-outs of its own
    if (!error) {
        handleRequest();
        return;
    }
    // Closed, reset or late (the sweep has closed the socket then): nothing to answer.
    if (error == http::error::end_of_stream || error == boost::asio::error::eof
        || error == boost::asio::error::connection_reset || error == boost::asio::error::operation_aborted
        || error == boost::asio::error::bad_descriptor)
        return;
    refuseUnreadable(error);
}

bool HttpSession::admitted(const CallerNetworks &networks)
{
    if (worker.shared().limits.admitRequest(networks, headRead))
        return true;
    // Counted, not logged line by line: a flood would otherwise write the log.
    worker.counters().countRefusal(Refusal::RateLimit);
    return false;
}

void HttpSession::refuseUnreadable(const boost::system::error_code &error)
{
    if (!admitted(peerNetworks)) {
        const auto now = Clock::now();
        worker.counters().countRequest(RequestClass::Invalid, 429, now - headRead);
        send(refusal(429, replies::TooManyRequests), false, now);
        return;
    }
    Reply reply;
    if (error == http::error::header_limit || error == http::error::buffer_overflow)
        reply = requestLineEnded(buffer, parser) ? refusal(431, replies::HeaderTooLarge)
                                                 : refusal(414, replies::UriTooLong);
    else if (error == http::error::unexpected_body || error == http::error::body_limit)
        reply = refusal(413, replies::PayloadTooLarge);
    else
        reply = refusal(400, replies::BadRequest);
    callerText = addressText(peer);
    finish(RequestClass::Invalid, std::move(reply), false);
}

void HttpSession::handleRequest()
{
    const auto head = parser->head();
    auto &server = worker.shared();
    const auto reading = tarnivel::dirserver::readRequest(head, peer, server.options.trustedProxies);
    callerText = addressText(reading.caller);
    callerNetworks = tarnivel::dirserver::callerNetworks(reading.caller);
    if (!admitted(callerNetworks)) {
        const auto now = Clock::now();
        worker.counters().countRequest(reading.kind, 429, now - headRead);
        send(refusal(429, replies::TooManyRequests), false, now);
        return;
    }
    if (reading.refusal)
        return finish(reading.kind, *reading.refusal, reading.keepAliveAfterRefusal && parser->keep_alive());

    const bool keepAlive = parser->keep_alive();
    auto answered = [self = shared_from_this(), kind = reading.kind, keepAlive](Reply reply) {
        self->finish(kind, std::move(reply), keepAlive);
    };
    switch (reading.kind) {
    case RequestClass::Health:
        return worker.checkHealth(std::move(answered));
    case RequestClass::Metrics:
        // Asked of the front end itself, so the TCP peer counts; and through a proxy, whoever
        // the proxy forwarded too.
        if (!anyContains(server.options.metricsFrom, peer)
            || (reading.forwarded && !anyContains(server.options.metricsFrom, reading.caller)))
            return finish(reading.kind, refusal(403, replies::Forbidden), keepAlive);
        return finish(reading.kind, worker.metricsPage(), keepAlive);
    case RequestClass::Reach:
        return worker.checkReach(reading.caller, callerNetworks.caller(), std::move(answered));
    case RequestClass::Enter:
    case RequestClass::Withdraw:
    case RequestClass::OwnAddress:
    case RequestClass::Invalid:
        break;
    }
    worker.directory().answer(reading, callerText, callerNetworks, std::move(answered));
}

void HttpSession::finish(RequestClass kind, Reply reply, bool keepAlive)
{
    const auto now = Clock::now();
    worker.counters().countRequest(kind, reply.status, now - headRead);
    std::string_view method = "-";
    std::string_view target = "-";
    if (parser && parser->is_header_done()) {
        method = kept.method;
        target = kept.target;
    }
    worker.shared().log.write(callerText, method, target, kind, reply.status, reply.body);
    send(std::move(reply), keepAlive, now);
}

void HttpSession::send(Reply reply, bool keepAlive, Clock::time_point now)
{
    keepAlive = keepAlive && !worker.draining();
    const bool metricsPage = reply.status == 200 && reply.body.starts_with("# HELP");
    const unsigned version = parser && parser->is_header_done() ? parser->version() : 11;
    // The answer is small and always the same shape: written in one piece, without Beast's
    // general serializer (which took a good part of each keep-alive request's time).
    answerBytes.assign(version == 10 ? "HTTP/1.0 " : "HTTP/1.1 ");
    answerBytes += std::to_string(reply.status);
    answerBytes += ' ';
    answerBytes += http::obsolete_reason(http::int_to_status(reply.status));
    answerBytes +=
        metricsPage ? "\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8" : "\r\nContent-Type: text/plain";
    answerBytes += "\r\nCache-Control: no-store\r\n";
    if (reply.status == 405)
        answerBytes += "Allow: GET\r\n";
    if (version == 10 && keepAlive)
        answerBytes += "Connection: keep-alive\r\n";
    else if (version != 10 && !keepAlive)
        answerBytes += "Connection: close\r\n";
    answerBytes += "Content-Length: ";
    answerBytes += std::to_string(reply.body.size());
    answerBytes += "\r\n\r\n";
    answerBytes += reply.body;
    deadline = now + worker.shared().options.requestTimeout;
    boost::asio::async_write(socket, boost::asio::buffer(answerBytes),
                             [self = shared_from_this(), keepAlive](const boost::system::error_code &error,
                                                                    std::size_t) { self->onSent(error, keepAlive); });
}

void HttpSession::onSent(const boost::system::error_code &error, bool keepAlive)
{
    if (error)
        return;
    if (keepAlive && !worker.draining()) {
        // A connection kept alive after its first request is a long one: it moves to a thread
        // with clearly fewer (a short one is not worth the move).
        if (++answered == 1 && buffer.size() == 0)
            if (auto *lighter = worker.shared().lighterThan(worker))
                return moveTo(*lighter);
        readRequest();
        return;
    }
    lingerThenClose();
}

void HttpSession::moveTo(Worker &lighter)
{
    boost::system::error_code released;
    const auto handle = socket.release(released);
    if (released)
        return readRequest();
    worker.counters().countMoved();
    const auto protocol = peer.is_v4() ? boost::asio::ip::tcp::v4() : boost::asio::ip::tcp::v6();
    lighter.adopt(handle, protocol, peer, peerNetworks, std::move(slot));
}

void HttpSession::lingerThenClose()
{
    boost::system::error_code ignored;
    // Whatever the client sent with a complete request that was answered is usually all read
    // (the last read did not fill what it asked for, or nothing more is waiting): then closing
    // (as the session ends) sends FIN at once.
    if (lingered == 0 && buffer.size() == 0 && parser && parser->is_done()
        && (!moreMayWait || socket.available(ignored) == 0))
        return;
    socket.shutdown(TcpSocket::shutdown_send, ignored);
    buffer.clear();
    if (lingered == 0)
        deadline = Clock::now() + LingerTime;
    socket.async_read_some(buffer.prepare(4096),
                           [self = shared_from_this()](const boost::system::error_code &error, std::size_t n) {
                               self->lingered += n;
                               if (!error && self->lingered < LingerBytes)
                                   self->lingerThenClose();
                           });
}

} // namespace tarnivel::dirserver
