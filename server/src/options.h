#pragma once

#include "callerlimits.h"
#include "roomstore.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tarnivel::directory {

struct HostPort
{
    std::string host;
    std::uint16_t port = 0;
};

struct ServerOptions
{
    HostPort listen{"0.0.0.0", 8080};
    std::vector<std::string> rooms; // UTF-8, from --room and --rooms
    bool openRooms = false;
    std::optional<HostPort> redis;
    bool trustProxy = false;
    bool quiet = false;
    std::chrono::milliseconds requestTimeout{std::chrono::seconds(10)};
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

[[nodiscard]] ParsedOptions parseOptions(int argc, const char *const *argv);

// "HOST:PORT" or "[IPv6]:PORT".
[[nodiscard]] std::optional<HostPort> parseHostPort(const std::string &text);

} // namespace tarnivel::directory
