#include "headparser.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>

namespace tarnivel::dirserver {

namespace http = boost::beast::http;

HeadParser::HeadParser(Kept &kept, std::size_t headLimit) : kept(kept)
{
    header_limit(std::uint32_t(headLimit));
    body_limit(0);
    kept.method.clear();
    kept.target.clear();
    kept.forwardedFor.clear();
}

RequestHead HeadParser::head() const
{
    RequestHead head;
    head.method = method;
    head.target = kept.target;
    head.forwardedForFields = forwardedForFields;
    head.forwardedFor = kept.forwardedFor;
    return head;
}

void HeadParser::on_request_impl(http::verb verb, string_view methodText, string_view targetText, int versionNumber,
                                 error_code &)
{
    method = verb;
    kept.method.assign(methodText.data(), methodText.size());
    kept.target.assign(targetText.data(), targetText.size());
    httpVersion = unsigned(versionNumber);
    requestLineDone = true;
}

void HeadParser::on_field_impl(http::field, string_view nameText, string_view value, error_code &)
{
    // Only the first is kept: a second one is refused anyway (readRequest).
    if (!boost::beast::iequals(nameText, "X-Forwarded-For"))
        return;
    if (forwardedForFields++ == 0)
        kept.forwardedFor.assign(value.data(), value.size());
}

std::size_t HeadParser::on_body_impl(string_view, error_code &error)
{
    error = http::error::unexpected_body;
    return 0;
}

void HeadParser::on_chunk_header_impl(std::uint64_t, string_view, error_code &error)
{
    error = http::error::unexpected_body;
}

std::size_t HeadParser::on_chunk_body_impl(std::uint64_t, string_view, error_code &error)
{
    error = http::error::unexpected_body;
    return 0;
}

} // namespace tarnivel::dirserver
