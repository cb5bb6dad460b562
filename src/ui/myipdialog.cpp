#include "ui/myipdialog.h"

#include "address/ownaddress.h"
#include "app/preferences.h"
#include "platform/clipboard.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarnivel {

namespace {

// Read-only and disabled boxes show the button face; editable ones the window background.
void setBoxBackground(QLineEdit *box, QPalette::ColorRole role)
{
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, QApplication::palette(box).color(role));
    box->setPalette(palette);
}

} // namespace

MyIpDialog::MyIpDialog(OwnAddress &ownAddress, Preferences &prefs, Clipboard &clipboard,
                       QWidget *parent)
    : QDialog(parent)
    , m_prefs(prefs)
    , m_clipboard(clipboard)
    , m_txtMyIP(new QLineEdit(this))
    , m_cmdCopyIP(new QPushButton(QStringLiteral("IPのコピー"), this))
    , m_frameIPMode(new QGroupBox(QStringLiteral("IP取得方法"), this))
    , m_optNomal(new QRadioButton(QStringLiteral("たるにべで取得（通常はこちら）"), m_frameIPMode))
    , m_optServer(new QRadioButton(QStringLiteral("サーバから取得"), m_frameIPMode))
    , m_txtIPServer(new QLineEdit(m_frameIPMode))
    , m_okButton(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("frmMyIP"));
    setWindowTitle(QStringLiteral("あなたの IPアドレス"));

    m_txtMyIP->setObjectName(QStringLiteral("txtMyIP"));
    m_txtMyIP->setReadOnly(true);
    m_txtMyIP->setMinimumWidth(180);
    setBoxBackground(m_txtMyIP, QPalette::Button);
    m_cmdCopyIP->setObjectName(QStringLiteral("cmdCopyIP"));
    m_cmdCopyIP->setAutoDefault(false);
    m_frameIPMode->setObjectName(QStringLiteral("frameIPMode"));
    m_optNomal->setObjectName(QStringLiteral("optNomal"));
    m_optServer->setObjectName(QStringLiteral("optServer"));
    m_txtIPServer->setObjectName(QStringLiteral("txtIPServer"));
    m_txtIPServer->setMinimumWidth(280);
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setDefault(true);

    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(m_txtMyIP, 1);
    addressRow->addWidget(m_cmdCopyIP);

    auto *modeLayout = new QVBoxLayout(m_frameIPMode);
    modeLayout->addWidget(m_optNomal);
    modeLayout->addWidget(m_optServer);
    modeLayout->addWidget(m_txtIPServer);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(m_okButton);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(addressRow);
    layout->addWidget(m_frameIPMode);
    layout->addLayout(buttonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (m_prefs.addressServer.isEmpty()) {
        m_optNomal->setChecked(true);
        setServerBoxEnabled(false);
    } else {
        m_optServer->setChecked(true);
        setServerBoxEnabled(true);
        m_txtIPServer->setText(m_prefs.addressServer);
    }

    // The address shown is found with the server setting in force when the dialog opens.
    ownAddress.findMyAddress();
    m_shownAddress = ownAddress.myAddress();
    m_txtMyIP->setText(m_shownAddress.isEmpty() ? QStringLiteral("未接続") : m_shownAddress);

    connect(m_optNomal, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            normalChosen();
    });
    connect(m_optServer, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            serverChosen();
    });
    connect(m_cmdCopyIP, &QPushButton::clicked, this, &MyIpDialog::copyAddress);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
}

bool MyIpDialog::showServerWarning(QWidget *parent)
{
    const QString text = QStringLiteral("これは、通常使用時にIPアドレスが取得できない場合など") + u'\n'
                         + QStringLiteral("特別な場合のみ設定してください。");
    return QMessageBox::warning(parent, QStringLiteral("tarnivel"), text,
                                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok)
           == QMessageBox::Ok;
}

void MyIpDialog::done(int result)
{
    // Whatever the URL box holds counts, even nothing: an empty server means the normal method.
    m_prefs.addressServer = m_optServer->isChecked() ? m_txtIPServer->text() : QString();
    QDialog::done(result);
}

void MyIpDialog::normalChosen()
{
    setServerBoxEnabled(false);
    m_prefs.addressServer.clear();
}

void MyIpDialog::serverChosen()
{
    if (m_prefs.addressServer.isEmpty() && !(m_serverWarning && m_serverWarning(this))) {
        // Selecting the normal method again unchecks the server option and disables its box.
        m_optNomal->setChecked(true);
        setServerBoxEnabled(false);
        m_okButton->setFocus();
        return;
    }
    setServerBoxEnabled(true);
    m_txtIPServer->setFocus();
}

void MyIpDialog::copyAddress()
{
    if (m_shownAddress.isEmpty())
        return;
    m_clipboard.clear();
    m_clipboard.setText(m_shownAddress);
}

void MyIpDialog::setServerBoxEnabled(bool enabled)
{
    m_txtIPServer->setEnabled(enabled);
    setBoxBackground(m_txtIPServer, enabled ? QPalette::Base : QPalette::Button);
}

} // namespace tarnivel
