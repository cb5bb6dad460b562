#pragma once
// What one chat connection may make the copy read. Until it greets, nothing it sends is
// shown: it is counted and dropped, and past `ungreetedBytes` the connection is closed.
// A member draws on a bucket that holds `memberBurstBytes` and refills at
// `memberBytesPerSecond`; one that empties it is cut off. Typed lines (at most 500
// characters each) and pastes come nowhere near either; a member's burst of 10 MB still
// passes whole. At the sustained rate, even text that is all line breaks (the costliest to
// show) leaves most of the time to the user.

#include <QtGlobal>

namespace tarnivel {

struct ArrivalLimits
{
    qint64 ungreetedBytes = 4 * 1024;
    qint64 memberBurstBytes = 16 * 1024 * 1024;
    qint64 memberBytesPerSecond = 64 * 1024;
};

class ArrivalBudget
{
public:
    enum class Verdict { Within, Over };

    bool greeted() const { return m_greeted; }
    // Bytes that came before the greeting, which are dropped unread.
    [[nodiscard]] Verdict ungreeted(qint64 bytes, const ArrivalLimits &limits);
    // The greeting came at nowMs: the member starts with a full bucket.
    void greet(qint64 nowMs, const ArrivalLimits &limits);
    // Bytes from the member at nowMs (a monotonic clock in milliseconds).
    [[nodiscard]] Verdict fromMember(qint64 bytes, qint64 nowMs, const ArrivalLimits &limits);

private:
    bool m_greeted = false;
    qint64 m_ungreetedBytes = 0;
    qint64 m_tokens = 0;
    qint64 m_lastMs = 0;
};

} // namespace tarnivel
