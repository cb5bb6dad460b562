#include "mesh/meshcontext.h"

#include "app/connectionstatus.h"
#include "app/preferences.h"
#include "conversation/chatlog.h"
#include "mesh/statuslines.h"
#include "platform/sound.h"

namespace tarnivel {

void MeshContext::announceConnected(const QString &name)
{
    const bool messageSound = prefs.messageSound;
    prefs.messageSound = false;
    log.addLog(statusline::connected(name));
    prefs.messageSound = messageSound;
    if (prefs.connectSound)
        sound.play(connectSoundPath);
}

void MeshContext::resetIfNobodyLeft()
{
    if (status.connectionCount() != 0)
        return;
    status.resetConnections();
    status.listenAgain();
}

} // namespace tarnivel
