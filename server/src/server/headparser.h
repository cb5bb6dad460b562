#pragma once

#include "requestreading.h"

#include <boost/beast/http/basic_parser.hpp>

#include <cstddef>
#include <string>

namespace tarnivel::dirserver {

// Reads a request head with Beast's parser and keeps only what the server uses: the request
// line and the first X-Forwarded-For, in strings the connection keeps from one request to
// the next, so that reading a request allocates nothing once they are long enough (Beast's
// own request parser makes a node for every field). A request with a body is refused.
class HeadParser final : public boost::beast::http::basic_parser<true>
{
public:
    // What the head says goes into these, which must outlive the parser.
    struct Kept
    {
        std::string method;
        std::string target;
        std::string forwardedFor;
    };

    HeadParser(Kept &kept, std::size_t headLimit);

    // Once the head is done.
    [[nodiscard]] RequestHead head() const;
    [[nodiscard]] unsigned version() const { return httpVersion; }
    [[nodiscard]] bool requestLineRead() const { return requestLineDone; }

private:
    using error_code = boost::beast::error_code;
    using string_view = boost::beast::string_view;

    void on_request_impl(boost::beast::http::verb verb, string_view methodText, string_view targetText,
                         int versionNumber, error_code &error) override;
    void on_response_impl(int, string_view, int, error_code &) override {}
    void on_field_impl(boost::beast::http::field name, string_view nameText, string_view value,
                       error_code &error) override;
    void on_header_impl(error_code &) override {}
    void on_body_init_impl(const boost::optional<std::uint64_t> &, error_code &) override {}
    std::size_t on_body_impl(string_view, error_code &error) override;
    void on_chunk_header_impl(std::uint64_t, string_view, error_code &error) override;
    std::size_t on_chunk_body_impl(std::uint64_t, string_view, error_code &error) override;
    void on_finish_impl(error_code &) override {}

    Kept &kept;
    boost::beast::http::verb method = boost::beast::http::verb::unknown;
    unsigned httpVersion = 11;
    std::size_t forwardedForFields = 0;
    bool requestLineDone = false;
};

} // namespace tarnivel::dirserver
