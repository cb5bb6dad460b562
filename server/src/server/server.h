#pragma once

#include "options.h"

#include <functional>
#include <optional>
#include <string>

namespace tarnivel::dirserver {

// Reads the options again (for SIGHUP); nothing, with the reason in problem, when they are wrong.
using OptionsReader = std::function<std::optional<ServerOptions>(std::string &problem)>;

// Listens at once on every --listen address with one thread per --threads, tells systemd it
// is ready, and serves until SIGTERM or SIGINT: then it stops accepting, finishes the
// requests in flight and returns 0 (a second signal stops it at once). SIGHUP reads the rooms
// again. Returns 1 when it cannot listen.
[[nodiscard]] int runServer(const ServerOptions &options, const OptionsReader &readAgain);

} // namespace tarnivel::dirserver
