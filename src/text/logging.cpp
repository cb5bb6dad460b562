#include "text/logging.h"

namespace tarnivel {

Q_LOGGING_CATEGORY(lcApp, "tarnivel.app", QtWarningMsg)
Q_LOGGING_CATEGORY(lcNet, "tarnivel.net", QtWarningMsg)
Q_LOGGING_CATEGORY(lcMesh, "tarnivel.mesh", QtWarningMsg)
Q_LOGGING_CATEGORY(lcJoin, "tarnivel.join", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDirectory, "tarnivel.directory", QtWarningMsg)
Q_LOGGING_CATEGORY(lcGateway, "tarnivel.gateway", QtWarningMsg)
Q_LOGGING_CATEGORY(lcLan, "tarnivel.lan", QtWarningMsg)

} // namespace tarnivel
