#include "ui/myipdialog.h"

#include "address/ownaddress.h"
#include "model/showntext.h"
#include "desktop/clipboard.h"
#include "ui/dialogframe.h"
#include "ui/windowstacking.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
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

MyIpDialog::MyIpDialog(OwnAddress &ownAddress, Clipboard &clipboard, const QString &externalAddress, QWidget *parent)
    : QDialog(parent)
    , m_ownAddress(ownAddress)
    , m_clipboard(clipboard)
    , m_addressBox(new QLineEdit(this))
    , m_copyButton(new QPushButton(QStringLiteral("IPのコピー"), this))
    , m_externalLabel(new QLabel(this))
    , m_inviteKeyLabel(new QLabel(
          QStringLiteral("招待キーで暗号化しています。このアドレスに接続できるのは、同じキーを持つ相手だけです。"),
          this))
    , m_methodFrame(new QGroupBox(QStringLiteral("IP取得方法"), this))
    , m_programMethodOption(new QRadioButton(QStringLiteral("たるにべで取得（通常はこちら）"), m_methodFrame))
    , m_serverMethodOption(new QRadioButton(QStringLiteral("サーバから取得"), m_methodFrame))
    , m_serverUrlBox(new QLineEdit(m_methodFrame))
    , m_okButton(new QPushButton(QStringLiteral("OK"), this))
{
    setObjectName(QStringLiteral("frmMyIP"));
    useDialogFrame(*this);
    setWindowTitle(QStringLiteral("あなたの IPアドレス"));

    m_addressBox->setObjectName(QStringLiteral("txtMyIP"));
    m_addressBox->setReadOnly(true);
    m_addressBox->setMinimumWidth(180);
    setBoxBackground(m_addressBox, QPalette::Button);
    m_copyButton->setObjectName(QStringLiteral("cmdCopyIP"));
    m_copyButton->setAutoDefault(false);
    m_methodFrame->setObjectName(QStringLiteral("frameIPMode"));
    m_programMethodOption->setObjectName(QStringLiteral("optNomal"));
    m_serverMethodOption->setObjectName(QStringLiteral("optServer"));
    m_serverUrlBox->setObjectName(QStringLiteral("txtIPServer"));
    m_serverUrlBox->setMinimumWidth(280);
    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setDefault(true);

    auto *addressRow = new QHBoxLayout;
    addressRow->addWidget(m_addressBox, 1);
    addressRow->addWidget(m_copyButton);
    m_externalLabel->setObjectName(QStringLiteral("lblExternalIP"));
    // The router's answer, shown as it came: never markup, never more than one line.
    m_externalLabel->setTextFormat(Qt::PlainText);
    m_externalLabel->setText(QStringLiteral("ルータの外側: ") + shownText(externalAddress));
    m_externalLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_externalLabel->setVisible(!externalAddress.isEmpty());
    addressRow->addWidget(m_externalLabel);

    auto *modeLayout = new QVBoxLayout(m_methodFrame);
    modeLayout->addWidget(m_programMethodOption);
    modeLayout->addWidget(m_serverMethodOption);
    modeLayout->addWidget(m_serverUrlBox);

    QDialogButtonBox *buttons = dialogButtons(*this, {{m_okButton, QDialogButtonBox::AcceptRole}});

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(addressRow);
    m_inviteKeyLabel->setObjectName(QStringLiteral("lblInviteKey"));
    m_inviteKeyLabel->setWordWrap(true);
    m_inviteKeyLabel->hide();
    layout->addWidget(m_inviteKeyLabel);
    layout->addWidget(m_methodFrame);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    if (m_ownAddress.addressServer().isEmpty()) {
        m_programMethodOption->setChecked(true);
        setServerBoxEnabled(false);
    } else {
        m_serverMethodOption->setChecked(true);
        setServerBoxEnabled(true);
        m_serverUrlBox->setText(m_ownAddress.addressServer());
    }

    m_shownAddress = ownAddress.myAddress();
    m_addressBox->setText(m_shownAddress.isEmpty() ? QStringLiteral("未接続") : m_shownAddress);

    connect(m_programMethodOption, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            normalChosen();
    });
    connect(m_serverMethodOption, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            serverChosen();
    });
    connect(m_copyButton, &QPushButton::clicked, this, &MyIpDialog::copyAddress);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

void MyIpDialog::showServerWarning(QWidget *parent, std::function<void(bool goOn)> answered)
{
    const QString text = QStringLiteral("これは、通常使用時にIPアドレスが取得できない場合など") + u'\n'
        + QStringLiteral("特別な場合のみ設定してください。");
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("tarnivel"), text,
                                QMessageBox::Ok | QMessageBox::Cancel, parent);
    box->setDefaultButton(QMessageBox::Ok);
    showModal(box, [box, answered = std::move(answered)](int) {
        answered(box->standardButton(box->clickedButton()) == QMessageBox::Ok);
    });
}

void MyIpDialog::done(int result)
{
    // Whatever the URL box holds counts, even nothing: an empty server means the normal method.
    m_ownAddress.setAddressServer(m_serverMethodOption->isChecked() ? m_serverUrlBox->text() : QString());
    QDialog::done(result);
}

void MyIpDialog::showInviteKey(bool keyed)
{
    m_inviteKeyLabel->setVisible(keyed);
}

void MyIpDialog::normalChosen()
{
    setServerBoxEnabled(false);
    m_ownAddress.setAddressServer(QString());
}

void MyIpDialog::serverChosen()
{
    if (!m_ownAddress.addressServer().isEmpty()) {
        serverWarningAnswered(true);
        return;
    }
    if (!m_serverWarning) {
        serverWarningAnswered(false);
        return;
    }
    m_serverWarning(this, [self = QPointer<MyIpDialog>(this)](bool goOn) {
        // Closed meanwhile, the dialog has stored its method already.
        if (self && self->isVisible())
            self->serverWarningAnswered(goOn);
    });
}

void MyIpDialog::serverWarningAnswered(bool goOn)
{
    if (!goOn) {
        // Selecting the normal method again unchecks the server option and disables its box.
        m_programMethodOption->setChecked(true);
        setServerBoxEnabled(false);
        m_okButton->setFocus();
        return;
    }
    setServerBoxEnabled(true);
    m_serverUrlBox->setFocus();
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
    m_serverUrlBox->setEnabled(enabled);
    setBoxBackground(m_serverUrlBox, enabled ? QPalette::Base : QPalette::Button);
}

} // namespace tarnivel
