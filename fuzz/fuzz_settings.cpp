// The settings file as it may lie on disk: any bytes are read (code page 932), and whatever
// was read is written and read back to the same settings.

#include "fuzzcheck.h"
#include "model/settingsfile.h"
#include "text/codepage932.h"

using namespace tarnivel;

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

// A text item as the file can keep it: code page 932, no line breaks, and no double quote
// where the item has to be quoted.
QString kept(const QString &text)
{
    QString stored = cp932::decode(cp932::encode(text));
    stored.replace(u'\r', u' ').replace(u'\n', u' ');
    const bool quoted = stored.contains(u',')
        || (!stored.isEmpty() && (isBlank(stored.front()) || isBlank(stored.back()) || stored.front() == u'"'));
    if (quoted)
        stored.replace(u'"', u'\'');
    return stored;
}

void checkSameSettings(const SettingsRead &was, const SettingsRead &now)
{
    const Preferences &a = was.preferences;
    const Preferences &b = now.preferences;
    check(b.myName == kept(a.myName), "name");
    check(b.textColor == a.textColor && b.backgroundColor == a.backgroundColor, "colours");
    check(b.logFontName == kept(a.logFontName) && b.logFontSize == a.logFontSize, "font");
    // The window edges are applied as single precision; that value is what is written.
    check(now.left == was.left && now.top == was.top, "window position");
    check(b.windowWidth == a.windowWidth && b.windowHeight == a.windowHeight, "window size");
    check(b.windowState == a.windowState, "window state");
    check(b.connectAddress == kept(a.connectAddress), "connect address");
    check(b.connectSound == a.connectSound && b.messageSound == a.messageSound && b.alwaysOnTop == a.alwaysOnTop,
          "switches");
    check(b.quickServer == kept(a.quickServer) && b.addressServer == kept(a.addressServer), "servers");
    check(b.showPeers == a.showPeers, "peer column");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const std::optional<SettingsRead> read = parseSettings(cp932::decode(bytes));
    if (!read)
        return 0;
    const std::optional<SettingsRead> again =
        parseSettings(cp932::decode(serializeSettings(read->preferences, read->left, read->top)));
    check(again.has_value(), "written settings do not read back");
    checkSameSettings(*read, *again);
    // Once written, a second round changes nothing at all (the stored edges included).
    const std::optional<SettingsRead> third =
        parseSettings(cp932::decode(serializeSettings(again->preferences, again->left, again->top)));
    check(third && third->preferences.windowLeft == again->preferences.windowLeft
              && third->preferences.windowTop == again->preferences.windowTop,
          "stored window edges drift");
    checkSameSettings(*again, *third);
    return 0;
}
