#pragma once

#include "accesslog.h"
#include "callerlimits.h"
#include "directory.h"
#include "memoryroomstore.h"
#include "metrics.h"
#include "options.h"
#include "redisconnection.h"
#include "httpsession.h"
#include "redisroomstore.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/intrusive/list.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarnivel::dirserver {

class Listener;
class Worker;

// What every thread shares; outlives them all.
struct ServerState
{
    ServerState(const ServerOptions &options, AccessLog &log);

    [[nodiscard]] MetricsSnapshot snapshot() const;

    // At --max-connections: closes the connection, of any thread, that has waited longest for
    // a request's first byte. Made: one of this thread's is closed and its place free now.
    // Coming: one of another thread's is being closed. None: every connection is busy.
    enum class Room { Made, Coming, None };
    [[nodiscard]] Room makeRoom(Worker &here);
    // The thread with clearly fewer connections than here, or nothing. The kernel spreads
    // connections over the threads by a hash of their addresses and ports: evenly for many
    // short ones, unevenly for a few long ones, which are moved.
    [[nodiscard]] Worker *lighterThan(const Worker &here);

    const ServerOptions &options;
    AccessLog &log;
    CallerLimits limits;
    SharedRoomCatalogue rooms;
    std::unique_ptr<MemoryRoomStore> memoryStore; // without --redis
    std::unique_ptr<RedisStatus> redisStatus;     // with --redis
    std::shared_ptr<boost::asio::ssl::context> redisTls;
    std::atomic<bool> draining{false};
    std::atomic<unsigned> reachChecksUnderWay{0};
    std::vector<std::unique_ptr<Worker>> workers;
};

// One thread with its own io_context: its listening sockets (SO_REUSEPORT, so the kernel
// spreads connections over the threads), its connections, and with --redis its own Redis
// connection. The in-process rooms and the limits are shared.
class Worker
{
public:
    Worker(ServerState &server, unsigned index);
    ~Worker();
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    // Binds at once, so that a wrong or busy address fails at start; throws.
    void listen(const boost::asio::ip::tcp::endpoint &endpoint);
    [[nodiscard]] boost::asio::ip::tcp::endpoint localEndpoint(std::size_t listener) const;

    // The thread's body: accepts, connects to Redis, serves until drained or stopped.
    void run(std::function<void()> finished);
    // From any thread. drain: stop accepting, close idle connections, answer the requests in
    // flight, then finish. stop: finish now.
    void drain();
    void stop();

    // For this thread's sessions.
    [[nodiscard]] boost::asio::io_context &context() { return io; }
    [[nodiscard]] ServerState &shared() { return server; }
    [[nodiscard]] ThreadCounters &counters() { return threadCounters; }
    [[nodiscard]] Directory &directory() { return *rooms; }
    [[nodiscard]] bool draining() const { return isDraining; }
    void sessionStarted(HttpSession &session);
    void sessionEnded();
    // Connections open on this thread, or on their way to it, for any thread to read.
    [[nodiscard]] unsigned load() const;
    // From any thread: serves, on this thread, a connection kept alive on another.
    void adopt(boost::asio::ip::tcp::socket::native_handle_type handle, const boost::asio::ip::tcp &protocol,
               const Address &peer, const CallerNetworks &networks, CallerLimits::ConnectionSlot slot);
    // A session waits for a request's first byte; no longer does (also when it ends).
    void sessionIdle(HttpSession &session);
    void sessionBusy(HttpSession &session);
    // When this thread's longest idle session began waiting (nothing when none waits), for
    // any thread to read; and closing it, on this thread.
    [[nodiscard]] std::optional<std::chrono::steady_clock::time_point> oldestIdle() const;
    bool closeOldestIdle();
    void checkHealth(std::function<void(Reply)> done);
    void checkReach(const Address &caller, const NetworkKey &callerKey, std::function<void(Reply)> done);
    [[nodiscard]] Reply metricsPage();

private:
    void beginDrain();
    void finishIfDrained();
    void finish();
    void publishOldestIdle();
    // Closes the sessions past their deadline, and comes again in a moment.
    void closeLateSessions();

    ServerState &server;
    const unsigned index;
    // Sessions end as io is destroyed, so what they call on the way out comes first.
    boost::intrusive::list<HttpSession, boost::intrusive::base_hook<SessionListHook>,
                           boost::intrusive::constant_time_size<false>>
        sessions;
    boost::intrusive::list<HttpSession, boost::intrusive::base_hook<IdleListHook>,
                           boost::intrusive::constant_time_size<false>>
        idleSessions; // in the order they began waiting
    std::atomic<std::chrono::steady_clock::rep> oldestIdleSince{NoneIdle};
    std::atomic<unsigned> sessionCount{0};
    std::atomic<unsigned> adopting{0};
    static constexpr auto NoneIdle = std::chrono::steady_clock::rep(-1);
    bool finished = false;
    bool isDraining = false;
    std::function<void()> whenFinished;
    ThreadCounters threadCounters;
    // One thread runs it, and only its sockets and timers: the reactor's own locks are left out
    // (what other threads post still goes through the locked queue).
    boost::asio::io_context io{BOOST_ASIO_CONCURRENCY_HINT_UNSAFE_IO};
    std::optional<boost::asio::executor_work_guard<boost::asio::io_context::executor_type>> keepRunning;
    boost::asio::steady_timer drainDeadline;
    boost::asio::steady_timer lateSessions;
    std::unique_ptr<RedisConnection> redis;
    std::unique_ptr<RedisRoomStore> redisStore;
    std::unique_ptr<Directory> rooms;
    std::vector<std::unique_ptr<Listener>> listeners;
};

} // namespace tarnivel::dirserver
