#pragma once
// Whether a text has the form of a dotted IPv4 address.

#include <QString>

namespace tarnivel {

// Three full stops, each part before them a number from 0 to 255, and the rest after the
// third also a number from 0 to 255. A part reads as a number when it is plain decimal
// notation (optional sign, digits, optional fraction) with optional blanks (spaces, tabs)
// around it. Everything after the third full stop is one part, so "1.2.3.4.5" passes
// (its last part is 4.5). A line break is not a blank: "1.2.3.4\n" fails.
bool isDottedAddress(const QString &text);

} // namespace tarnivel
