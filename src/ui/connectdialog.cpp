#include "connectdialog.h"

#include "ui/dialogframe.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnivel {

ConnectDialog::ConnectDialog(const QString &connectAddress, QWidget *parent)
    : QDialog(parent)
    , m_addressBox(new QLineEdit(this))
    , m_okButton(new QPushButton(QStringLiteral("OK"), this))
    , m_cancelButton(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    setObjectName(QStringLiteral("frmConnect"));
    useDialogFrame(*this);
    setWindowTitle(QStringLiteral("接続（IPまたはリモートホスト）"));

    auto *label = new QLabel(QStringLiteral("接続先 "), this);
    label->setObjectName(QStringLiteral("lblIP"));
    label->setBuddy(m_addressBox);

    m_addressBox->setObjectName(QStringLiteral("txtIP"));
    m_addressBox->setMaxLength(MaxAddressLength);
    m_addressBox->setMinimumWidth(260);
    m_addressBox->setText(connectAddress);
    // Anchor at 0, whole text selected: the first key typed replaces the old address.
    m_addressBox->setSelection(0, m_addressBox->text().size());

    m_okButton->setObjectName(QStringLiteral("cmdOK"));
    m_okButton->setDefault(true);
    m_cancelButton->setObjectName(QStringLiteral("cmdCancel"));

    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(label);
    addressRow->addWidget(m_addressBox, 1);

    QDialogButtonBox *buttons = dialogButtons(
        *this, {{m_okButton, QDialogButtonBox::AcceptRole}, {m_cancelButton, QDialogButtonBox::RejectRole}});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(addressRow);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_addressBox, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    m_addressBox->setFocus();

    connect(buttons, &QDialogButtonBox::accepted, this, &ConnectDialog::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void ConnectDialog::confirm()
{
    m_confirmed = true;
    m_address = m_addressBox->text();
    accept();
}

} // namespace tarnivel
