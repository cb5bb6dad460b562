#include "worker.h"

#include "listener.h"
#include "reachprobe.h"

#include <boost/asio/post.hpp>
#include <hiredis/hiredis.h>

#include <unistd.h>
#include <utility>

#ifndef TARNIVEL_VERSION
#define TARNIVEL_VERSION "unknown"
#endif

namespace tarnivel::dirserver {

namespace {

// Reachability checks under way at once, in all; each holds a socket for up to 3 s.
constexpr unsigned MaxReachChecks = 256;
// A thread takes on another's connections kept alive when it has fewer by more than this and
// an eighth of the other's.
constexpr unsigned Imbalance = 1;

// A connection on its way to another thread: closed unless a session takes it there.
class Descriptor
{
public:
    explicit Descriptor(int handle) : handle(handle) {}
    Descriptor(Descriptor &&other) noexcept : handle(std::exchange(other.handle, -1)) {}
    Descriptor &operator=(Descriptor &&) = delete;
    ~Descriptor()
    {
        if (handle >= 0)
            ::close(handle);
    }
    int take() { return std::exchange(handle, -1); }

private:
    int handle;
};

// How often sessions past their deadline are looked for: a time-out may be this much late.
constexpr auto LateSessionsInterval = std::chrono::milliseconds(250);

} // namespace

ServerState::ServerState(const ServerOptions &options, AccessLog &log)
    : options(options)
    , log(log)
    , limits(options.limits)
    , rooms(RoomCatalogue(options.rooms, options.openRooms))
{
    if (options.redis) {
        redisStatus = std::make_unique<RedisStatus>(options.threads);
        if (options.redis->tls)
            redisTls = makeRedisTlsContext(*options.redis);
    } else {
        memoryStore = std::make_unique<MemoryRoomStore>(options.store);
    }
}

MetricsSnapshot ServerState::snapshot() const
{
    MetricsSnapshot snapshot;
    for (const auto &worker : workers)
        snapshot.add(worker->counters());
    snapshot.openConnections = limits.openConnections();
    if (memoryStore)
        snapshot.waits = memoryStore->waits();
    if (redisStatus) {
        snapshot.redisReady = redisStatus->ready();
        snapshot.redisConnections = redisStatus->total();
    }
    snapshot.logLinesDropped = log.dropped();
    snapshot.draining = draining.load();
    return snapshot;
}

ServerState::Room ServerState::makeRoom(Worker &here)
{
    Worker *oldest = nullptr;
    std::optional<std::chrono::steady_clock::time_point> since;
    for (const auto &worker : workers) {
        const auto idle = worker->oldestIdle();
        if (idle && (!since || *idle < *since)) {
            since = idle;
            oldest = worker.get();
        }
    }
    if (!oldest)
        return Room::None;
    if (oldest == &here)
        return here.closeOldestIdle() ? Room::Made : Room::None;
    boost::asio::post(oldest->context(), [oldest] { oldest->closeOldestIdle(); });
    return Room::Coming;
}

Worker *ServerState::lighterThan(const Worker &here)
{
    const unsigned mine = here.load();
    Worker *lightest = nullptr;
    unsigned fewest = mine;
    for (const auto &worker : workers) {
        const unsigned theirs = worker->load();
        if (theirs < fewest) {
            fewest = theirs;
            lightest = worker.get();
        }
    }
    return lightest && fewest + Imbalance + mine / 8 < mine ? lightest : nullptr;
}

Worker::Worker(ServerState &server, unsigned index) : server(server), index(index), drainDeadline(io), lateSessions(io)
{
    RoomStore *store = server.memoryStore.get();
    if (server.options.redis) {
        redis = std::make_unique<RedisConnection>(io, *server.options.redis, server.redisTls, *server.redisStatus,
                                                  threadCounters, RedisRoomStore::setupSteps());
        redisStore = std::make_unique<RedisRoomStore>(*redis, threadCounters, server.options.store);
        store = redisStore.get();
    }
    rooms = std::make_unique<Directory>(*store, server.rooms);
}

Worker::~Worker()
{
    // Sessions still held by handlers end as io goes; they must not start anything then.
    finished = true;
    listeners.clear();
    if (redis)
        redis->stop();
}

void Worker::listen(const boost::asio::ip::tcp::endpoint &endpoint)
{
    listeners.push_back(std::make_unique<Listener>(*this, endpoint));
}

boost::asio::ip::tcp::endpoint Worker::localEndpoint(std::size_t listener) const
{
    return listeners.at(listener)->localEndpoint();
}

void Worker::run(std::function<void()> finishedCallback)
{
    whenFinished = std::move(finishedCallback);
    keepRunning.emplace(io.get_executor());
    for (auto &listener : listeners)
        listener->start();
    if (redis)
        redis->start();
    closeLateSessions();
    io.run();
}

void Worker::drain()
{
    boost::asio::post(io, [this] { beginDrain(); });
}

void Worker::stop()
{
    boost::asio::post(io, [this] { finish(); });
}

void Worker::beginDrain()
{
    if (isDraining || finished)
        return;
    isDraining = true;
    for (auto &listener : listeners)
        listener->stop(true);
    // Each request in flight has its own time-outs; this is only the last word.
    const auto &options = server.options;
    const auto redisTime = options.redis ? options.redis->timeout : std::chrono::milliseconds(0);
    drainDeadline.expires_after(options.requestTimeout + redisTime + ReachTimeout + std::chrono::seconds(1));
    drainDeadline.async_wait([this](const boost::system::error_code &error) {
        if (!error)
            finish();
    });
    // drain() may close sockets, whose sessions then end on a later turn of the loop.
    for (auto &session : sessions)
        session.drain();
    finishIfDrained();
}

void Worker::closeLateSessions()
{
    // Closing a socket only queues its handlers: no session ends while the list is walked.
    const auto now = std::chrono::steady_clock::now();
    for (auto &session : sessions)
        session.closeIfLate(now);
    lateSessions.expires_after(LateSessionsInterval);
    lateSessions.async_wait([this](const boost::system::error_code &error) {
        if (!error && !finished)
            closeLateSessions();
    });
}

unsigned Worker::load() const
{
    return sessionCount.load(std::memory_order_relaxed) + adopting.load(std::memory_order_relaxed);
}

void Worker::adopt(boost::asio::ip::tcp::socket::native_handle_type handle, const boost::asio::ip::tcp &protocol,
                   const Address &peer, const CallerNetworks &networks, CallerLimits::ConnectionSlot slot)
{
    adopting.fetch_add(1, std::memory_order_relaxed);
    boost::asio::post(
        io, [this, descriptor = Descriptor(handle), protocol, peer, networks, slot = std::move(slot)]() mutable {
            adopting.fetch_sub(1, std::memory_order_relaxed);
            if (finished || isDraining)
                return;
            boost::system::error_code error;
            TcpSocket socket(io);
            socket.assign(protocol, descriptor.take(), error);
            if (error)
                return;
            std::make_shared<HttpSession>(*this, std::move(socket), peer, networks, std::move(slot))->start();
        });
}

void Worker::sessionStarted(HttpSession &session)
{
    sessionCount.fetch_add(1, std::memory_order_relaxed);
    sessions.push_back(session);
}

void Worker::sessionIdle(HttpSession &session)
{
    idleSessions.push_back(session);
    if (&idleSessions.front() == &session)
        publishOldestIdle();
}

void Worker::sessionBusy(HttpSession &session)
{
    if (!session.IdleListHook::is_linked())
        return;
    const bool wasOldest = &idleSessions.front() == &session;
    session.IdleListHook::unlink();
    if (wasOldest)
        publishOldestIdle();
}

void Worker::publishOldestIdle()
{
    oldestIdleSince.store(idleSessions.empty() ? NoneIdle : idleSessions.front().idleSince().time_since_epoch().count(),
                          std::memory_order_relaxed);
}

std::optional<std::chrono::steady_clock::time_point> Worker::oldestIdle() const
{
    const auto since = oldestIdleSince.load(std::memory_order_relaxed);
    if (since == NoneIdle)
        return std::nullopt;
    return std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(since));
}

