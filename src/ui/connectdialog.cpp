#include "connectdialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnivel {

ConnectDialog::ConnectDialog(const QString &connectAddress, QWidget *parent)
    : QDialog(parent)
    , txtIP_(new QLineEdit(this))
    , cmdOK_(new QPushButton(QStringLiteral("OK"), this))
    , cmdCancel_(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    setObjectName(QStringLiteral("frmConnect"));
    setWindowTitle(QStringLiteral("接続（IPまたはリモートホスト）"));

    auto *label = new QLabel(QStringLiteral("接続先 "), this);
    label->setObjectName(QStringLiteral("lblIP"));
    label->setBuddy(txtIP_);

    txtIP_->setObjectName(QStringLiteral("txtIP"));
    txtIP_->setMaxLength(MaxAddressLength);
    txtIP_->setMinimumWidth(260);
    txtIP_->setText(connectAddress);
    // Anchor at 0, whole text selected: the first key typed replaces the old address.
    txtIP_->setSelection(0, txtIP_->text().size());

    cmdOK_->setObjectName(QStringLiteral("cmdOK"));
    cmdOK_->setDefault(true);
    cmdCancel_->setObjectName(QStringLiteral("cmdCancel"));

    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(label);
    addressRow->addWidget(txtIP_, 1);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(cmdOK_);
    buttonRow->addWidget(cmdCancel_);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(addressRow);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(txtIP_, cmdOK_);
    setTabOrder(cmdOK_, cmdCancel_);
    txtIP_->setFocus();

    connect(cmdOK_, &QPushButton::clicked, this, &ConnectDialog::confirm);
    connect(cmdCancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void ConnectDialog::confirm()
{
    confirmed_ = true;
    address_ = txtIP_->text();
    accept();
}

} // namespace tarnivel
