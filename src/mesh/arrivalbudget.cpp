#include "mesh/arrivalbudget.h"

#include <algorithm>

namespace tarnivel {

ArrivalBudget::Verdict ArrivalBudget::ungreeted(qint64 bytes, const ArrivalLimits &limits)
{
    m_ungreetedBytes += bytes;
    return m_ungreetedBytes > limits.ungreetedBytes ? Verdict::Over : Verdict::Within;
}

void ArrivalBudget::greet(qint64 nowMs, const ArrivalLimits &limits)
{
    m_greeted = true;
    m_tokens = limits.memberBurstBytes;
    m_lastMs = nowMs;
}

ArrivalBudget::Verdict ArrivalBudget::fromMember(qint64 bytes, qint64 nowMs, const ArrivalLimits &limits)
{
    const qint64 elapsedMs = std::max<qint64>(nowMs - m_lastMs, 0);
    m_lastMs = nowMs;
    m_tokens = std::min(limits.memberBurstBytes, m_tokens + elapsedMs * limits.memberBytesPerSecond / 1000);
    m_tokens -= bytes;
    return m_tokens < 0 ? Verdict::Over : Verdict::Within;
}

} // namespace tarnivel
