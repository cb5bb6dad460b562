#include "options.h"

#include "cp932codec.h"
#include "roomquery.h"

#include <boost/program_options.hpp>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sched.h>
#include <sstream>
#include <string_view>
#include <thread>

#ifndef TARNIVEL_VERSION
#define TARNIVEL_VERSION "unknown"
#endif

namespace tarnivel::dirserver {

namespace po = boost::program_options;

namespace {

constexpr std::string_view DefaultListen = "0.0.0.0:8080";

po::options_description commandLineOnly()
{
    po::options_description options("Command line only");
    // clang-format off
    options.add_options()
        ("help,h", "show this help")
        ("version", "show the version")
        ("config", po::value<std::string>(), "read options from FILE too (\"key = value\" lines, the keys below)");
    // clang-format on
    return options;
}

po::options_description serverOptions()
{
    po::options_description options("Options (also as keys of the --config file)");
    // clang-format off
    options.add_options()
        ("listen", po::value<std::vector<std::string>>(), "ADDRESS:PORT to listen on, [::1]:PORT for IPv6 (repeatable; default 0.0.0.0:8080; port 0: any free port)")
        ("threads", po::value<unsigned>()->default_value(0), "threads answering requests, each with its own event loop (0: one per core)")
        ("room", po::value<std::vector<std::string>>()->composing(), "a room that exists (repeatable, UTF-8)")
        ("rooms", po::value<std::string>(), "file naming one room per line (UTF-8); SIGHUP reads it again")
        ("open", po::bool_switch(), "any room exists; it is made when first used")
        ("expiry", po::value<unsigned>()->default_value(300), "seconds a waiting caller stays listed without renewing")
        ("max-rooms-per-caller", po::value<unsigned>()->default_value(4), "rooms one caller (IPv4 address, IPv6 /64) may wait in at once")
        ("max-rooms-per-56", po::value<unsigned>()->default_value(16), "rooms the callers of one IPv6 /56 may wait in at once (0: no cap)")
        ("max-rooms-per-48", po::value<unsigned>()->default_value(64), "rooms the callers of one IPv6 /48 may wait in at once (0: no cap)")
        ("max-rooms-per-24", po::value<unsigned>()->default_value(64), "rooms the callers of one IPv4 /24 may wait in at once (0: no cap)")
        ("max-waits", po::value<unsigned>()->default_value(250000), "waiting callers in all rooms together (then 503 TooManyWaits)")
        ("trust-proxy", po::value<std::vector<std::string>>(), "CIDR of proxies whose X-Forwarded-For names the caller (repeatable)")
        ("quiet", po::bool_switch(), "no access log on standard output")
        ("log-rooms", po::bool_switch(), "write room names in the access log")
        ("first-byte-timeout", po::value<double>()->default_value(3.0), "seconds a connection may wait for a request's first byte, new or kept alive (at most --request-timeout)")
        ("request-timeout", po::value<double>()->default_value(10.0), "seconds a request may take to arrive whole from its first byte")
        ("rate-limit", po::value<unsigned>()->default_value(20), "requests per second per caller (IPv4 address, IPv6 /64; 0: no limit)")
        ("rate-limit-per-56", po::value<unsigned>()->default_value(50), "requests per second from one IPv6 /56 (0: no limit)")
        ("rate-limit-per-48", po::value<unsigned>()->default_value(100), "requests per second from one IPv6 /48 (0: no limit)")
        ("rate-limit-per-24", po::value<unsigned>()->default_value(100), "requests per second from one IPv4 /24 (0: no limit)")
        ("max-connections-per-address", po::value<unsigned>()->default_value(32), "open connections per TCP peer (IPv4 address, IPv6 /64; 0: no cap)")
        ("max-connections-per-56", po::value<unsigned>()->default_value(64), "open connections from one IPv6 /56 (0: no cap)")
        ("max-connections-per-48", po::value<unsigned>()->default_value(128), "open connections from one IPv6 /48 (0: no cap)")
        ("max-connections-per-24", po::value<unsigned>()->default_value(128), "open connections from one IPv4 /24 (0: no cap)")
        ("max-connections", po::value<unsigned>()->default_value(10000), "open connections in all; when reached, the one waiting longest for a first byte is closed (0: no cap)")
        ("metrics-from", po::value<std::vector<std::string>>(), "CIDR whose TCP peers may read /metrics (repeatable; default 127.0.0.0/8 and ::1)")
        ("no-reach", po::bool_switch(), "no reachability checks: GET /reach answers 404")
        ("redis", po::value<std::string>(), "keep rooms in the Redis server at HOST:PORT, shared with other front ends")
        ("redis-timeout", po::value<double>()->default_value(1.0), "seconds Redis may take to answer before the caller is answered 503")
        ("redis-connect-timeout", po::value<double>()->default_value(2.0), "seconds to connect to Redis (name, TCP, TLS, AUTH and set-up)")
        ("redis-password-file", po::value<std::string>(), "file whose first line is the Redis password (AUTH)")
        ("redis-user", po::value<std::string>(), "Redis ACL user for AUTH (with --redis-password-file)")
        ("redis-tls", po::bool_switch(), "speak TLS to Redis")
        ("redis-tls-ca", po::value<std::string>(), "certificate authorities for Redis's certificate (default: the system's)")
        ("redis-tls-cert", po::value<std::string>(), "client certificate for Redis (PEM)")
        ("redis-tls-key", po::value<std::string>(), "client certificate's key (PEM; default: in --redis-tls-cert)")
        ("redis-tls-name", po::value<std::string>(), "name Redis's certificate must carry (default: the --redis host)");
    // clang-format on
    return options;
}

bool hasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        return b < 0x20 || b == 0x7F;
    });
}

