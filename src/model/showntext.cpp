#include "model/showntext.h"

namespace tarnivel {

namespace {

bool reordersOrBreaks(char16_t c)
{
    return (c >= 0x80 && c <= 0x9F)                  // C1 controls (NEL breaks a line)
        || c == 0x061C || c == 0x200E || c == 0x200F // direction marks
        || c == 0x2028 || c == 0x2029                // line and paragraph separators
        || (c >= 0x202A && c <= 0x202E)              // embeddings and overrides
        || (c >= 0x2066 && c <= 0x2069);             // isolates
}

} // namespace

QString shownText(QString text)
{
    for (QChar &c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20)
            c = QChar(char16_t(0x2400 + u)); // ␀ .. ␟
        else if (u == 0x7F)
            c = QChar(char16_t(0x2421)); // ␡
        else if (reordersOrBreaks(u))
            c = QChar(char16_t(0xFFFD));
    }
    return text;
}

} // namespace tarnivel