bool Worker::closeOldestIdle()
{
    if (idleSessions.empty())
        return false;
    threadCounters.countRefusal(Refusal::IdleClosed);
    idleSessions.front().closeIdle();
    return true;
}

void Worker::sessionEnded()
{
    sessionCount.fetch_sub(1, std::memory_order_relaxed);
    if (isDraining && !finished && sessions.empty())
        boost::asio::post(io, [this] { finishIfDrained(); });
}

void Worker::finishIfDrained()
{
    if (isDraining && sessions.empty())
        finish();
}

void Worker::finish()
{
    if (finished)
        return;
    finished = true;
    drainDeadline.cancel();
    lateSessions.cancel();
    for (auto &listener : listeners)
        listener->stop(false);
    if (redis)
        redis->stop();
    keepRunning.reset();
    io.stop();
    if (whenFinished)
        whenFinished();
}

void Worker::checkHealth(std::function<void(Reply)> done)
{
    if (server.draining.load(std::memory_order_relaxed))
        return done({503, std::string(replies::Draining)});
    if (!redis)
        return done({200, "OK"});
    // Asked through the same connection and with the same deadline as a request would be.
    redis->command({"PING"}, [done = std::move(done)](const redisReply *reply) {
        if (reply && reply->type != REDIS_REPLY_ERROR)
            done({200, "OK"});
        else
            done({503, std::string(replies::Unavailable)});
    });
}

void Worker::checkReach(const Address &caller, const NetworkKey &callerKey, std::function<void(Reply)> done)
{
    if (!server.options.reach)
        return done({404, std::string(replies::NotFound)});
    if (!server.limits.admitReachCheck(callerKey)) {
        threadCounters.countRefusal(Refusal::ReachChecks);
        return done({429, std::string(replies::TooManyChecks)});
    }
    if (server.reachChecksUnderWay.fetch_add(1) >= MaxReachChecks) {
        server.reachChecksUnderWay.fetch_sub(1);
        threadCounters.countRefusal(Refusal::ReachBusy);
        return done({503, std::string(replies::Busy)});
    }
    // Only ever the caller's own address, and only the join port.
    probeReach(io, caller, server.options.reachPort, ReachTimeout, [this, done = std::move(done)](bool open) {
        server.reachChecksUnderWay.fetch_sub(1);
        done({200, std::string(open ? replies::Open : replies::Closed)});
    });
}

Reply Worker::metricsPage()
{
    return {200, renderMetrics(server.snapshot(), TARNIVEL_VERSION)};
}

} // namespace tarnivel::dirserver
