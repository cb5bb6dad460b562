#include "offline.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarnivel::fuzz {

namespace {

[[noreturn]] void giveUp(const char *what)
{
    std::fprintf(stderr, "fuzz: %s: %s; refusing to dial fuzzed addresses on a real network\n", what,
                 std::strerror(errno));
    std::exit(2);
}

} // namespace

void leaveTheNetwork()
{
    // As root a new network namespace is enough; otherwise a user namespace grants it.
    if (unshare(CLONE_NEWNET) != 0 && unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0)
        giveUp("cannot create a network namespace");

    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        giveUp("no socket in the new namespace");
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    if (ioctl(fd, SIOCGIFFLAGS, &request) != 0)
        giveUp("cannot read the loopback flags");
    request.ifr_flags |= IFF_UP;
    if (ioctl(fd, SIOCSIFFLAGS, &request) != 0)
        giveUp("cannot bring the loopback interface up");
    close(fd);
}

} // namespace tarnivel::fuzz
