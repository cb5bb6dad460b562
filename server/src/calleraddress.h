#pragma once

#include <boost/asio/ip/address.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace tarnivel::directory {

// Address text as copies of the program expect it: dotted IPv4 (an IPv4-mapped IPv6 peer
// becomes plain IPv4).
[[nodiscard]] std::string addressText(const boost::asio::ip::address &address);

// The first address of an X-Forwarded-For value ("203.0.113.9, 10.0.0.2" gives 203.0.113.9),
// in the same form; nothing when it is missing or not an address.
[[nodiscard]] std::optional<std::string> firstForwardedAddress(std::string_view forwardedFor);

} // namespace tarnivel::directory
