#pragma once
// Web addresses in the log are the runs of underlined characters the renderer wrote. A click
// selects the run it falls in and a double click opens it; the run never reaches past its line.

#include <QUrl>
#include <optional>

class QTextDocument;

namespace tarnivel::logaddress {

struct Run
{
    int start = 0; // document position of the first character
    int end = 0;   // position behind the last one
};

// The underlined run holding the character just before `position`, or else the one just
// after it (a click on the left half of the first letter); nothing when neither is underlined.
std::optional<Run> runAt(const QTextDocument &log, int position);

// The run as an http URL, only when it is one: the renderer underlines "http://" addresses,
// and nothing else may ever be handed to the desktop.
std::optional<QUrl> urlOf(const QTextDocument &log, const Run &run);

} // namespace tarnivel::logaddress
