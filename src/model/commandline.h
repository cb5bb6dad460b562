#pragma once
// The start-up command line: empty, a switch that opens the directory list, or an
// address to join at once.

#include <QString>
#include <QStringList>

namespace tarnivel {

enum class StartAction { None, OpenDirectory, JoinAddress };

// Everything after the program name, as one text (arguments joined with single blanks).
QString commandLineText(const QStringList &arguments);

// The text is compared as a whole and case-sensitively: "/L x" or " /L" is an address.
StartAction classifyCommandLine(const QString &text);

} // namespace tarnivel
