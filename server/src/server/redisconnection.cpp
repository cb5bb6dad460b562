#include "redisconnection.h"

#include "network.h"
#include "notice.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/ssl/host_name_verification.hpp>
#include <boost/asio/write.hpp>
#include <hiredis/hiredis.h>

#include <charconv>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <random>

namespace tarnivel::dirserver {

namespace {

constexpr auto FirstBackoff = std::chrono::milliseconds(100);
constexpr auto LastBackoff = std::chrono::milliseconds(2000);
// An idle connection whose peer vanished (a link that drops everything) is noticed within
// about 10 + 3 x 5 s by the kernel, even with no request outstanding.
constexpr int KeepIdleSeconds = 10;
constexpr int KeepIntervalSeconds = 5;
constexpr int KeepProbes = 3;
// Two clocks drift apart by parts per million: read Redis's often enough that this stays far
// below a millisecond.
constexpr auto ClockReadingInterval = std::chrono::seconds(10);

std::int64_t milliseconds(std::chrono::steady_clock::time_point at)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count();
}

// TIME's answer (seconds and microseconds) in milliseconds, or nothing.
std::optional<std::int64_t> timeReply(const redisReply &reply)
{
    if (reply.type != REDIS_REPLY_ARRAY || reply.elements != 2)
        return std::nullopt;
    std::int64_t parts[2] = {};
    for (std::size_t i = 0; i < 2; ++i) {
        const auto *part = reply.element[i];
        if (part->type != REDIS_REPLY_STRING)
            return std::nullopt;
        const auto [end, error] = std::from_chars(part->str, part->str + part->len, parts[i]);
        if (error != std::errc() || end != part->str + part->len)
            return std::nullopt;
    }
    return parts[0] * 1000 + parts[1] / 1000;
}

void appendCommand(std::string &out, const std::vector<std::string_view> &words)
{
    out += '*';
    out += std::to_string(words.size());
    out += "\r\n";
    for (const auto word : words) {
        out += '$';
        out += std::to_string(word.size());
        out += "\r\n";
        out.append(word);
        out += "\r\n";
    }
}

std::string replyText(const redisReply &reply)
{
    return reply.str ? std::string(reply.str, reply.len) : std::string();
}

std::chrono::milliseconds jittered(std::chrono::milliseconds delay)
{
    thread_local std::minstd_rand random(std::random_device{}());
    std::uniform_int_distribution<long> spread(delay.count() * 3 / 4, delay.count() * 5 / 4);
    return std::chrono::milliseconds(spread(random));
}

} // namespace

std::string RedisSettings::where() const
{
    const auto host =
        parseAddress(this->host) && this->host.find(':') != std::string::npos ? "[" + this->host + "]" : this->host;
    return host + ":" + std::to_string(port) + (tls ? " (TLS)" : "");
}

std::shared_ptr<boost::asio::ssl::context> makeRedisTlsContext(const RedisSettings &settings)
{
    namespace ssl = boost::asio::ssl;
    auto context = std::make_shared<ssl::context>(ssl::context::tls_client);
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3
                         | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    if (settings.tlsCaFile.empty())
        context->set_default_verify_paths();
    else
        context->load_verify_file(settings.tlsCaFile);
    if (!settings.tlsCertFile.empty()) {
        context->use_certificate_chain_file(settings.tlsCertFile);
        context->use_private_key_file(settings.tlsKeyFile.empty() ? settings.tlsCertFile : settings.tlsKeyFile,
                                      ssl::context::pem);
    }
    context->set_verify_mode(ssl::verify_peer);
    return context;
}

void RedisStatus::up(const RedisSettings &settings)
{
    // Said when every thread's connection is ready: from then on no request meets 503.
    if (readyCount.fetch_add(1, std::memory_order_relaxed) + 1 != connections)
        return;
    const bool wasDown = reportedDown.exchange(false);
    if (!everUp.exchange(true))
        notice("using redis at " + settings.where());
    else if (wasDown)
        notice("redis at " + settings.where() + " is back");
}

void RedisStatus::down(const RedisSettings &settings, std::string_view why)
{
    if (!reportedDown.exchange(true))
        notice("redis at " + settings.where() + " unavailable (" + std::string(why)
               + "): answering 503 Unavailable and connecting again");
}

