#pragma once
// Turning what the user typed into a chat line, writing it to everyone or to the ticked
// members, and echoing it in the own log once it has gone out (a private line that reached
// anyone after the "To" line naming them). Also the member click.

#include <QObject>
#include <QString>

namespace tarnivel {

class ChatDelivery;
class ChatLog;
class ComposerView;
struct Preferences;

class Composer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxInputLength = 500;

    Composer(ChatDelivery &delivery, ChatLog &log, const Preferences &prefs, ComposerView &view,
             QObject *parent = nullptr);

    // Enter in the input box.
    void enterPressed();
    // The send button.
    void sendClicked();

    // A row of either member list was clicked: show that member's address.
    void memberClicked(int row);
    // The current row of a member list moved (the keyboard): show its member's address.
    void showMemberAddress(int row);

private:
    bool canSend(const QString &text) const;
    bool sendToChosen() const;
    void submit();

    ChatDelivery &m_delivery;
    ChatLog &m_log;
    const Preferences &m_prefs;
    ComposerView &m_view;
};

} // namespace tarnivel
