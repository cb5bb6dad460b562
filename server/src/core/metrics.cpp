#include "metrics.h"

#include <cstdio>

namespace tarnivel::dirserver {

namespace {

constexpr std::string_view Prefix = "tarnivel_directory_";

std::size_t statusIndex(unsigned status)
{
    for (std::size_t i = 0; i + 1 < CountedStatuses.size(); ++i)
        if (CountedStatuses[i] == status)
            return i;
    return CountedStatuses.size() - 1;
}

std::string_view refusalName(std::size_t reason)
{
    static constexpr std::array<std::string_view, RefusalCount> Names = {"rate_limit",
                                                                         "connections_per_address",
                                                                         "max_connections",
                                                                         "rooms_per_caller",
                                                                         "max_waits",
                                                                         "reach_interval",
                                                                         "reach_busy",
                                                                         "connections_per_network",
                                                                         "idle_closed_for_newcomer"};
    return Names[reason];
}

std::string_view redisErrorName(std::size_t kind)
{
    static constexpr std::array<std::string_view, RedisErrorCount> Names = {"connect", "timeout", "lost", "reply",
                                                                            "late"};
    return Names[kind];
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

class Page
{
public:
    void family(std::string_view name, std::string_view type, std::string_view help)
    {
        text += "# HELP ";
        text += Prefix;
        text += name;
        text += ' ';
        text += help;
        text += "\n# TYPE ";
        text += Prefix;
        text += name;
        text += ' ';
        text += type;
        text += '\n';
    }
    void sample(std::string_view name, std::string_view labels, const std::string &value)
    {
        text += Prefix;
        text += name;
        if (!labels.empty()) {
            text += '{';
            text += labels;
            text += '}';
        }
        text += ' ';
        text += value;
        text += '\n';
    }
    void sample(std::string_view name, std::string_view labels, std::uint64_t value)
    {
        sample(name, labels, std::to_string(value));
    }

    std::string text;
};

std::string label(std::string_view name, std::string_view value)
{
    return std::string(name) + "=\"" + std::string(value) + "\"";
}

} // namespace

void ThreadCounters::countRequest(RequestClass kind, unsigned status, std::chrono::nanoseconds latency)
{
    bump(requests[std::size_t(kind)][statusIndex(status)]);
    const double seconds = std::chrono::duration<double>(latency).count();
    std::size_t bucket = 0;
    while (bucket < LatencyBounds.size() && seconds > LatencyBounds[bucket])
        ++bucket;
    bump(latencyBuckets[bucket]);
    bump(latencyNanoseconds, std::uint64_t(latency.count() > 0 ? latency.count() : 0));
}

void MetricsSnapshot::add(const ThreadCounters &counters)
{
    const auto read = [](const ThreadCounters::Counter &counter) {
        return counter.load(std::memory_order_relaxed);
    };
    for (std::size_t kind = 0; kind < requests.size(); ++kind)
        for (std::size_t status = 0; status < requests[kind].size(); ++status)
            requests[kind][status] += read(counters.requests[kind][status]);
    for (std::size_t i = 0; i < latencyBuckets.size(); ++i)
        latencyBuckets[i] += read(counters.latencyBuckets[i]);
    latencyNanoseconds += read(counters.latencyNanoseconds);
    for (std::size_t i = 0; i < refusals.size(); ++i)
        refusals[i] += read(counters.refusals[i]);
    for (std::size_t i = 0; i < redisErrors.size(); ++i)
        redisErrors[i] += read(counters.redisErrors[i]);
    accepted += read(counters.accepted);
    acceptFailures += read(counters.acceptFailures);
    moved += read(counters.moved);
    ++threads;
}

std::string renderMetrics(const MetricsSnapshot &snapshot, std::string_view version)
{
    Page page;
    page.family("build_info", "gauge", "The server's version.");
    page.sample("build_info", label("version", version), 1);
    page.family("threads", "gauge", "Threads answering requests, each with its own event loop.");
    page.sample("threads", {}, snapshot.threads);
    page.family("draining", "gauge", "1 once SIGTERM has stopped the server taking connections.");
    page.sample("draining", {}, snapshot.draining ? 1 : 0);

    page.family("requests_total", "counter", "Requests answered, by class and status.");
    for (std::size_t kind = 0; kind < RequestClassCount; ++kind) {
        for (std::size_t status = 0; status < CountedStatuses.size(); ++status) {
            const auto count = snapshot.requests[kind][status];
            if (count == 0)
                continue;
            const auto statusText =
                CountedStatuses[status] == 0 ? std::string("other") : std::to_string(CountedStatuses[status]);
            page.sample("requests_total",
                        label("class", className(RequestClass(kind))) + "," + label("status", statusText), count);
        }
    }

    page.family("request_duration_seconds", "histogram",
                "Time from a request's head read to its answer ready, requests that were answered.");
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i < LatencyBounds.size(); ++i) {
        cumulative += snapshot.latencyBuckets[i];
        page.sample("request_duration_seconds_bucket", label("le", number(LatencyBounds[i])), cumulative);
    }
    cumulative += snapshot.latencyBuckets.back();
    page.sample("request_duration_seconds_bucket", label("le", "+Inf"), cumulative);
    page.sample("request_duration_seconds_sum", {}, number(double(snapshot.latencyNanoseconds) / 1e9));
    page.sample("request_duration_seconds_count", {}, cumulative);

    if (snapshot.waits) {
        page.family("waits", "gauge", "Callers waiting in rooms (in-process rooms).");
        page.sample("waits", {}, *snapshot.waits);
    }
    page.family("connections", "gauge", "Client connections open.");
    page.sample("connections", {}, snapshot.openConnections);
    page.family("connections_accepted_total", "counter", "Client connections accepted, refused ones included.");
    page.sample("connections_accepted_total", {}, snapshot.accepted);
    page.family("accept_failures_total", "counter", "Failed accepts (out of descriptors or memory).");
    page.sample("accept_failures_total", {}, snapshot.acceptFailures);
    page.family("connections_moved_total", "counter", "Connections kept alive moved to a thread with fewer.");
    page.sample("connections_moved_total", {}, snapshot.moved);

    page.family("refusals_total", "counter", "Connections and requests refused by a limit, by reason.");
    for (std::size_t reason = 0; reason < RefusalCount; ++reason)
        page.sample("refusals_total", label("reason", refusalName(reason)), snapshot.refusals[reason]);

    if (snapshot.redisReady) {
        page.family("redis_connections_ready", "gauge", "Connections to Redis ready for requests (one per thread).");
        page.sample("redis_connections_ready", {}, *snapshot.redisReady);
        page.family("redis_connections", "gauge", "Connections to Redis this server keeps (one per thread).");
        page.sample("redis_connections", {}, snapshot.redisConnections);
    }
    page.family("redis_errors_total", "counter", "Redis failures, by kind.");
    for (std::size_t kind = 0; kind < RedisErrorCount; ++kind)
        page.sample("redis_errors_total", label("kind", redisErrorName(kind)), snapshot.redisErrors[kind]);

    page.family("log_lines_dropped_total", "counter", "Access log lines dropped because the log's reader fell behind.");
    page.sample("log_lines_dropped_total", {}, snapshot.logLinesDropped);
    return std::move(page.text);
}

} // namespace tarnivel::dirserver
