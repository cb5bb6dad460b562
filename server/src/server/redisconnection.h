#pragma once

#include "metrics.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl/context.hpp>
#include <boost/asio/ssl/stream.hpp>
#include <boost/asio/steady_timer.hpp>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct redisReader;
struct redisReply;

namespace tarnivel::dirserver {

struct RedisSettings
{
    std::string host;
    std::uint16_t port = 6379;
    std::chrono::milliseconds timeout{1000};        // for each request
    std::chrono::milliseconds connectTimeout{2000}; // resolving, connecting, TLS, AUTH and set-up together
    std::optional<std::string> user;                // AUTH user password (Redis ACL), with password
    std::optional<std::string> password;
    bool tls = false;
    std::string tlsCaFile;   // empty: the system's certificate authorities
    std::string tlsCertFile; // client certificate, when the server asks for one
    std::string tlsKeyFile;
    std::string tlsServerName; // the name the certificate must carry; empty: host

    [[nodiscard]] std::string where() const;
};

// The TLS settings every connection shares; throws with the reason when a file is unusable.
[[nodiscard]] std::shared_ptr<boost::asio::ssl::context> makeRedisTlsContext(const RedisSettings &settings);

// Shared by every thread's connection: how many are ready, and one notice per outage.
class RedisStatus
{
public:
    explicit RedisStatus(unsigned connections) : connections(connections) {}

    // A connection became ready; lost it again; could not make or keep it (said once an outage).
    void up(const RedisSettings &settings);
    void lost() { readyCount.fetch_sub(1, std::memory_order_relaxed); }
    void down(const RedisSettings &settings, std::string_view why);
    [[nodiscard]] unsigned ready() const { return readyCount.load(std::memory_order_relaxed); }
    [[nodiscard]] unsigned total() const { return connections; }

private:
    const unsigned connections;
    std::atomic<unsigned> readyCount{0};
    std::atomic<bool> reportedDown{false};
    std::atomic<bool> everUp{false};
};

// nullptr: no answer (not connected, past the deadline, or the connection was lost).
using RedisReplyHandler = std::function<void(const redisReply *reply)>;

// One pipelined connection to Redis, on one thread's io_context: hiredis reads the replies,
// Asio carries the bytes (plain TCP or TLS). Nothing here blocks the thread: the name is
// resolved by Asio's resolver in the background, and every step has a deadline. A request
// not answered within the time-out ends the connection (replies come in order, so every
// request behind it is late too): all waiting requests are answered with nullptr at once and
// the connection is made again, after a back-off that grows from 100 ms to 2 s. While it is
// not ready, requests are answered with nullptr at once.
//
// It also keeps the Redis server's clock (TIME, asked on connecting and every 10 s), so that a
// request can carry its deadline in that clock and Redis itself refuse to act on it later.
class RedisConnection
{
public:
    // A command sent on every new connection before any request (after AUTH). check returns
    // what is wrong with its reply, or nothing; anything wrong ends the connection.
    struct SetupStep
    {
        std::vector<std::string> words;
        std::function<std::optional<std::string>(const redisReply &)> check;
    };

    RedisConnection(boost::asio::io_context &io, const RedisSettings &settings,
                    std::shared_ptr<boost::asio::ssl::context> tls, RedisStatus &status, ThreadCounters &counters,
                    std::vector<SetupStep> setup);
    ~RedisConnection();
    RedisConnection(const RedisConnection &) = delete;
    RedisConnection &operator=(const RedisConnection &) = delete;

    void start();
    // Answers what waits with nullptr and connects no more.
    void stop();
    [[nodiscard]] bool ready() const { return state == State::Ready; }

    using Clock = std::chrono::steady_clock;

    // When a request sent now is given up here, and the last moment it may still act in
    // Redis, in milliseconds of the Redis server's TIME: early enough that a request Redis ran
    // in time has also had time to be answered here (a quarter of the time-out) and measured
    // so that the round trip of the clock reading can only make it earlier. Nothing while the
    // connection is not ready.
    struct Deadline
    {
        Clock::time_point local;
        std::int64_t redisMs;
    };
    [[nodiscard]] std::optional<Deadline> nextDeadline() const;

    // done may run before this returns (when not ready). Without a deadline, the time-out from now.
    void command(const std::vector<std::string_view> &words, RedisReplyHandler done);
    void command(const std::vector<std::string_view> &words, RedisReplyHandler done, Clock::time_point deadline);
    // Ends this connection and makes it again (a reply showed the server lost its set-up).
    void reconnect(std::string_view why);

private:
    enum class State { Waiting, Resolving, Connecting, Handshaking, SettingUp, Ready, Stopped };
    struct Pending
    {
        RedisReplyHandler done;
        std::chrono::steady_clock::time_point deadline;
    };
    using Tcp = boost::asio::ip::tcp;

    void attempt();
    void connectTo(const Tcp::resolver::results_type &endpoints);
    void onConnected();
    void sendSetup();
    void becomeReady();
    // Asks TIME; then takes Redis's clock from the answer and calls next (on success).
    void readClock(Clock::time_point deadline, std::function<void()> next);
    void scheduleClockReading();
    void fail(std::string_view why, RedisError kind);
    void closeTransport();
    void scheduleAttempt();
    void enqueue(const std::vector<std::string_view> &words, RedisReplyHandler done, Clock::time_point deadline);
    void flush();
    void read();
    void onRead(std::size_t bytes);
    void armDeadline();
    void onDeadline();

    boost::asio::io_context &io;
    const RedisSettings &settings;
    std::shared_ptr<boost::asio::ssl::context> tlsContext;
    RedisStatus &status;
    ThreadCounters &counters;
    const std::vector<SetupStep> setup;

    // The bytes' way to Redis. Handlers hold it, so a connection given up is freed only once
    // Asio has finished with it (a TLS stream must outlive its operations).
    struct Transport
    {
        std::optional<Tcp::socket> plain;
        std::optional<boost::asio::ssl::stream<Tcp::socket>> secure;
        std::array<char, 16 * 1024> readBuffer{};
        std::string writing;

        Tcp::socket &lowest() { return secure ? secure->next_layer() : *plain; }
    };

    State state = State::Waiting;
    std::uint64_t epoch = 0; // bumped on every new attempt and every failure; stale handlers see it
    Tcp::resolver resolver;
    std::shared_ptr<Transport> transport;
    boost::asio::steady_timer attemptTimer;  // the back-off, then the whole attempt's deadline
    boost::asio::steady_timer deadlineTimer; // the oldest request's deadline
    boost::asio::steady_timer clockTimer;    // the next reading of Redis's clock
    // Redis's TIME in ms minus this thread's steady clock in ms, as of the last reading (taken
    // as if the answer had been read the moment it arrived, so never too large).
    std::optional<std::int64_t> clockOffsetMs;
    std::uint64_t deadlineWait = 0; // which wait of deadlineTimer counts
    std::optional<Clock::time_point> deadlineArmedFor;
    std::chrono::milliseconds backoff{0};
    redisReader *reader = nullptr;
    std::deque<Pending> pending;
    std::string outgoing;
    bool writeInFlight = false;
};

} // namespace tarnivel::dirserver