RedisConnection::RedisConnection(boost::asio::io_context &io, const RedisSettings &settings,
                                 std::shared_ptr<boost::asio::ssl::context> tls, RedisStatus &status,
                                 ThreadCounters &counters, std::vector<SetupStep> setup)
    : io(io)
    , settings(settings)
    , tlsContext(std::move(tls))
    , status(status)
    , counters(counters)
    , setup(std::move(setup))
    , resolver(io)
    , attemptTimer(io)
    , deadlineTimer(io)
    , clockTimer(io)
{}

RedisConnection::~RedisConnection()
{
    stop();
}

void RedisConnection::start()
{
    attempt();
}

void RedisConnection::stop()
{
    if (state == State::Stopped)
        return;
    const bool wasReady = state == State::Ready;
    state = State::Stopped;
    ++epoch;
    closeTransport();
    if (wasReady)
        status.lost();
    auto waiting = std::move(pending);
    pending.clear();
    for (auto &request : waiting)
        request.done(nullptr);
}

void RedisConnection::attempt()
{
    if (state == State::Stopped)
        return;
    const auto mine = ++epoch;
    state = State::Resolving;
    attemptTimer.expires_after(settings.connectTimeout);
    attemptTimer.async_wait([this, mine](const boost::system::error_code &error) {
        if (!error && mine == epoch && state != State::Ready)
            fail("no connection within " + std::to_string(settings.connectTimeout.count()) + " ms",
                 RedisError::Timeout);
    });
    // getaddrinfo runs on Asio's resolver thread; this thread goes on serving meanwhile.
    resolver.async_resolve(
        settings.host, std::to_string(settings.port),
        [this, mine](const boost::system::error_code &error, const Tcp::resolver::results_type &found) {
            if (mine != epoch)
                return;
            if (error)
                return fail("cannot resolve " + settings.host + ": " + error.message(), RedisError::Connect);
            connectTo(found);
        });
}

void RedisConnection::connectTo(const Tcp::resolver::results_type &endpoints)
{
    state = State::Connecting;
    transport = std::make_shared<Transport>();
    if (tlsContext)
        transport->secure.emplace(io, *tlsContext);
    else
        transport->plain.emplace(io);
    const auto mine = epoch;
    boost::asio::async_connect(
        transport->lowest(), endpoints,
        [this, mine, keep = transport](const boost::system::error_code &error, const Tcp::endpoint &) {
            if (mine != epoch)
                return;
            if (error)
                return fail(error.message(), RedisError::Connect);
            onConnected();
        });
}

void RedisConnection::onConnected()
{
    auto &socket = transport->lowest();
    boost::system::error_code ignored;
    socket.set_option(Tcp::no_delay(true), ignored);
    socket.set_option(boost::asio::socket_base::keep_alive(true), ignored);
    const int handle = socket.native_handle();
    ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPIDLE, &KeepIdleSeconds, sizeof KeepIdleSeconds);
    ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPINTVL, &KeepIntervalSeconds, sizeof KeepIntervalSeconds);
    ::setsockopt(handle, IPPROTO_TCP, TCP_KEEPCNT, &KeepProbes, sizeof KeepProbes);
    if (!transport->secure) {
        sendSetup();
        return;
    }
    state = State::Handshaking;
    const auto name = settings.tlsServerName.empty() ? settings.host : settings.tlsServerName;
    auto &stream = *transport->secure;
    stream.set_verify_mode(boost::asio::ssl::verify_peer);
    stream.set_verify_callback(boost::asio::ssl::host_name_verification(name));
    if (!parseAddress(name))
        SSL_set_tlsext_host_name(stream.native_handle(), name.c_str());
    const auto mine = epoch;
    stream.async_handshake(boost::asio::ssl::stream_base::client,
                           [this, mine, keep = transport](const boost::system::error_code &error) {
                               if (mine != epoch)
                                   return;
                               if (error)
                                   return fail("TLS: " + error.message(), RedisError::Connect);
                               sendSetup();
                           });
}

