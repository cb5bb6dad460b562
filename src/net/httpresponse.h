#pragma once
// Reads an HTTP/1.x reply as it arrives, from bytes a server we do not control sent. The
// caller passes everything received so far on each arrival; the answer depends only on
// those bytes, every step is bounded by the caps below, and once a reply is decided
// (complete or malformed) more bytes never change the decision.

#include <QByteArray>
#include <QByteArrayView>

namespace tarnivel {

struct HttpResponseParse
{
    enum class State { Incomplete, Complete, Malformed };
    State state = State::Incomplete;
    int status = 0;  // of the final head, whatever it is, once that head is read
    QByteArray body; // the whole body (cut at MaxHttpBodyBytes) of a complete reply, else empty

    friend bool operator==(const HttpResponseParse &, const HttpResponseParse &) = default;
};

// All heads of a reply, interim (1xx) heads included, end within this many bytes.
inline constexpr qsizetype MaxHttpHeadBytes = 32 * 1024;
// A longer body is cut here: the reply is complete as soon as this much of it has arrived.
inline constexpr qsizetype MaxHttpBodyBytes = 64 * 1024;
// Chunked bodies: the size lines, the line ends after the data and the trailers together.
inline constexpr qsizetype MaxHttpFramingBytes = 32 * 1024;
// A chunk announced as larger than this is no answer from any server we ask.
inline constexpr quint64 MaxHttpChunkBytes = 0xFFFFFFFF;

// Incomplete until the whole body is there (by Content-Length, by chunks, or by the server
// closing), or until MaxHttpBodyBytes of it are. Malformed when the bytes break the reply
// grammar or a cap, or when the server closed before the end.
[[nodiscard]] HttpResponseParse parseHttpResponse(QByteArrayView bytes, bool closed);

} // namespace tarnivel
