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

std::optional<QString> terminalAnswer(const QString &text, const QString &version)
{
    if (text == u"--version")
        return QStringLiteral("tarnivel %1\n").arg(version);
    if (text == u"--help")
        return QStringLiteral(
            "Usage: tarnivel [ADDRESS | /L]\n"
            "A group chat for up to eleven people with no chat server (たるにべ).\n"
            "\n"
            "  (nothing)   start and wait to be joined\n"
            "  ADDRESS     join at once the chat of the copy at ADDRESS (IP address or host name)\n"
            "  /L          open the directory server list at once (also /l, -L and -l)\n"
            "  --help      print this help and exit\n"
            "  --version   print the version and exit\n"
            "\n"
            "The command line is read as one text: anything else, \"/L x\" included, is an address.\n"
            "\n"
            "Environment:\n"
            "  TARNIVEL_BIND_ADDRESS   IPv4 address every socket binds to; one copy runs per address\n"
            "\n"
            "Ports: 3220/tcp (chat) and 4330/tcp (joining) must be reachable from the other members.\n"
            "More in the manual page: man tarnivel\n");
    return std::nullopt;
}

} // namespace tarnivel
