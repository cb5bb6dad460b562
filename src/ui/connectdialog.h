#pragma once
// The connect dialog: asks for the address (IP address or host name) of a copy already in a chat.

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace tarnivel {

class ConnectDialog : public QDialog
{
    Q_OBJECT

public:
    // The longest address the box accepts.
    static constexpr int MaxAddressLength = 255;

    // `connectAddress` is the address used last; it is shown fully selected so typing replaces it.
    explicit ConnectDialog(const QString &connectAddress, QWidget *parent = nullptr);

    // True only when the dialog was closed with OK.
    bool confirmed() const { return m_confirmed; }
    // The text exactly as typed (neither trimmed nor checked); meaningful only when confirmed().
    QString address() const { return m_address; }

private:
    void confirm();

    QLineEdit *m_addressBox;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
    bool m_confirmed = false;
    QString m_address;
};

} // namespace tarnivel
