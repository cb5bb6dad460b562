#pragma once
// The surfaces that show the user's log font and colours, and how each takes them. The log
// view (txtWin) and the held document (txtLock, lines kept back while the log is locked) are
// rich text: colour and font belong to their insertion points and to each stretch of text,
// the background to the whole box. The input box and both member lists take one text colour
// and one background each, and keep their own fonts.

#include "model/preferences.h"

#include <QObject>
#include <QString>
#include <QTextCursor>
#include <optional>

class QLineEdit;
class QListWidget;
class QTextDocument;
class QTextEdit;

namespace tarnivel {

struct LogFontChoice
{
    QString family;         // empty: not known
    double pointSize = 0.0; // 0: not known
};

class LogAppearance : public QObject
{
    Q_OBJECT
public:
    LogAppearance(QTextEdit &log, QTextDocument &held, QLineEdit &input, QListWidget &plainList, QListWidget &tickList,
                  QObject *parent = nullptr);

    // What loading the settings applies. The held box keeps the desktop background and no
    // colour of its own until the colour command sets them.
    void applyLoaded(const Preferences &prefs);

    // The face and size at the end of the log; the insertion point moves there first.
    LogFontChoice fontAtLogEnd();
    // The text colour at the end of the log (moving there first; nullopt when nothing there
    // names a colour, as in an emptied log), and the log's background.
    std::optional<qint32> colorAtLogEnd();
    qint32 logBackground() const { return m_background; }

    // Face and size at both insertion points; the held one is not moved first.
    void setInsertionFont(const LogFontChoice &font);
    // The colours on every surface, in this order: log insertion point, log background, held
    // insertion point, held background, input box, plain list, ticked list.
    void applyColours(qint32 text, qint32 background);
    // The desktop's palette changed: desktop colours (0x800000nn) are looked up again.
    void followDesktopPalette();

    // The held document's insertion point (nothing shows it until the log is unlocked).
    const QTextCursor &heldInsertion() const { return m_heldInsertion; }

private:
    void moveLogInsertionToEnd();
    void mergeIntoLogInsertion(const QTextCharFormat &format);
    void paintLogBackground();
    void paintHeldBackground();
    void paintControls();

    QTextEdit &m_log;
    QTextDocument &m_held;
    QLineEdit &m_input;
    QListWidget &m_plainList;
    QListWidget &m_tickList;
    QTextCursor m_heldInsertion;
    qint32 m_text = SystemWindowTextColor;
    qint32 m_background = SystemWindowColor;
    std::optional<qint32> m_heldBackground;
};

} // namespace tarnivel
