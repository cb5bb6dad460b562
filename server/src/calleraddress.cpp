#include "calleraddress.h"

namespace tarnivel::directory {

std::string addressText(const boost::asio::ip::address &address)
{
    if (address.is_v6() && address.to_v6().is_v4_mapped())
        return boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6()).to_string();
    return address.to_string();
}

std::optional<std::string> firstForwardedAddress(std::string_view forwardedFor)
{
    auto first = forwardedFor.substr(0, forwardedFor.find(','));
    const auto start = first.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return std::nullopt;
    first = first.substr(start, first.find_last_not_of(" \t") - start + 1);
    boost::system::error_code error;
    const auto address = boost::asio::ip::make_address(std::string(first), error);
    if (error)
        return std::nullopt;
    return addressText(address);
}

} // namespace tarnivel::directory
