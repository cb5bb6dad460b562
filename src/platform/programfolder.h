#pragma once
// Where the program keeps its files: the settings file, directory entries, sounds.

#include <QString>

namespace tarnivel {

// The folder that holds the executable when files can be created there; otherwise
// the per-user data folder (created on demand).
QString programFolder();

// The same choice for a given executable folder.
QString programFolderFor(const QString &executableFolder);

QString programFile(const QString &folder, const QString &name);

} // namespace tarnivel
