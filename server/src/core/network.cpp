#include "network.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace tarnivel::dirserver {

namespace {

// The address as bytes, 4 for IPv4 and 16 for IPv6.
std::array<unsigned char, 16> bytesOf(const Address &address, std::size_t &count)
{
    std::array<unsigned char, 16> bytes{};
    if (address.is_v4()) {
        const auto v4 = address.to_v4().to_bytes();
        std::copy(v4.begin(), v4.end(), bytes.begin());
        count = 4;
    } else {
        bytes = address.to_v6().to_bytes();
        count = 16;
    }
    return bytes;
}

Address addressOf(const std::array<unsigned char, 16> &bytes, bool v4)
{
    if (v4)
        return boost::asio::ip::address_v4({bytes[0], bytes[1], bytes[2], bytes[3]});
    return boost::asio::ip::address_v6(bytes);
}

// Clears every bit after the first prefixLength.
void keepPrefix(std::array<unsigned char, 16> &bytes, std::size_t count, unsigned prefixLength)
{
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned bitsBefore = unsigned(i) * 8;
        if (prefixLength >= bitsBefore + 8)
            continue;
        const unsigned keep = prefixLength > bitsBefore ? prefixLength - bitsBefore : 0;
        bytes[i] &= static_cast<unsigned char>(0xFF00u >> keep);
    }
}

} // namespace

Address plainAddress(const Address &address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6());
    return address;
}

std::string addressText(const Address &address)
{
    const auto plain = plainAddress(address);
    if (!plain.is_v4())
        return plain.to_string();
    // Dotted quads by hand: inet_ntop goes through sprintf, on every request.
    const auto bytes = plain.to_v4().to_bytes();
    char text[16];
    char *end = text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            *end++ = '.';
        end = std::to_chars(end, text + sizeof text, unsigned(bytes[i])).ptr;
    }
    return std::string(text, end);
}

std::string NetworkKey::text() const
{
    const auto base = addressOf(bytes, v4);
    if (v4 && prefixLength == 32)
        return addressText(base);
    return (v4 ? addressText(base) : base.to_string()) + "/" + std::to_string(prefixLength);
}

std::size_t NetworkKeyHash::operator()(const NetworkKey &key) const noexcept
{
    std::uint64_t high = 0, low = 0;
    std::memcpy(&high, key.bytes.data(), 8);
    std::memcpy(&low, key.bytes.data() + 8, 8);
    std::uint64_t h = high * 0x9E3779B97F4A7C15ull ^ low ^ (std::uint64_t(key.prefixLength) << 1 | key.v4);
    h ^= h >> 31;
    h *= 0xD6E8FEB86659FD93ull;
    return std::size_t(h ^ h >> 32);
}

CallerNetworks callerNetworks(const Address &address)
{
    const auto plain = plainAddress(address);
    CallerNetworks networks;
    std::size_t count = 0;
    const auto bytes = bytesOf(plain, count);
    const auto add = [&](unsigned prefixLength) {
        auto &key = networks.keys[networks.count++];
        key.bytes = bytes;
        keepPrefix(key.bytes, count, prefixLength);
        key.prefixLength = std::uint8_t(prefixLength);
        key.v4 = plain.is_v4();
    };
    if (plain.is_v4()) {
        add(32);
        add(24);
    } else {
        add(64);
        add(56);
        add(48);
    }
    return networks;
}

unsigned NetworkLimits::of(const NetworkKey &key) const
{
    switch (key.prefixLength) {
    case 24:
        return per24;
    case 48:
        return per48;
    case 56:
        return per56;
    default:
        return perCaller;
    }
}

std::optional<Address> parseAddress(std::string_view text)
{
    if (text.size() > 2 && text.front() == '[' && text.back() == ']')
        text = text.substr(1, text.size() - 2);
    // Boost takes "%zone" suffixes and would resolve nothing else, but a zone names a local link.
    if (text.empty() || text.size() > 45 || text.find('%') != std::string_view::npos)
        return std::nullopt;
    char terminated[46];
    std::memcpy(terminated, text.data(), text.size());
    terminated[text.size()] = '\0';
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(terminated, error);
    if (error)
        return std::nullopt;
    return plainAddress(address);
}

std::optional<Network> Network::parse(std::string_view text)
{
    const auto slash = text.find('/');
    const auto address = parseAddress(text.substr(0, slash));
    if (!address)
        return std::nullopt;
    const unsigned width = address->is_v4() ? 32 : 128;
    unsigned prefixLength = width;
    if (slash != std::string_view::npos) {
        const auto digits = text.substr(slash + 1);
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), prefixLength);
        if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || prefixLength > width)
            return std::nullopt;
    }
    std::size_t count = 0;
    auto bytes = bytesOf(*address, count);
    keepPrefix(bytes, count, prefixLength);
    return Network(addressOf(bytes, address->is_v4()), prefixLength);
}

bool Network::contains(const Address &address) const
{
    const auto plain = plainAddress(address);
    if (plain.is_v4() != base.is_v4())
        return false;
    std::size_t count = 0;
    auto bytes = bytesOf(plain, count);
    keepPrefix(bytes, count, prefixLength);
    return addressOf(bytes, plain.is_v4()) == base;
}

std::string Network::text() const
{
    return base.to_string() + "/" + std::to_string(prefixLength);
}

bool anyContains(const std::vector<Network> &networks, const Address &address)
{
    for (const auto &network : networks)
        if (network.contains(address))
            return true;
    return false;
}

} // namespace tarnivel::dirserver
