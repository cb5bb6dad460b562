#pragma once
// Diagnostics for field problems, quiet by default. Switch them on with, for example,
// QT_LOGGING_RULES="tarnivel.*.debug=true".

#include <QLoggingCategory>

namespace tarnivel {

Q_DECLARE_LOGGING_CATEGORY(lcMesh)      // tarnivel.mesh: chat connections and their bytes
Q_DECLARE_LOGGING_CATEGORY(lcJoin)      // tarnivel.join: the join port conversation
Q_DECLARE_LOGGING_CATEGORY(lcDirectory) // tarnivel.directory: room and address-server requests
Q_DECLARE_LOGGING_CATEGORY(lcGateway)   // tarnivel.gateway: port mapping on the home router
Q_DECLARE_LOGGING_CATEGORY(lcLan)       // tarnivel.lan: finding and being found through Avahi

} // namespace tarnivel
