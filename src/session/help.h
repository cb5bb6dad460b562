#pragma once
// The help command: a "tarnivel.chm" carried over from an older copy is opened first, from
// the program folder (the per-user one for an installed copy) or else the shipped folder;
// otherwise the help shipped with the program. All go to the desktop's default handler.
// When none opens, the log says so, without the message sound: nobody sent anything.

#include <QString>

namespace tarnivel {

class ChatLog;
class UrlOpener;

namespace help {

inline QString oldHelpFileName()
{
    return QStringLiteral("tarnivel.chm");
}
inline QString helpFileName()
{
    return QStringLiteral("tarnivel-help.html");
}

// Not among the classic lines: the desktop could open no help file.
QString cannotOpenLine(const QString &path);

// Returns whether a help file was opened.
bool open(const QString &programFolder, const QString &shippedFolder, UrlOpener &opener, ChatLog &log);

} // namespace help
} // namespace tarnivel