// Why copies could never ask for this room, or nothing.
std::optional<std::string> roomProblem(const std::string &room, Cp932Codec &codec)
{
    if (room.size() > MaxRoomNameBytes)
        return "longer than " + std::to_string(MaxRoomNameBytes) + " bytes";
    if (hasControlCharacter(room))
        return std::string("holds a control character");
    if (!codec.roundTrips(room))
        return std::string("cannot be written in code page 932 and read back the same (〜 is written ～ there)");
    return std::nullopt;
}

std::string excerpt(const std::string &room)
{
    std::string shown;
    for (const char c : room.substr(0, 60))
        shown.push_back(static_cast<unsigned char>(c) < 0x20 ? '?' : c);
    return "\"" + shown + "\"";
}

bool readSeconds(const po::variables_map &values, const char *name, std::chrono::milliseconds &into,
                 std::string &problem)
{
    const auto seconds = values[name].as<double>();
    if (!(seconds > 0) || seconds > 3600) {
        problem = std::string("--") + name + " must be above 0 and at most 3600";
        return false;
    }
    into = std::chrono::milliseconds(std::max<long long>(1, static_cast<long long>(seconds * 1000)));
    return true;
}

bool readNetworks(const po::variables_map &values, const char *name, std::vector<Network> &into, std::string &problem)
{
    if (!values.count(name))
        return true;
    for (const auto &text : values[name].as<std::vector<std::string>>()) {
        const auto network = Network::parse(text);
        if (!network) {
            problem = std::string("--") + name + " wants a network such as 10.0.0.0/8 or 2001:db8::/32, not " + text;
            return false;
        }
        into.push_back(*network);
    }
    return true;
}

bool readFirstLine(const std::string &path, std::string &line, std::string &problem)
{
    std::ifstream file(path, std::ios::binary);
    if (!file || !std::getline(file, line)) {
        problem = "cannot read " + path;
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.empty()) {
        problem = path + " starts with an empty line";
        return false;
    }
    return true;
}

unsigned coreCount()
{
    cpu_set_t cores;
    if (sched_getaffinity(0, sizeof cores, &cores) == 0 && CPU_COUNT(&cores) > 0)
        return unsigned(CPU_COUNT(&cores));
    return std::max(1u, std::thread::hardware_concurrency());
}

