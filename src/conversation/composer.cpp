#include "conversation/composer.h"

#include "conversation/chatdelivery.h"
#include "conversation/chatline.h"
#include "conversation/chatlog.h"
#include "conversation/composerview.h"
#include "model/preferences.h"

#include <QPointer>

namespace tarnivel {

Composer::Composer(ChatDelivery &delivery, ChatLog &log, const Preferences &prefs, ComposerView &view, QObject *parent)
    : QObject(parent)
    , m_delivery(delivery)
    , m_log(log)
    , m_prefs(prefs)
    , m_view(view)
{}

bool Composer::canSend(const QString &text) const
{
    return !text.isEmpty() && !m_log.screenLocked() && m_delivery.inChat();
}

bool Composer::sendToChosen() const
{
    return m_prefs.showPeers && m_view.sendToChosen();
}

void Composer::enterPressed()
{
    if (canSend(m_view.inputText()))
        submit();
}

void Composer::sendClicked()
{
    m_view.focusInput();
    if (canSend(m_view.inputText()))
        submit();
}

void Composer::submit()
{
    const QString text = m_view.inputText();
    const QString &name = m_prefs.myName;
    const bool toChosen = sendToChosen();
    const QString line = toChosen ? chatline::privateLine(name, text) : chatline::publicLine(name, text);
    // Cleared before anything is written, so a second Enter cannot repeat the line.
    m_view.clearInput();
    // The own line is shown once it has gone out, after any line sent before it.
    const QPointer<Composer> self(this);
    if (!toChosen) {
        m_delivery.sendToAll(line, [self, line] {
            if (self)
                self->m_log.addLog(line);
        });
        return;
    }
    // Even a line that reaches nobody waits its turn, so the log keeps the order of sending.
    m_delivery.sendTo(m_view.tickedMembers(), line, [self, line](const QStringList &reached) {
        if (!self)
            return;
        // The "To" line names those it reached and stands before the own line.
        if (!reached.isEmpty()) {
            QString echo = QStringLiteral("To");
            for (const QString &member : reached)
                echo += QStringLiteral(" : ") + member;
            self->m_log.appendEmphasised(echo + QStringLiteral("\r\n"));
        }
        self->m_log.addLog(line);
    });
}

void Composer::memberClicked(int row)
{
    m_view.focusInput();
    showMemberAddress(row);
}

void Composer::showMemberAddress(int row)
{
    const std::optional<MemberId> member = m_view.memberAtRow(row);
    if (!member)
        return;
    if (const std::optional<QString> address = m_delivery.memberAddress(*member))
        m_view.setShownAddress(*address);
}

} // namespace tarnivel
