#pragma once
// The one door tests (and the fuzz targets) have into what the program keeps to itself:
// the session's mesh, to reach its sockets, and its socket settings.

#include "session/session.h"

namespace tarnivel::test {

struct TestAccess
{
    static Mesh &mesh(Session &session) { return session.m_mesh; }
    static SocketContext &socketContext(Session &session) { return session.m_context; }
};

} // namespace tarnivel::test
