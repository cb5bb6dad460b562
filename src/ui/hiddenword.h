#pragma once
// The About box's hidden word: holding a mouse button on the icon and typing t, a, r, n
// (either case) in that one hold completes it. A wrong letter (or a control character such
// as Backspace), a letter out of turn (a repeated one included) or letting go of the button
// starts the word over; once complete,
// further letters change nothing until the word is reset.

#include <QChar>

namespace tarnivel {

class HiddenWord
{
public:
    static constexpr int Complete = -1;

    void press() { m_held = true; }
    void release();
    // Returns true when this letter completes the word.
    bool type(QChar letter);
    void reset() { m_state = 0; }

    bool held() const { return m_held; }
    // 0 to 3: letters typed so far; Complete once the word is done.
    int state() const { return m_state; }

private:
    bool m_held = false;
    int m_state = 0;
};

} // namespace tarnivel
