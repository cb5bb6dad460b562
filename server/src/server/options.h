#pragma once

#include "callerlimits.h"
#include "network.h"
#include "redisconnection.h"
#include "roomstore.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnivel::dirserver {

struct HostPort
{
    std::string host;
    std::uint16_t port = 0;
};

struct ServerOptions
{
    std::vector<HostPort> listen; // numeric addresses
    unsigned threads = 1;
    std::vector<std::string> rooms; // UTF-8, from --room and --rooms
    bool openRooms = false;
    std::optional<RedisSettings> redis;
    std::vector<Network> trustedProxies;
    std::vector<Network> metricsFrom;
    bool quiet = false;
    bool logRooms = false;
    bool reach = true;
    std::uint16_t reachPort = 4330;
    std::chrono::milliseconds requestTimeout{std::chrono::seconds(10)};
    std::chrono::milliseconds firstByteTimeout{std::chrono::seconds(3)}; // at most requestTimeout
    StoreSettings store;
    LimitSettings limits;
};

enum class ParseOutcome { Run, ShowedHelp, ShowedVersion, Failed };

struct ParsedOptions
{
    ParseOutcome outcome = ParseOutcome::Failed;
    ServerOptions options;
    std::string message; // help or version text, or what was wrong
};

// The command line, and the file named by --config (same keys, "key = value"; what the
// command line gives wins, and repeatable keys from both are joined).
[[nodiscard]] ParsedOptions parseOptions(int argc, const char *const *argv);

// "HOST:PORT" or "[IPv6]:PORT".
[[nodiscard]] std::optional<HostPort> parseHostPort(const std::string &text);

// Reads room names, one per line (UTF-8; empty lines and a byte order mark skipped). A name
// that is too long, holds a control character or does not survive code page 932 both ways is
// refused with its line number; false with the reason in problem.
bool readRoomsFile(const std::string &path, std::vector<std::string> &rooms, std::string &problem);

} // namespace tarnivel::dirserver
