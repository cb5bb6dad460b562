#pragma once
// The own-address dialog: shows the own address, copies it, and chooses how it is found (by the program
// itself, or from an address server whose URL the user gives).

#include <QDialog>
#include <QString>
#include <functional>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace tarnivel {

class OwnAddress;
class Clipboard;

class MyIpDialog : public QDialog
{
    Q_OBJECT

public:
    // Asked before the address-server method is chosen for the first time; it returns at
    // once and answers later, true to go on.
    using ServerWarning = std::function<void(QWidget *parent, std::function<void(bool goOn)> answered)>;

    // Shows the address the last lookup found: the command that opens the dialog looks it
    // up just before, with the address-server setting in force then.
    // externalAddress: the router's outside address while it forwards our ports (shown
    // beside the own address; empty: not shown).
    MyIpDialog(OwnAddress &ownAddress, Clipboard &clipboard, const QString &externalAddress = QString(),
               QWidget *parent = nullptr);

    // Replaces the warning message box, e.g. to answer it without a user.
    void setServerWarning(ServerWarning warning) { m_serverWarning = std::move(warning); }

    // The message box that warns about the address-server method (modal).
    static void showServerWarning(QWidget *parent, std::function<void(bool goOn)> answered);

    // Says that only copies with this copy's invite key can join it (hidden otherwise).
    void showInviteKey(bool keyed);

    // Closing by OK or by the close box keeps the chosen method.
    void done(int result) override;

private:
    void normalChosen();
    void serverChosen();
    void serverWarningAnswered(bool goOn);
    void copyAddress();
    void setServerBoxEnabled(bool enabled);

    OwnAddress &m_ownAddress;
    Clipboard &m_clipboard;
    // The address found when the dialog opened; the copy button copies this one.
    QString m_shownAddress;
    ServerWarning m_serverWarning = &MyIpDialog::showServerWarning;

    QLineEdit *m_addressBox;
    QPushButton *m_copyButton;
    QLabel *m_externalLabel;
    QLabel *m_inviteKeyLabel;
    QGroupBox *m_methodFrame;
    QRadioButton *m_programMethodOption;
    QRadioButton *m_serverMethodOption;
    QLineEdit *m_serverUrlBox;
    QPushButton *m_okButton;
};

} // namespace tarnivel
