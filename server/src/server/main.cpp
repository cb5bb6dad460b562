// tarnivel-directory: tells copies of the program who waits in a chat room, and what their
// own address is. See README.md, "Directory server".
#include "notice.h"
#include "options.h"
#include "server.h"

#include <csignal>
#include <cstdio>
#include <exception>

using namespace tarnivel::dirserver;

int main(int argc, char **argv)
{
    const auto parsed = parseOptions(argc, argv);
    if (parsed.outcome == ParseOutcome::ShowedHelp || parsed.outcome == ParseOutcome::ShowedVersion) {
        std::fputs(parsed.message.c_str(), stdout);
        return 0;
    }
    if (parsed.outcome == ParseOutcome::Failed) {
        notice(parsed.message + " (see --help)");
        return 2;
    }
    // A Redis server or client gone away must not kill us on the next write.
    std::signal(SIGPIPE, SIG_IGN);
    const OptionsReader readAgain = [argc, argv](std::string &problem) -> std::optional<ServerOptions> {
        auto again = parseOptions(argc, argv);
        if (again.outcome != ParseOutcome::Run) {
            problem = again.message;
            return std::nullopt;
        }
        return std::move(again.options);
    };
    try {
        return runServer(parsed.options, readAgain);
    } catch (const std::exception &failure) {
        notice(failure.what());
        return 1;
    }
}