bool readRedis(const po::variables_map &values, ServerOptions &options, std::string &problem)
{
    if (!values.count("redis")) {
        for (const char *name : {"redis-password-file", "redis-user", "redis-tls-ca", "redis-tls-cert", "redis-tls-key",
                                 "redis-tls-name"}) {
            if (values.count(name)) {
                problem = std::string("--") + name + " needs --redis";
                return false;
            }
        }
        return true;
    }
    const auto where = parseHostPort(values["redis"].as<std::string>());
    if (!where || where->port == 0) {
        problem = "--redis wants HOST:PORT";
        return false;
    }
    RedisSettings redis;
    redis.host = where->host;
    redis.port = where->port;
    if (!readSeconds(values, "redis-timeout", redis.timeout, problem)
        || !readSeconds(values, "redis-connect-timeout", redis.connectTimeout, problem))
        return false;
    if (values.count("redis-password-file")) {
        std::string password;
        if (!readFirstLine(values["redis-password-file"].as<std::string>(), password, problem))
            return false;
        redis.password = std::move(password);
    }
    if (values.count("redis-user")) {
        if (!redis.password) {
            problem = "--redis-user needs --redis-password-file";
            return false;
        }
        redis.user = values["redis-user"].as<std::string>();
    }
    redis.tls = values["redis-tls"].as<bool>();
    const auto text = [&](const char *name) {
        return values.count(name) ? values[name].as<std::string>() : std::string();
    };
    redis.tlsCaFile = text("redis-tls-ca");
    redis.tlsCertFile = text("redis-tls-cert");
    redis.tlsKeyFile = text("redis-tls-key");
    redis.tlsServerName = text("redis-tls-name");
    if (!redis.tls && !(redis.tlsCaFile + redis.tlsCertFile + redis.tlsKeyFile + redis.tlsServerName).empty()) {
        problem = "the --redis-tls-... options need --redis-tls";
        return false;
    }
    if (!redis.tlsKeyFile.empty() && redis.tlsCertFile.empty()) {
        problem = "--redis-tls-key needs --redis-tls-cert";
        return false;
    }
    options.redis = std::move(redis);
    return true;
}

} // namespace

std::optional<HostPort> parseHostPort(const std::string &text)
{
    const auto colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return std::nullopt;
    HostPort result;
    result.host = text.substr(0, colon);
    if (result.host.size() > 2 && result.host.front() == '[' && result.host.back() == ']')
        result.host = result.host.substr(1, result.host.size() - 2);
    else if (result.host.find(':') != std::string::npos)
        return std::nullopt; // an IPv6 address needs its brackets
    const auto *first = text.data() + colon + 1;
    const auto *last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, result.port);
    if (first == last || error != std::errc() || end != last)
        return std::nullopt;
    return result;
}

bool readRoomsFile(const std::string &path, std::vector<std::string> &rooms, std::string &problem)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        problem = "cannot read the rooms file " + path;
        return false;
    }
    // Windows editors start UTF-8 files with a byte order mark; it is no part of a name.
    if (file.peek() == 0xEF) {
        char mark[3] = {};
        if (!file.read(mark, 3) || std::string_view(mark, 3) != "\xEF\xBB\xBF") {
            file.clear();
            file.seekg(0);
        }
    }
    Cp932Codec codec;
    std::string line;
    for (unsigned number = 1; std::getline(file, line); ++number) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        if (const auto why = roomProblem(line, codec)) {
            problem = path + ":" + std::to_string(number) + ": the room " + excerpt(line) + " " + *why;
            return false;
        }
        rooms.push_back(line);
    }
    return true;
}

