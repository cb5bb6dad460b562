#include "systemdnotify.h"

#include <string>

#if TARNIVEL_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace tarnivel::dirserver {

void notifySystemd(std::string_view state)
{
#if TARNIVEL_HAVE_SYSTEMD
    sd_notify(0, std::string(state).c_str());
#else
    (void)state;
#endif
}

} // namespace tarnivel::dirserver
