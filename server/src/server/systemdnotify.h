#pragma once

#include <string_view>

namespace tarnivel::dirserver {

// Tells systemd (Type=notify) how the service stands: "READY=1", "RELOADING=1", "STOPPING=1",
// "STATUS=...". Does nothing when not started by systemd (no NOTIFY_SOCKET).
void notifySystemd(std::string_view state);

} // namespace tarnivel::dirserver
