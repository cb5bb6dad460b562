#pragma once
// Where the program keeps its files: the settings file and directory entries (the program
// folder), and the sounds and help it ships with (the shipped folder).
//
// A copy run from a folder that holds its shipped files (the build folder, a copy unpacked
// anywhere) keeps everything beside the executable, as long as it may write there. A copy
// installed under a prefix (`cmake --install`: <prefix>/bin/tarnivel and
// <prefix>/share/tarnivel) reads its shipped files from <prefix>/share/tarnivel and keeps
// its settings in the per-user data folder, never in <prefix>/bin.

#include <QString>

namespace tarnivel {

// The program folder of this copy.
QString programFolder();
// The shipped folder of this copy.
QString shippedFolder();

// The same choices for a given executable folder.
QString programFolderFor(const QString &executableFolder);
QString shippedFolderFor(const QString &executableFolder);

// <prefix>/share/tarnivel for an executable folder <prefix>/bin.
QString installedShareFolderFor(const QString &executableFolder);

QString programFile(const QString &folder, const QString &name);

} // namespace tarnivel