ParsedOptions parseOptions(int argc, const char *const *argv)
{
    ParsedOptions parsed;
    const auto onlyHere = commandLineOnly();
    const auto shared = serverOptions();
    po::options_description all;
    all.add(onlyHere).add(shared);
    po::variables_map values;
    try {
        po::store(po::parse_command_line(argc, argv, all), values);
        if (values.count("config")) {
            const auto path = values["config"].as<std::string>();
            std::ifstream file(path);
            if (!file) {
                parsed.message = "cannot read the config file " + path;
                return parsed;
            }
            po::store(po::parse_config_file(file, shared), values);
        }
        po::notify(values);
    } catch (const po::error &error) {
        parsed.message = error.what();
        if (std::string_view(parsed.message).find("trust-proxy") != std::string_view::npos)
            parsed.message += " (--trust-proxy names the proxies' network now, e.g. --trust-proxy 10.0.0.0/8)";
        return parsed;
    }
    if (values.count("help")) {
        std::ostringstream help;
        help << "tarnivel-directory: rooms directory and address server\n\n" << onlyHere << "\n" << shared;
        parsed.message = help.str();
        parsed.outcome = ParseOutcome::ShowedHelp;
        return parsed;
    }
    if (values.count("version")) {
        parsed.message = "tarnivel-directory " TARNIVEL_VERSION "\n";
        parsed.outcome = ParseOutcome::ShowedVersion;
        return parsed;
    }

    auto &options = parsed.options;
    auto &problem = parsed.message;
    const auto listen = values.count("listen") ? values["listen"].as<std::vector<std::string>>()
                                               : std::vector<std::string>{std::string(DefaultListen)};
    for (const auto &text : listen) {
        auto where = parseHostPort(text);
        if (!where || !parseAddress(where->host)) {
            problem = "--listen wants ADDRESS:PORT with a numeric address ([::]:PORT for IPv6), not " + text;
            return parsed;
        }
        options.listen.push_back(std::move(*where));
    }
    options.threads = values["threads"].as<unsigned>();
    if (options.threads == 0)
        options.threads = coreCount();
    if (options.threads > 256) {
        problem = "--threads must be at most 256";
        return parsed;
    }

    Cp932Codec codec;
    if (values.count("room")) {
        for (const auto &room : values["room"].as<std::vector<std::string>>()) {
            if (room.empty())
                continue;
            if (const auto why = roomProblem(room, codec)) {
                problem = "--room " + excerpt(room) + " " + *why;
                return parsed;
            }
            options.rooms.push_back(room);
        }
    }
    if (values.count("rooms") && !readRoomsFile(values["rooms"].as<std::string>(), options.rooms, problem))
        return parsed;
    options.openRooms = values["open"].as<bool>();
    if (options.rooms.empty() && !options.openRooms) {
        problem = "no rooms: give --room, --rooms or --open";
        return parsed;
    }

    if (!readNetworks(values, "trust-proxy", options.trustedProxies, problem))
        return parsed;
    if (values.count("metrics-from")) {
        if (!readNetworks(values, "metrics-from", options.metricsFrom, problem))
            return parsed;
    } else {
        options.metricsFrom = {*Network::parse("127.0.0.0/8"), *Network::parse("::1")};
    }
    options.quiet = values["quiet"].as<bool>();
    options.logRooms = values["log-rooms"].as<bool>();
    options.reach = !values["no-reach"].as<bool>();
    if (const char *port = std::getenv("TARNIVEL_DIRECTORY_REACH_PORT"); port && *port) {
        const std::string_view text(port);
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), options.reachPort);
        if (error != std::errc() || end != text.data() + text.size() || options.reachPort == 0) {
            problem = "TARNIVEL_DIRECTORY_REACH_PORT must be a port number";
            return parsed;
        }
    }

    const auto expiry = values["expiry"].as<unsigned>();
    const auto perNetwork = [&](const char *caller, const char *prefix) {
        const auto value = [&](const std::string &name) {
            return values[name].as<unsigned>();
        };
        return NetworkLimits{value(caller), value(std::string(prefix) + "56"), value(std::string(prefix) + "48"),
                             value(std::string(prefix) + "24")};
    };
    options.store.rooms = perNetwork("max-rooms-per-caller", "max-rooms-per-");
    options.store.maxWaits = values["max-waits"].as<unsigned>();
    if (expiry == 0 || options.store.rooms.perCaller == 0 || options.store.maxWaits == 0) {
        problem = "--expiry, --max-rooms-per-caller and --max-waits must be above 0";
        return parsed;
    }
    options.store.expiry = std::chrono::seconds(expiry);
    if (!readSeconds(values, "request-timeout", options.requestTimeout, problem)
        || !readSeconds(values, "first-byte-timeout", options.firstByteTimeout, problem))
        return parsed;
    options.firstByteTimeout = std::min(options.firstByteTimeout, options.requestTimeout);
    options.limits.requestsPerSecond = perNetwork("rate-limit", "rate-limit-per-");
    options.limits.connections = perNetwork("max-connections-per-address", "max-connections-per-");
    options.limits.maxConnections = values["max-connections"].as<unsigned>();
    if (!readRedis(values, options, problem))
        return parsed;
    parsed.outcome = ParseOutcome::Run;
    return parsed;
}

} // namespace tarnivel::dirserver
