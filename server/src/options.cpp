#include "options.h"

#include "roomquery.h"

#include <boost/program_options.hpp>

#include <charconv>
#include <fstream>
#include <sstream>
#include <string_view>

namespace tarnivel::directory {

namespace po = boost::program_options;

namespace {

po::options_description describeOptions()
{
    po::options_description options("tarnivel-directory: rooms directory and address server\n\nOptions");
    // clang-format off
    options.add_options()
        ("help,h", "show this help")
        ("version", "show the version")
        ("listen", po::value<std::string>()->default_value("0.0.0.0:8080"), "address and port to listen on (port 0: any free port)")
        ("room", po::value<std::vector<std::string>>()->composing(), "a room that exists (repeatable, UTF-8)")
        ("rooms", po::value<std::string>(), "file naming one room per line (UTF-8)")
        ("open", po::bool_switch(), "any room exists; it is made when first used")
        ("expiry", po::value<unsigned>()->default_value(300), "seconds a waiting caller stays listed without renewing")
        ("redis", po::value<std::string>(), "keep rooms in the Redis server at HOST:PORT, shared with other front ends")
        ("trust-proxy", po::bool_switch(), "the caller is the first X-Forwarded-For address (behind a proxy only)")
        ("quiet", po::bool_switch(), "no access log on standard output")
        ("request-timeout", po::value<double>()->default_value(10.0), "seconds a request may take to arrive, and a connection may idle")
        ("max-rooms-per-caller", po::value<unsigned>()->default_value(4), "rooms one address may wait in at once")
        ("rate-limit", po::value<unsigned>()->default_value(20), "requests per second per caller address (0: no limit)")
        ("max-connections-per-address", po::value<unsigned>()->default_value(32), "open connections per TCP peer (0: no cap)");
    // clang-format on
    return options;
}

// Names as they will be compared: UTF-8 with no line ends; empty lines are skipped.
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
    std::string line;
    while (std::getline(file, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty())
            rooms.push_back(line);
    }
    return true;
}

bool checkRooms(const std::vector<std::string> &rooms, std::string &problem)
{
    for (const auto &room : rooms) {
        if (room.empty() || room.size() > MaxRoomNameBytes) {
            problem = "room names are 1 to " + std::to_string(MaxRoomNameBytes) + " bytes: " + room.substr(0, 40);
            return false;
        }
    }
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
    const auto *first = text.data() + colon + 1;
    const auto *last = text.data() + text.size();
    const auto [end, error] = std::from_chars(first, last, result.port);
    if (first == last || error != std::errc() || end != last)
        return std::nullopt;
    return result;
}

ParsedOptions parseOptions(int argc, const char *const *argv)
{
    ParsedOptions parsed;
    const auto description = describeOptions();
    po::variables_map values;
    try {
        po::store(po::parse_command_line(argc, argv, description), values);
        po::notify(values);
    } catch (const po::error &error) {
        parsed.message = error.what();
        return parsed;
    }
    if (values.count("help")) {
        std::ostringstream help;
        help << description;
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
    const auto listen = parseHostPort(values["listen"].as<std::string>());
    if (!listen) {
        parsed.message = "--listen wants ADDRESS:PORT";
        return parsed;
    }
    options.listen = *listen;
    if (values.count("redis")) {
        options.redis = parseHostPort(values["redis"].as<std::string>());
        if (!options.redis || options.redis->port == 0) {
            parsed.message = "--redis wants HOST:PORT";
            return parsed;
        }
    }
    if (values.count("room"))
        options.rooms = values["room"].as<std::vector<std::string>>();
    if (values.count("rooms") && !readRoomsFile(values["rooms"].as<std::string>(), options.rooms, parsed.message))
        return parsed;
    if (!checkRooms(options.rooms, parsed.message))
        return parsed;
    options.openRooms = values["open"].as<bool>();
    if (options.rooms.empty() && !options.openRooms) {
        parsed.message = "no rooms: give --room, --rooms or --open";
        return parsed;
    }

    options.trustProxy = values["trust-proxy"].as<bool>();
    options.quiet = values["quiet"].as<bool>();
    const auto expiry = values["expiry"].as<unsigned>();
    const auto timeout = values["request-timeout"].as<double>();
    options.store.maxRoomsPerCaller = values["max-rooms-per-caller"].as<unsigned>();
    if (expiry == 0 || timeout <= 0 || timeout > 3600 || options.store.maxRoomsPerCaller == 0) {
        parsed.message = "--expiry, --request-timeout and --max-rooms-per-caller must be above 0";
        return parsed;
    }
    options.store.expiry = std::chrono::seconds(expiry);
    options.requestTimeout = std::chrono::milliseconds(static_cast<long long>(timeout * 1000));
    options.limits.requestsPerSecond = values["rate-limit"].as<unsigned>();
    options.limits.maxConnectionsPerAddress = values["max-connections-per-address"].as<unsigned>();
    parsed.outcome = ParseOutcome::Run;
    return parsed;
}

} // namespace tarnivel::directory
