// tarnivel-directory's request handling on arbitrary bytes, without sockets: the first byte
// picks the TCP peer (a trusted proxy or a client, IPv4 or IPv6), the rest is read as an HTTP
// request the way a connection reads it, then who asks and what, and the room grammar's
// answer from an in-process store. Alongside, the query rules on the same bytes.

#include "fuzzcheck.h"
#include "directory.h"
#include "memoryroomstore.h"
#include "network.h"
#include "requestreading.h"
#include "roomquery.h"

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/parser.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

using namespace tarnivel::dirserver;
namespace http = boost::beast::http;

namespace {

bool hasControlCharacter(std::string_view text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

std::string percentEncodeAll(std::string_view bytes)
{
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        text += '%';
        text += Hex[b >> 4];
        text += Hex[b & 0xF];
    }
    return text;
}

const std::vector<Network> &trustedProxies()
{
    static const std::vector<Network> networks = {*Network::parse("127.0.0.0/8"), *Network::parse("10.9.0.0/16"),
                                                  *Network::parse("2001:db8:ffff::/48")};
    return networks;
}

Address peerFor(unsigned char selector)
{
    static const std::array<Address, 5> peers = {
        boost::asio::ip::make_address("127.0.0.1"), boost::asio::ip::make_address("192.0.2.7"),
        boost::asio::ip::make_address("2001:db8::7"), boost::asio::ip::make_address("::ffff:10.9.0.3"),
        boost::asio::ip::make_address("2001:db8:ffff::1")};
    return peers[selector % peers.size()];
}

// The query rules: escapes, the "+quit" end, and which names can be rooms.
void checkQuery(std::string_view bytes)
{
    static Cp932Codec codec;
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    const auto exact = std::make_unique<char[]>(bytes.size());
    std::memcpy(exact.get(), bytes.data(), bytes.size());
    const std::string_view query(exact.get(), bytes.size());

    const auto decoded = percentDecode(query);
    check(decoded.size() <= query.size(), "decoding made the text longer");
    check(percentDecode(percentEncodeAll(decoded)) == decoded, "an escaped byte did not read back as itself");

    const auto read = readRoomQuery(query, codec);
    check(read.withdraw == query.ends_with("+quit"), "leaving is decided by the raw end, \"+quit\"");
    if (!read.room)
        return;
    check(!read.room->empty() && read.room->size() <= MaxRoomNameBytes, "a room name of impossible length");
    check(!hasControlCharacter(*read.room), "a room name with a control character");
    // Whatever the copy's bytes were, the same name fully escaped is the same room.
    const auto bytesAgain = codec.encode(*read.room);
    check(bytesAgain.has_value(), "a room name code page 932 cannot write");
    const auto again = readRoomQuery(percentEncodeAll(*bytesAgain), codec);
    check(again.room == read.room && !again.withdraw, "the escaped name is another room");
}

// Who asks and what, from the head a connection would have read.
void checkRequest(const http::request_parser<http::empty_body> &parser, const Address &peer)
{
    const auto &request = parser.get();
    RequestHead head;
    head.method = request.method();
    head.target = request.target();
    head.forwardedForFields = request.count("X-Forwarded-For");
    if (head.forwardedForFields > 0)
        head.forwardedFor = request.find("X-Forwarded-For")->value();
    const auto reading = readRequest(head, peer, trustedProxies());

    const bool fromProxy = anyContains(trustedProxies(), peer);
    if (!fromProxy)
        check(reading.caller == plainAddress(peer), "a client other than a proxy named its own address");
    if (fromProxy && !reading.refusal)
        check(forwardedCaller(head.forwardedFor, trustedProxies()) == reading.caller,
              "the caller is not the forwarded one");
    check(!reading.caller.is_v6() || !reading.caller.to_v6().is_v4_mapped(), "a mapped address was not made plain");
    const auto networks = callerNetworks(reading.caller);
    const auto callerKey = networks.caller().text();
    check(reading.caller.is_v4() ? callerKey == reading.caller.to_string() && networks.count == 2
                                 : callerKey.ends_with("/64") && networks.count == 3,
          "limit networks");

    if (reading.refusal) {
        const auto status = reading.refusal->status;
        check(status == 400 || status == 405 || status == 414, "an unexpected refusal");
        check(status != 405 || head.method != http::verb::get, "GET refused as a method");
        return;
    }
    check(head.method == http::verb::get && head.target.size() <= MaxTargetBytes, "a request let through unchecked");
    if (reading.kind != RequestClass::Enter && reading.kind != RequestClass::Withdraw
        && reading.kind != RequestClass::OwnAddress)
        return;

    static const SharedRoomCatalogue rooms(RoomCatalogue({"lobby"}, true));
    static MemoryRoomStore store(StoreSettings{std::chrono::seconds(1), {2, 4, 8, 8}, 1000});
    static Directory directory(store, rooms);
    const auto caller = addressText(reading.caller);
    bool answered = false;
    directory.answer(reading, caller, networks, [&](Reply reply) {
        answered = true;
        check(reply.status == 200 || reply.status == 429 || reply.status == 503, "an unexpected status");
        check(!hasControlCharacter(reply.body), "a control character in an answer");
        if (reply.status == 200 && reply.body != "NoUser" && reply.body != "NotFound" && reply.body != "OK")
            check(parseAddress(reply.body).has_value(), "a 200 answer that is no address");
        if (reading.kind == RequestClass::Withdraw)
            check(reply.body == "OK", "leaving answered otherwise than OK");
    });
    check(answered, "the in-process store did not answer at once");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char *>(data) + 1, size - 1);
    checkQuery(bytes);

    http::request_parser<http::empty_body> parser;
    parser.header_limit(32 * 1024);
    parser.body_limit(0);
    parser.eager(true);
    boost::system::error_code error;
    parser.put(boost::asio::buffer(bytes.data(), bytes.size()), error);
    if (!error && parser.is_header_done())
        checkRequest(parser, peerFor(data[0]));
    return 0;
}
