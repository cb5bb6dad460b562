#include "platform/programfolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace tarnivel {

namespace {

// Asking the file system is the only reliable test (read-only mounts, ACLs, root).
bool canCreateFilesIn(const QString &folder)
{
    if (folder.isEmpty() || !QDir(folder).exists())
        return false;
    QTemporaryFile probe(programFile(folder, QStringLiteral(".tarnivel-probe-XXXXXX")));
    return probe.open();
}

} // namespace

QString programFolderFor(const QString &executableFolder)
{
    if (canCreateFilesIn(executableFolder))
        return executableFolder;
    const QString userFolder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(userFolder);
    return userFolder;
}

QString programFolder()
{
    return programFolderFor(QCoreApplication::applicationDirPath());
}

QString programFile(const QString &folder, const QString &name)
{
    if (folder.endsWith(u'/'))
        return folder + name;
    return folder + u'/' + name;
}

} // namespace tarnivel
