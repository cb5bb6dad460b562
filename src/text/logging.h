#pragma once
// Every diagnostic goes through one of these categories. Warnings and worse are on by default
// and reach standard error (a failure that matters); the rest is quiet until switched on, for
// example with QT_LOGGING_RULES="tarnivel.*.debug=true".

#include <QLoggingCategory>

namespace tarnivel {

Q_DECLARE_LOGGING_CATEGORY(lcApp)       // tarnivel.app: start-up, files the program writes, the desktop
Q_DECLARE_LOGGING_CATEGORY(lcNet)       // tarnivel.net: the socket layer below the chat
Q_DECLARE_LOGGING_CATEGORY(lcMesh)      // tarnivel.mesh: chat connections and their bytes
Q_DECLARE_LOGGING_CATEGORY(lcJoin)      // tarnivel.join: the join port conversation
Q_DECLARE_LOGGING_CATEGORY(lcDirectory) // tarnivel.directory: room and address-server requests
Q_DECLARE_LOGGING_CATEGORY(lcGateway)   // tarnivel.gateway: port mapping on the home router
Q_DECLARE_LOGGING_CATEGORY(lcLan)       // tarnivel.lan: finding and being found through Avahi

} // namespace tarnivel