void RedisConnection::sendSetup()
{
    state = State::SettingUp;
    reader = redisReaderCreate();
    read();
    const auto deadline = Clock::now() + settings.connectTimeout;
    const auto mine = epoch;
    const std::size_t steps = setup.size() + (settings.password ? 1 : 0) + 1;
    auto answered = std::make_shared<std::size_t>(0);
    // Each step's reply is checked as it comes; the last one makes the connection ready.
    const auto stepDone = [this, mine, steps, answered] {
        if (mine == epoch && ++*answered == steps)
            becomeReady();
    };
    if (settings.password) {
        std::vector<std::string_view> words{"AUTH"};
        if (settings.user)
            words.push_back(*settings.user);
        words.push_back(*settings.password);
        enqueue(
            words,
            [this, stepDone](const redisReply *reply) {
                if (!reply)
                    return;
                if (reply->type == REDIS_REPLY_ERROR)
                    return fail("AUTH refused: " + replyText(*reply), RedisError::Connect);
                stepDone();
            },
            deadline);
    }
    for (const auto &step : setup) {
        std::vector<std::string_view> words(step.words.begin(), step.words.end());
        enqueue(
            words,
            [this, &step, stepDone](const redisReply *reply) {
                if (!reply)
                    return;
                if (const auto problem = step.check(*reply))
                    return fail(*problem, RedisError::Connect);
                stepDone();
            },
            deadline);
    }
    readClock(deadline, stepDone);
}

void RedisConnection::readClock(Clock::time_point deadline, std::function<void()> next)
{
    enqueue(
        {"TIME"},
        [this, next = std::move(next)](const redisReply *reply) {
            if (!reply)
                return;
            const auto redisNow = timeReply(*reply);
            if (!redisNow)
                return fail("TIME answered " + replyText(*reply),
                            state == State::Ready ? RedisError::Reply : RedisError::Connect);
            clockOffsetMs = *redisNow - milliseconds(Clock::now());
            next();
        },
        deadline);
}

void RedisConnection::scheduleClockReading()
{
    clockTimer.expires_after(ClockReadingInterval);
    const auto mine = epoch;
    clockTimer.async_wait([this, mine](const boost::system::error_code &error) {
        if (error || mine != epoch || state != State::Ready)
            return;
        readClock(Clock::now() + settings.timeout, [this] { scheduleClockReading(); });
    });
}

void RedisConnection::becomeReady()
{
    state = State::Ready;
    backoff = std::chrono::milliseconds(0);
    attemptTimer.cancel();
    scheduleClockReading();
    status.up(settings);
}

std::optional<RedisConnection::Deadline> RedisConnection::nextDeadline() const
{
    if (state != State::Ready || !clockOffsetMs)
        return std::nullopt;
    const auto local = Clock::now() + settings.timeout;
    return Deadline{local, milliseconds(local - settings.timeout / 4) + *clockOffsetMs};
}

void RedisConnection::command(const std::vector<std::string_view> &words, RedisReplyHandler done)
{
    if (state != State::Ready) {
        done(nullptr);
        return;
    }
    enqueue(words, std::move(done), Clock::now() + settings.timeout);
}

void RedisConnection::command(const std::vector<std::string_view> &words, RedisReplyHandler done,
                              Clock::time_point deadline)
{
    if (state != State::Ready) {
        done(nullptr);
        return;
    }
    enqueue(words, std::move(done), deadline);
}

void RedisConnection::reconnect(std::string_view why)
{
    if (state == State::Ready || state == State::SettingUp)
        fail(why, RedisError::Lost);
}

void RedisConnection::enqueue(const std::vector<std::string_view> &words, RedisReplyHandler done,
                              Clock::time_point deadline)
{
    appendCommand(outgoing, words);
    pending.push_back({std::move(done), deadline});
    flush();
    armDeadline();
}

void RedisConnection::flush()
{
    if (writeInFlight || outgoing.empty() || !transport)
        return;
    writeInFlight = true;
    transport->writing.swap(outgoing);
    outgoing.clear();
    const auto mine = epoch;
    const auto onWritten = [this, mine, keep = transport](const boost::system::error_code &error, std::size_t) {
        if (mine != epoch)
            return;
        writeInFlight = false;
        keep->writing.clear();
        if (error)
            return fail("write: " + error.message(), RedisError::Lost);
        flush();
    };
    if (transport->secure)
        boost::asio::async_write(*transport->secure, boost::asio::buffer(transport->writing), onWritten);
    else
        boost::asio::async_write(*transport->plain, boost::asio::buffer(transport->writing), onWritten);
}

