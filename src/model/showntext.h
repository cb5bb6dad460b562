#pragma once
// Text from outside (a peer's name, a router's or a server's answer) as lists, status lines
// and titles show it: one line, read in the order it was sent. Control characters (a CR or LF
// would start what looks like a line of the program's own) become the visible symbols for
// them, and characters that reorder or break the text (direction overrides and isolates,
// line and paragraph separators) become U+FFFD. Every character keeps its place, so the
// length stays the same. Where a name is compared, it is compared as sent.

#include <QString>

namespace tarnivel {

QString shownText(QString text);

} // namespace tarnivel
