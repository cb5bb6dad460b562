#pragma once
// The program's start: one copy per bind address, the splash on top, the optional wait for
// an address on the command line, then the main window until it closes.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace tarnivel {

int runProgram(int argc, char *argv[]);

// How long the splash stays up, blocking, before the main window loads: an address to join
// waits 2 s; no command line or a switch does not wait.
int splashWaitMs(const QString &commandLine);

// The window system asked of Qt, unless the user chose one (QT_QPA_PLATFORM, given here, or
// -platform): X11 first, through XWayland on a Wayland desktop, where a window can neither
// keep itself above the others nor be put where the settings place it; Wayland when X11
// cannot be had.
std::optional<QByteArray> preferredPlatform(const QByteArray &chosenPlatform, const QStringList &arguments);

// The Windows font names of the settings file resolve to the IPA fonts even where the
// fontconfig alias is not installed.
void addJapaneseFontSubstitutes();

// Qt's own texts (the font and colour choosers, standard buttons) in Japanese like the rest;
// says so on stderr when the translations are not installed.
void loadQtJapaneseTranslations();

} // namespace tarnivel
