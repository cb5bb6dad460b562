#include "ui/hiddenword.h"

namespace tarnivel {

namespace {
constexpr char16_t Word[] = u"tarn";
} // namespace

void HiddenWord::release()
{
    m_held = false;
    if (m_state != Complete)
        m_state = 0;
}

bool HiddenWord::type(QChar letter)
{
    if (!m_held || m_state == Complete)
        return false;
    if (letter.toLower() != QChar(Word[m_state])) {
        m_state = 0;
        return false;
    }
    m_state = m_state == 3 ? Complete : m_state + 1;
    return m_state == Complete;
}

} // namespace tarnivel
