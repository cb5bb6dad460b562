#include "ui/logappearance.h"

#include "model/colorvalue.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextFrame>

namespace tarnivel {

namespace {

QTextCharFormat fontFormat(const LogFontChoice &font)
{
    QTextCharFormat format;
    format.setFontFamilies(QStringList{font.family});
    if (font.pointSize > 0)
        format.setFontPointSize(font.pointSize);
    return format;
}

QTextCharFormat colorFormat(qint32 value)
{
    QTextCharFormat format;
    applyColorValue(format, value, QGuiApplication::palette());
    return format;
}

} // namespace

LogAppearance::LogAppearance(QTextEdit &log, QTextDocument &held, QLineEdit &input, QListWidget &plainList,
                             QListWidget &tickList, QObject *parent)
    : QObject(parent)
    , m_log(log)
    , m_held(held)
    , m_input(input)
    , m_plainList(plainList)
    , m_tickList(tickList)
    , m_heldInsertion(&held)
{
    setObjectName(QStringLiteral("logAppearance"));
}

void LogAppearance::moveLogInsertionToEnd()
{
    // Only when not there already: a move forgets the format set at the insertion point.
    QTextCursor cursor = m_log.textCursor();
    if (cursor.atEnd() && !cursor.hasSelection())
        return;
    cursor.movePosition(QTextCursor::End);
    m_log.setTextCursor(cursor);
}

void LogAppearance::mergeIntoLogInsertion(const QTextCharFormat &format)
{
    // Text appended at the end moves the view's cursor along and drops this format again.
    QTextCursor cursor = m_log.textCursor();
    cursor.mergeCharFormat(format);
    m_log.setTextCursor(cursor);
}

void LogAppearance::applyLoaded(const Preferences &prefs)
{
    const LogFontChoice font{prefs.logFontName, double(prefs.logFontSize)};
    moveLogInsertionToEnd();
    QTextCharFormat logFormat = colorFormat(prefs.textColor);
    logFormat.merge(fontFormat(font));
    mergeIntoLogInsertion(logFormat);
    m_heldInsertion.mergeCharFormat(fontFormat(font));
    m_text = prefs.textColor;
    m_background = prefs.backgroundColor;
    paintLogBackground();
    paintControls();
}

LogFontChoice LogAppearance::fontAtLogEnd()
{
    moveLogInsertionToEnd();
    const QTextCharFormat format = m_log.textCursor().charFormat();
    const QStringList families = format.fontFamilies().toStringList();
    return {families.value(0), format.fontPointSize()};
}

std::optional<qint32> LogAppearance::colorAtLogEnd()
{
    moveLogInsertionToEnd();
    return colorValueOf(m_log.textCursor().charFormat());
}

void LogAppearance::setInsertionFont(const LogFontChoice &font)
{
    mergeIntoLogInsertion(fontFormat(font));
    m_heldInsertion.mergeCharFormat(fontFormat(font));
}

void LogAppearance::applyColours(qint32 text, qint32 background)
{
    m_text = text;
    m_background = background;
    mergeIntoLogInsertion(colorFormat(text));
    paintLogBackground();
    m_heldInsertion.mergeCharFormat(colorFormat(text));
    m_heldBackground = background;
    paintHeldBackground();
    paintControls();
}

void LogAppearance::followDesktopPalette()
{
    paintLogBackground();
    paintHeldBackground();
    paintControls();
}

void LogAppearance::paintLogBackground()
{
    const QPalette desktop = QGuiApplication::palette();
    // Log text carries its own colour per character (the desktop text colour: none, so it
    // follows the palette): a new text colour must not recolour older lines.
    QPalette pal = desktop;
    pal.setColor(QPalette::Base, resolveColorValue(m_background, desktop));
    m_log.setPalette(pal);
}

void LogAppearance::paintHeldBackground()
{
    if (!m_heldBackground)
        return;
    QTextFrameFormat frame = m_held.rootFrame()->frameFormat();
    frame.setBackground(resolveColorValue(*m_heldBackground, QGuiApplication::palette()));
    m_held.rootFrame()->setFrameFormat(frame);
}

void LogAppearance::paintControls()
{
    const QPalette desktop = QGuiApplication::palette();
    QPalette pal = desktop;
    pal.setColor(QPalette::Base, resolveColorValue(m_background, desktop));
    pal.setColor(QPalette::Text, resolveColorValue(m_text, desktop));
    for (QWidget *w : std::initializer_list<QWidget *>{&m_input, &m_plainList, &m_tickList})
        w->setPalette(pal);
}

} // namespace tarnivel
