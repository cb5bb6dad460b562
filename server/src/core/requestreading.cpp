#include "requestreading.h"
#include "roomquery.h"

namespace tarnivel::dirserver {

namespace {

std::string_view trimmed(std::string_view text)
{
    const auto start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return {};
    return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

RequestClass classOf(std::string_view path, std::string_view rawQuery)
{
    if (path == "/myip")
        return RequestClass::OwnAddress;
    if (path == "/healthz")
        return RequestClass::Health;
    if (path == "/metrics")
        return RequestClass::Metrics;
    if (path == "/reach")
        return RequestClass::Reach;
    return rawQuery.ends_with(QuitSuffix) ? RequestClass::Withdraw : RequestClass::Enter;
}

} // namespace

std::string_view className(RequestClass kind)
{
    switch (kind) {
    case RequestClass::Enter:
        return "enter";
    case RequestClass::Withdraw:
        return "withdraw";
    case RequestClass::OwnAddress:
        return "myip";
    case RequestClass::Reach:
        return "reach";
    case RequestClass::Health:
        return "healthz";
    case RequestClass::Metrics:
        return "metrics";
    case RequestClass::Invalid:
        break;
    }
    return "invalid";
}

std::optional<Address> forwardedCaller(std::string_view forwardedFor, const std::vector<Network> &trustedProxies)
{
    // From the right: each hop appends what it saw, so only the part our proxies wrote counts.
    std::string_view rest = forwardedFor;
    std::optional<Address> leftmost;
    while (true) {
        const auto comma = rest.rfind(',');
        const auto item = trimmed(comma == std::string_view::npos ? rest : rest.substr(comma + 1));
        const auto address = parseAddress(item);
        if (!address)
            return std::nullopt;
        if (!anyContains(trustedProxies, *address))
            return address;
        leftmost = address;
        if (comma == std::string_view::npos)
            return leftmost; // every hop a proxy of ours: the first one is the caller
        rest = rest.substr(0, comma);
    }
}

RequestReading readRequest(const RequestHead &head, const Address &peer, const std::vector<Network> &trustedProxies)
{
    RequestReading reading;
    reading.caller = plainAddress(peer);
    const auto refuse = [&](unsigned status, std::string_view body, bool keepAlive) {
        reading.refusal = Reply{status, std::string(body)};
        reading.keepAliveAfterRefusal = keepAlive;
        return reading;
    };

    if (!trustedProxies.empty()) {
        if (head.forwardedForFields > 1)
            return refuse(400, replies::RepeatedForwardedFor, false);
        if (anyContains(trustedProxies, reading.caller)) {
            const auto forwarded =
                head.forwardedForFields == 0 ? std::nullopt : forwardedCaller(head.forwardedFor, trustedProxies);
            if (!forwarded)
                return refuse(400, replies::NoForwardedAddress, false);
            reading.caller = *forwarded;
            reading.forwarded = true;
        }
    }
    if (head.method != boost::beast::http::verb::get)
        return refuse(405, replies::MethodNotAllowed, true);
    if (head.target.size() > MaxTargetBytes)
        return refuse(414, replies::UriTooLong, false);

    const auto mark = head.target.find('?');
    const auto path = head.target.substr(0, mark);
    reading.rawQuery = mark == std::string_view::npos ? std::string_view() : head.target.substr(mark + 1);
    reading.kind = classOf(path, reading.rawQuery);
    return reading;
}

} // namespace tarnivel::dirserver
