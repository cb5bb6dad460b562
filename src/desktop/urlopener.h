#pragma once
// Handing an address or a document to the desktop's default handler (browser, help viewer).
// Behind an interface so that tests can see what would be opened.

#include <QUrl>

namespace tarnivel {

class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    // False when the desktop could not open it.
    [[nodiscard]] virtual bool open(const QUrl &url) = 0;
};

// QDesktopServices: never through a shell.
class DesktopUrlOpener : public UrlOpener
{
public:
    bool open(const QUrl &url) override;
};

} // namespace tarnivel
