#include "server.h"

#include "accesslog.h"
#include "notice.h"
#include "systemdnotify.h"
#include "worker.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ip/v6_only.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <boost/asio/steady_timer.hpp>

#include <csignal>
#include <thread>

namespace tarnivel::dirserver {

namespace {

constexpr auto SummaryInterval = std::chrono::seconds(60);

std::string endpointText(const boost::asio::ip::tcp::endpoint &endpoint)
{
    const auto address = endpoint.address();
    const auto host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
    return host + ":" + std::to_string(endpoint.port());
}

// What went wrong in the last minute, in one line, instead of one line per refusal.
class Summary
{
public:
    explicit Summary(const ServerState &server) : server(server) {}

    void report()
    {
        const auto now = server.snapshot();
        std::string said;
        const auto add = [&](std::uint64_t count, std::uint64_t before, const char *what) {
            if (count > before)
                said += (said.empty() ? "" : ", ") + std::to_string(count - before) + " " + what;
        };
        add(now.refusals[std::size_t(Refusal::ConnectionsPerAddress)],
            last.refusals[std::size_t(Refusal::ConnectionsPerAddress)],
            "connections refused (--max-connections-per-address)");
        add(now.refusals[std::size_t(Refusal::ConnectionsPerNetwork)],
            last.refusals[std::size_t(Refusal::ConnectionsPerNetwork)],
            "connections refused (--max-connections-per-56, -48, -24)");
        add(now.refusals[std::size_t(Refusal::ServerConnections)],
            last.refusals[std::size_t(Refusal::ServerConnections)], "connections refused (--max-connections)");
        add(now.refusals[std::size_t(Refusal::IdleClosed)], last.refusals[std::size_t(Refusal::IdleClosed)],
            "silent connections closed for newcomers (--max-connections)");
        add(now.refusals[std::size_t(Refusal::RateLimit)], last.refusals[std::size_t(Refusal::RateLimit)],
            "requests over --rate-limit or --rate-limit-per-...");
        add(now.logLinesDropped, last.logLinesDropped, "access log lines dropped (the log's reader fell behind)");
        add(now.acceptFailures, last.acceptFailures, "failed accepts");
        if (!said.empty())
            notice("in the last minute: " + said);
        last = now;
    }

private:
    const ServerState &server;
    MetricsSnapshot last;
};

// SO_REUSEPORT would let the threads' sockets share a port with another copy of this server
// started by mistake. A socket bound without it first proves the port free (and picks one
// for port 0).
boost::asio::ip::tcp::endpoint claimPort(const boost::asio::ip::tcp::endpoint &endpoint)
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor probe(io);
    probe.open(endpoint.protocol());
    probe.set_option(boost::asio::socket_base::reuse_address(true));
    if (endpoint.address().is_v6())
        probe.set_option(boost::asio::ip::v6_only(true));
    probe.bind(endpoint);
    return probe.local_endpoint();
}

} // namespace

int runServer(const ServerOptions &options, const OptionsReader &readAgain)
{
    AccessLog log({!options.quiet, options.logRooms});
    ServerState state(options, log);
    for (unsigned i = 0; i < options.threads; ++i)
        state.workers.push_back(std::make_unique<Worker>(state, i));

    std::vector<boost::asio::ip::tcp::endpoint> endpoints;
    for (const auto &where : options.listen) {
        boost::asio::ip::tcp::endpoint endpoint(boost::asio::ip::make_address(where.host), where.port);
        try {
            endpoint = claimPort(endpoint);
            for (auto &worker : state.workers)
                worker->listen(endpoint);
        } catch (const boost::system::system_error &failure) {
            notice("cannot listen on " + endpointText(endpoint) + ": " + failure.code().message());
            return 1;
        }
        endpoints.push_back(endpoint);
    }

    boost::asio::io_context control(1);
    boost::asio::signal_set signals(control, SIGINT, SIGTERM, SIGHUP);
    std::atomic<std::size_t> running{state.workers.size()};
    std::vector<std::thread> threads;
    for (auto &worker : state.workers) {
        threads.emplace_back([&control, &running, worker = worker.get()] {
            worker->run([&control, &running] {
                if (running.fetch_sub(1) == 1)
                    boost::asio::post(control, [&control] { control.stop(); });
            });
        });
    }
    for (const auto &endpoint : endpoints)
        notice("listening on " + endpointText(endpoint));
    notifySystemd("READY=1\nSTATUS=answering on " + std::to_string(endpoints.size()) + " address(es) with "
                  + std::to_string(state.workers.size()) + " thread(s)");

    std::function<void()> waitForSignal;
    waitForSignal = [&] {
        signals.async_wait([&](const boost::system::error_code &error, int signal) {
            if (error)
                return;
            if (signal == SIGHUP) {
                notifySystemd("RELOADING=1");
                std::string problem;
                if (const auto again = readAgain(problem)) {
                    state.rooms.replace(RoomCatalogue(again->rooms, again->openRooms));
                    notice("SIGHUP: rooms read again (" + std::to_string(again->rooms.size()) + " named"
                           + (again->openRooms ? ", any other made when used" : "") + ")");
                } else {
                    notice("SIGHUP: rooms kept as they were: " + problem);
                }
                notifySystemd("READY=1");
            } else if (!state.draining.exchange(true)) {
                notice(std::string(signal == SIGTERM ? "SIGTERM" : "SIGINT")
                       + ": no new connections; finishing the requests in flight");
                notifySystemd("STOPPING=1\nSTATUS=draining");
                for (auto &worker : state.workers)
                    worker->drain();
            } else {
                notice("stopping now (second signal)");
                for (auto &worker : state.workers)
                    worker->stop();
            }
            waitForSignal();
        });
    };
    waitForSignal();

    Summary summary(state);
    boost::asio::steady_timer summaryTimer(control);
    std::function<void()> scheduleSummary;
    scheduleSummary = [&] {
        summaryTimer.expires_after(SummaryInterval);
        summaryTimer.async_wait([&](const boost::system::error_code &error) {
            if (error)
                return;
            summary.report();
            scheduleSummary();
        });
    };
    scheduleSummary();

    control.run();
    // From here on a late signal must not turn a clean stop into death by signal.
    boost::system::error_code ignored;
    signals.clear(ignored);
    std::signal(SIGTERM, SIG_IGN);
    std::signal(SIGINT, SIG_IGN);
    for (auto &thread : threads)
        thread.join();
    summary.report();
    notice("stopped");
    return 0;
}

} // namespace tarnivel::dirserver
