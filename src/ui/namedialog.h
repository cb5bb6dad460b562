#pragma once
// frmName: the display name, at most 16 bytes in code page 932. OK refuses an empty box.

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

namespace tarnivel {

class NameDialog : public QDialog
{
    Q_OBJECT

public:
    // The current name is shown fully selected, so typing replaces it.
    explicit NameDialog(const QString &myName, QWidget *parent = nullptr);

    // The text exactly as typed; meaningful only when the dialog was accepted.
    QString name() const;

private:
    void confirm();

    QLineEdit *m_nameBox;
    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
};

} // namespace tarnivel
