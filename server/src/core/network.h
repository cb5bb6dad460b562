#pragma once

#include <boost/asio/ip/address.hpp>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
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

// One network that limits count in: an IPv4 address or /24, an IPv6 /64, /56 or /48. Bytes
// with the host bits cleared, so that counting needs no text.
struct NetworkKey
{
    std::array<unsigned char, 16> bytes{};
    std::uint8_t prefixLength = 0;
    bool v4 = false;

    // Two words rather than a call of memcmp: compared in every look-up of every request.
    bool operator==(const NetworkKey &other) const
    {
        std::uint64_t mine[2], theirs[2];
        std::memcpy(mine, bytes.data(), sizeof mine);
        std::memcpy(theirs, other.bytes.data(), sizeof theirs);
        return mine[0] == theirs[0] && mine[1] == theirs[1] && prefixLength == other.prefixLength && v4 == other.v4;
    }
    // "192.0.2.7" (one IPv4 address), "192.0.2.0/24", "2001:db8:1:2::/64".
    [[nodiscard]] std::string text() const;
};

struct NetworkKeyHash
{
    std::size_t operator()(const NetworkKey &key) const noexcept;
};

// The networks a caller is counted in, narrowest first. IPv4: the address, then its /24.
// IPv6: the /64 (one household or host usually holds a whole /64, so its addresses are one
// caller), then the /56 (what a provider commonly gives one customer), then the /48 (one site).
struct CallerNetworks
{
    std::array<NetworkKey, 3> keys;
    std::size_t count = 0;

    [[nodiscard]] const NetworkKey &caller() const { return keys[0]; }
    [[nodiscard]] auto begin() const { return keys.begin(); }
    [[nodiscard]] auto end() const { return keys.begin() + std::ptrdiff_t(count); }
};

[[nodiscard]] CallerNetworks callerNetworks(const Address &address);

// One limit for each size of network a caller is counted in; 0: none for that size.
struct NetworkLimits
{
    unsigned perCaller = 0; // an IPv4 address or an IPv6 /64
    unsigned per56 = 0;     // IPv6
    unsigned per48 = 0;     // IPv6
    unsigned per24 = 0;     // IPv4

    [[nodiscard]] unsigned of(const NetworkKey &key) const;
};

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
