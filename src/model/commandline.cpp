#include "model/commandline.h"

namespace tarnivel {

QString commandLineText(const QStringList &arguments)
{
    return arguments.mid(1).join(u' ');
}

StartAction classifyCommandLine(const QString &text)
{
    if (text.isEmpty())
        return StartAction::None;
    if (text == u"/l" || text == u"/L" || text == u"-l" || text == u"-L")
        return StartAction::OpenDirectory;
    return StartAction::JoinAddress;
}

} // namespace tarnivel
