#pragma once
// What the chat needs from the directory-room exchange: whether this copy waits in a room,
// re-asking the room when a member leaves, and giving the room up.

#include <QString>

namespace tarnivel {

class RoomHooks
{
public:
    virtual ~RoomHooks() = default;
    virtual bool waiting() const = 0;
    virtual void pollRoom() = 0;
    virtual void quitWaiting() = 0;
    // Title suffix while waiting, e.g. " [entryで待機]"; empty otherwise.
    virtual QString waitTitle() const = 0;
};

// Until directory rooms exist, a copy never waits in one.
class NoRoom final : public RoomHooks
{
public:
    bool waiting() const override { return false; }
    void pollRoom() override {}
    void quitWaiting() override {}
    QString waitTitle() const override { return {}; }
};

} // namespace tarnivel