void RedisConnection::read()
{
    const auto mine = epoch;
    const auto onReadSome = [this, mine, keep = transport](const boost::system::error_code &error, std::size_t bytes) {
        if (mine != epoch)
            return;
        if (error)
            return fail(error == boost::asio::error::eof ? "connection closed" : error.message(), RedisError::Lost);
        onRead(bytes);
    };
    auto buffer = boost::asio::buffer(transport->readBuffer);
    if (transport->secure)
        transport->secure->async_read_some(buffer, onReadSome);
    else
        transport->plain->async_read_some(buffer, onReadSome);
}

void RedisConnection::onRead(std::size_t bytes)
{
    const auto mine = epoch;
    if (redisReaderFeed(reader, transport->readBuffer.data(), bytes) != REDIS_OK)
        return fail("unreadable reply", RedisError::Lost);
    while (true) {
        void *parsed = nullptr;
        if (redisReaderGetReply(reader, &parsed) != REDIS_OK)
            return fail("unreadable reply", RedisError::Lost);
        if (!parsed)
            break;
        const std::unique_ptr<redisReply, void (*)(void *)> reply(static_cast<redisReply *>(parsed), freeReplyObject);
        if (pending.empty())
            return fail("a reply nobody asked for", RedisError::Lost);
        auto request = std::move(pending.front());
        pending.pop_front();
        request.done(reply.get());
        // The handler may have ended this connection (a set-up step that failed).
        if (mine != epoch)
            return;
    }
    read();
}

void RedisConnection::armDeadline()
{
    if (pending.empty())
        return;
    // Set-up steps wait longer than requests: a request behind them must not wait for theirs.
    const auto deadline = pending.front().deadline;
    if (deadlineArmedFor && *deadlineArmedFor <= deadline)
        return;
    deadlineArmedFor = deadline;
    deadlineTimer.expires_at(deadline);
    const auto wait = ++deadlineWait;
    deadlineTimer.async_wait([this, wait](const boost::system::error_code &error) {
        if (error || wait != deadlineWait)
            return;
        deadlineArmedFor.reset();
        onDeadline();
    });
}

void RedisConnection::onDeadline()
{
    if (pending.empty())
        return;
    if (pending.front().deadline <= Clock::now()) {
        const auto limit = state == State::Ready ? settings.timeout : settings.connectTimeout;
        return fail("no answer within " + std::to_string(limit.count()) + " ms", RedisError::Timeout);
    }
    armDeadline();
}

void RedisConnection::closeTransport()
{
    resolver.cancel();
    attemptTimer.cancel();
    deadlineTimer.cancel();
    clockTimer.cancel();
    clockOffsetMs.reset();
    ++deadlineWait;
    deadlineArmedFor.reset();
    writeInFlight = false;
    outgoing.clear();
    if (transport) {
        boost::system::error_code ignored;
        transport->lowest().close(ignored);
        transport.reset();
    }
    if (reader) {
        redisReaderFree(reader);
        reader = nullptr;
    }
}

void RedisConnection::fail(std::string_view why, RedisError kind)
{
    if (state == State::Stopped)
        return;
    const bool wasReady = state == State::Ready;
    ++epoch;
    closeTransport();
    counters.countRedisError(kind);
    if (wasReady)
        status.lost();
    status.down(settings, why);
    state = State::Waiting;
    auto waiting = std::move(pending);
    pending.clear();
    scheduleAttempt();
    for (auto &request : waiting)
        request.done(nullptr);
}

void RedisConnection::scheduleAttempt()
{
    backoff = backoff.count() == 0 ? FirstBackoff : std::min(backoff * 2, LastBackoff);
    attemptTimer.expires_after(jittered(backoff));
    const auto mine = epoch;
    attemptTimer.async_wait([this, mine](const boost::system::error_code &error) {
        if (!error && mine == epoch)
            attempt();
    });
}

} // namespace tarnivel::dirserver
