#pragma once
// Web addresses in the log are the runs of underlined characters the renderer wrote. A click
// selects the run it falls in and a double click opens it; the run never reaches past its
// line, but a line longer than one block goes on across its continuation blocks.

#include <QUrl>
#include <optional>

class QTextDocument;

namespace tarnivel::logaddress {

struct Run
{
    int start = 0; // document position of the first character
    int end = 0;   // position behind the last one
};

enum class Probe {
    Before,        // a single click: only the character just before the insertion point
    BeforeOrAfter, // a double click, which selects the word the click is in: also the one after
};

// The underlined run holding the character just before `position` (or, with BeforeOrAfter,
// else the one just after it); nothing when that is not underlined.
std::optional<Run> runAt(const QTextDocument &log, int position, Probe probe = Probe::Before);

// The run as an http URL, only when it is one: the renderer underlines "http://" addresses,
// and nothing else may ever be handed to the desktop.
std::optional<QUrl> urlOf(const QTextDocument &log, const Run &run);

} // namespace tarnivel::logaddress
