#pragma once
// The program's start: one copy per bind address, the splash on top, the optional wait for
// an address on the command line, then the main window until it closes.

#include <QString>

namespace tarnivel {

int runProgram(int argc, char *argv[]);

// How long the splash stays up, blocking, before the main window loads: an address to join
// waits 2 s; no command line or a switch does not wait.
int splashWaitMs(const QString &commandLine);

// The Windows font names of the settings file resolve to the IPA fonts even where the
// fontconfig alias is not installed.
void addJapaneseFontSubstitutes();

// Qt's own texts (the font and colour choosers, standard buttons) in Japanese like the rest;
// says so on stderr when the translations are not installed.
void loadQtJapaneseTranslations();

} // namespace tarnivel
