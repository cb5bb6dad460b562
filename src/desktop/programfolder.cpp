#include "desktop/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace tarnivel {

namespace {

// A folder holds the shipped files when it holds the connection sound.
const QString ShippedMarker = QStringLiteral("connect.wav");

bool holdsShippedFiles(const QString &folder)
{
    return !folder.isEmpty() && QFileInfo(programFile(folder, ShippedMarker)).isFile();
}

// An installed copy: its own folder lacks the shipped files, the prefix's share folder has them.
bool isInstalledCopy(const QString &executableFolder)
{
    return !holdsShippedFiles(executableFolder) && holdsShippedFiles(installedShareFolderFor(executableFolder));
}

// Asking the file system is the only reliable test (read-only mounts, ACLs, root).
bool canCreateFilesIn(const QString &folder)
{
    if (folder.isEmpty() || !QDir(folder).exists())
        return false;
    QTemporaryFile probe(programFile(folder, QStringLiteral(".tarnivel-probe-XXXXXX")));
    return probe.open();
}

QString userDataFolder()
{
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(userFolder);
    return userFolder;
}

} // namespace

QString installedShareFolderFor(const QString &executableFolder)
{
    if (executableFolder.isEmpty())
        return QString();
    return QDir::cleanPath(executableFolder + QStringLiteral("/../share/tarnivel"));
}

QString programFolderFor(const QString &executableFolder)
{
    if (!isInstalledCopy(executableFolder) && canCreateFilesIn(executableFolder))
        return executableFolder;
    return userDataFolder();
}

QString shippedFolderFor(const QString &executableFolder)
{
    return isInstalledCopy(executableFolder) ? installedShareFolderFor(executableFolder) : executableFolder;
}

QString programFolder()
{
    return programFolderFor(QCoreApplication::applicationDirPath());
}

QString shippedFolder()
{
    return shippedFolderFor(QCoreApplication::applicationDirPath());
}

QString programFile(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

} // namespace tarnivel
