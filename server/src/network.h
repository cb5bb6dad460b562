#pragma once

#include <boost/asio/ip/address.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnivel::dirserver {

using Address = boost::asio::ip::address;

// An IPv4-mapped IPv6 address becomes the IPv4 address it carries; others stay as they are.
[[nodiscard]] Address plainAddress(const Address &address);

// Address text as copies of the program expect it: dotted IPv4 for IPv4 and mapped peers.
[[nodiscard]] std::string addressText(const Address &address);

// What per-caller limits count: an IPv4 address, or the /64 network of an IPv6 address (one
// household or host usually holds a whole /64, so its addresses are one caller).
[[nodiscard]] std::string limitKey(const Address &address);

// "10.0.0.0/8", "2001:db8::/32", or one address ("192.0.2.7" is 192.0.2.7/32).
class Network
{
public:
    [[nodiscard]] static std::optional<Network> parse(std::string_view text);

    [[nodiscard]] bool contains(const Address &address) const;
    [[nodiscard]] std::string text() const;

private:
    Network(Address base, unsigned prefixLength) : base(base), prefixLength(prefixLength) {}

    Address base; // host bits cleared
    unsigned prefixLength;
};

[[nodiscard]] bool anyContains(const std::vector<Network> &networks, const Address &address);

// A literal address as it may appear in a header: "192.0.2.7", "2001:db8::1" or "[2001:db8::1]";
// nothing for anything else (names, ports, zone indices).
[[nodiscard]] std::optional<Address> parseAddress(std::string_view text);

} // namespace tarnivel::dirserver
