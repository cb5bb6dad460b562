#pragma once
// The help command: a "tarnivel.chm" carried over into the program's folder from an older copy
// is opened first; otherwise the help shipped beside the executable. Both go to the desktop's
// default handler. When neither opens, the log says so.

#include <QString>

namespace tarnivel {

class ChatLog;
class UrlOpener;

namespace help {

inline QString oldHelpFileName() { return QStringLiteral("tarnivel.chm"); }
inline QString helpFileName() { return QStringLiteral("tarnivel-help.html"); }

// Not among the classic lines: the desktop could open no help file.
QString cannotOpenLine(const QString &path);

// shippedFolder: the executable's folder. Returns whether a help file was opened.
bool open(const QString &shippedFolder, UrlOpener &opener, ChatLog &log);

} // namespace help
} // namespace tarnivel
