#pragma once
// Fuzzed peer lists name any host at all, and the session dials them. Before it runs, a
// session fuzzer moves itself into a network namespace of its own with only the loopback
// interface up: nothing it dials or looks up leaves the process's namespace.

namespace tarnivel::fuzz {

// Exits with a message when the namespace cannot be had (neither root nor user namespaces).
void leaveTheNetwork();

} // namespace tarnivel::fuzz
