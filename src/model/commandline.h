#pragma once
// The start-up command line: empty, a switch that opens the directory list, or an
// address to join at once.

#include <QString>
#include <QStringList>

#include <optional>

namespace tarnivel {

enum class StartAction { None, OpenDirectory, JoinAddress };

// Everything after the program name, as one text (arguments joined with single blanks).
QString commandLineText(const QStringList &arguments);

// The text is compared as a whole and case-sensitively: "/L x" or " /L" is an address.
StartAction classifyCommandLine(const QString &text);

// What to print on standard output when the whole command line is exactly "--version" or
// "--help"; the program then ends before any window or lock. Any other text, "--help x"
// included, keeps its usual meaning (nullopt).
[[nodiscard]] std::optional<QString> terminalAnswer(const QString &text, const QString &version);

} // namespace tarnivel
