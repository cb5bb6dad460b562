#pragma once

#include "network.h"

#include <boost/asio/io_context.hpp>

#include <chrono>
#include <cstdint>
#include <functional>

namespace tarnivel::dirserver {

// The port a reachability check dials: the program's join port. Tests may move it with the
// environment variable TARNIVEL_DIRECTORY_REACH_PORT (not an option, so a config file cannot).
inline constexpr std::uint16_t ReachPort = 4330;
inline constexpr auto ReachTimeout = std::chrono::seconds(3);

// Whether a TCP connection to the address and port can be made within the time-out. Sends
// nothing and closes at once. Addresses no single host answers for (unspecified, multicast,
// broadcast) are reported closed without dialling.
void probeReach(boost::asio::io_context &io, const Address &address, std::uint16_t port,
                std::chrono::milliseconds timeout, std::function<void(bool open)> done);

} // namespace tarnivel::dirserver
