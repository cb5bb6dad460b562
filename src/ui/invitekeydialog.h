#pragma once
// 設定 → 招待キー…: shows whether this copy has an invite key and its text (to copy and pass
// on), makes a new one, takes one pasted in (a text that is no key is refused with what is
// wrong, and nothing is saved) and removes it. Opened with open(); every change is in force
// at once.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tarnivel {

class Clipboard;
class InviteKeySetting;

class InviteKeyDialog : public QDialog
{
    Q_OBJECT
public:
    // Reads the key's place again first: a file mended meanwhile counts.
    InviteKeyDialog(InviteKeySetting &setting, Clipboard &clipboard, QWidget *parent = nullptr);

    static QString stateText(int state);

private:
    void showState();
    void makeNew();
    void usePasted();
    void removeKey();
    void copyKey();
    void say(const QString &message);

    InviteKeySetting &m_setting;
    Clipboard &m_clipboard;
    QLabel *m_stateLabel;
    QLineEdit *m_keyBox;
    QPushButton *m_copyButton;
    QPushButton *m_newButton;
    QPushButton *m_removeButton;
    QLineEdit *m_pasteBox;
    QPushButton *m_useButton;
    QLabel *m_messageLabel;
};

} // namespace tarnivel
