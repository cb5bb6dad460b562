#include "conversation/chatline.h"

namespace tarnivel::chatline {

namespace {
const QString CrLf = QStringLiteral("\r\n");
}

QString publicLine(const QString &myName, const QString &text)
{
    return myName + QStringLiteral("> ") + text + CrLf;
}

QString privateLine(const QString &myName, const QString &text)
{
    return PrivateMark + myName + QStringLiteral("（秘）: ") + text + CrLf;
}

bool stripPrivateMarks(QString &text)
{
    const qsizetype before = text.size();
    text.remove(PrivateMark);
    return text.size() != before;
}

} // namespace tarnivel::chatline
