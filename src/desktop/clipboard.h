#pragma once
// The system clipboard, behind an interface so that copy commands can be tested.

#include <QString>

namespace tarnivel {

class Clipboard
{
public:
    virtual ~Clipboard() = default;
    // Empties the clipboard of every format.
    virtual void clear() {}
    // Puts text on the clipboard.
    virtual void setText(const QString &text) = 0;
};

// QGuiApplication's clipboard; needs a running QGuiApplication.
class SystemClipboard : public Clipboard
{
public:
    void clear() override;
    void setText(const QString &text) override;
};

} // namespace tarnivel
