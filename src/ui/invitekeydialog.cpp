#include "ui/invitekeydialog.h"

#include "model/invitekey.h"
#include "desktop/clipboard.h"
#include "session/invitekeysetting.h"
#include "ui/dialogframe.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnivel {

namespace {
const QString NotSaved = QStringLiteral("tarnivel.ini に書き込めなかったので、招待キーは変わっていません。");
} // namespace

InviteKeyDialog::InviteKeyDialog(InviteKeySetting &setting, Clipboard &clipboard, QWidget *parent)
    : QDialog(parent)
    , m_setting(setting)
    , m_clipboard(clipboard)
    , m_stateLabel(new QLabel(this))
    , m_keyBox(new QLineEdit(this))
    , m_copyButton(new QPushButton(QStringLiteral("コピー"), this))
    , m_newButton(new QPushButton(QStringLiteral("新しいキーを作る"), this))
    , m_removeButton(new QPushButton(QStringLiteral("キーを外す"), this))
    , m_pasteBox(new QLineEdit(this))
    , m_useButton(new QPushButton(QStringLiteral("このキーを使う"), this))
    , m_messageLabel(new QLabel(this))
{
    setObjectName(QStringLiteral("frmInviteKey"));
    useDialogFrame(*this);
    setWindowTitle(QStringLiteral("招待キー"));
    m_stateLabel->setObjectName(QStringLiteral("lblKeyState"));
    m_stateLabel->setWordWrap(true);
    m_keyBox->setObjectName(QStringLiteral("txtInviteKey"));
    m_keyBox->setReadOnly(true);
    m_keyBox->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    m_keyBox->setMinimumWidth(m_keyBox->fontMetrics().horizontalAdvance(QString(InviteKeyCharacters + 10, u'W')));
    m_copyButton->setObjectName(QStringLiteral("cmdCopyKey"));
    m_newButton->setObjectName(QStringLiteral("cmdNewKey"));
    m_removeButton->setObjectName(QStringLiteral("cmdRemoveKey"));
    m_pasteBox->setObjectName(QStringLiteral("txtPasteKey"));
    m_pasteBox->setPlaceholderText(QStringLiteral("もらったキーをここに貼り付け"));
    m_useButton->setObjectName(QStringLiteral("cmdUseKey"));
    m_messageLabel->setObjectName(QStringLiteral("lblKeyMessage"));
    m_messageLabel->setTextFormat(Qt::PlainText);
    m_messageLabel->setWordWrap(true);
    for (QPushButton *button : {m_copyButton, m_newButton, m_removeButton, m_useButton})
        button->setAutoDefault(false);
    auto *note = new QLabel(QStringLiteral("同じキーを持つたるにべどうしだけが、暗号化された通信でチャットできます。"
                                           "キーを変えたり外したりすると、いまのチャットは切断されます。"),
                            this);
    note->setWordWrap(true);

    auto *grid = new QGridLayout;
    grid->addWidget(m_keyBox, 0, 0);
    grid->addWidget(m_copyButton, 0, 1);
    grid->addWidget(m_pasteBox, 1, 0);
    grid->addWidget(m_useButton, 1, 1);
    auto *closeButton = new QPushButton(QStringLiteral("閉じる"), this);
    closeButton->setObjectName(QStringLiteral("cmdClose"));
    closeButton->setDefault(true);
    QDialogButtonBox *buttons = dialogButtons(*this,
                                              {{m_newButton, QDialogButtonBox::ActionRole},
                                               {m_removeButton, QDialogButtonBox::ActionRole},
                                               {closeButton, QDialogButtonBox::RejectRole}});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_stateLabel);
    layout->addLayout(grid);
    layout->addWidget(m_messageLabel);
    layout->addWidget(note);
    layout->addWidget(buttons);

    connect(m_copyButton, &QPushButton::clicked, this, &InviteKeyDialog::copyKey);
    connect(m_newButton, &QPushButton::clicked, this, &InviteKeyDialog::makeNew);
    connect(m_removeButton, &QPushButton::clicked, this, &InviteKeyDialog::removeKey);
    connect(m_useButton, &QPushButton::clicked, this, &InviteKeyDialog::usePasted);
    connect(m_pasteBox, &QLineEdit::returnPressed, this, &InviteKeyDialog::usePasted);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    m_setting.reload();
    showState();
}

QString InviteKeyDialog::stateText(int state)
{
    switch (InviteKeySetting::State(state)) {
    case InviteKeySetting::State::None:
        return QStringLiteral("招待キーはありません。だれでも接続でき、通信は暗号化されません。");
    case InviteKeySetting::State::Set:
        return QStringLiteral("招待キーで暗号化しています。このキーを持つ相手とだけつながります。");
    case InviteKeySetting::State::Unreadable:
        return QStringLiteral("tarnivel.ini の招待キーを読めないため、接続をすべて止めています。"
                              "キーを設定し直すか、外してください。");
    }
    return QString();
}

void InviteKeyDialog::showState()
{
    const InviteKeySetting::State state = m_setting.state();
    m_stateLabel->setText(stateText(int(state)));
    m_keyBox->setText(m_setting.keyText());
    m_keyBox->setEnabled(state == InviteKeySetting::State::Set);
    m_copyButton->setEnabled(state == InviteKeySetting::State::Set);
    m_removeButton->setEnabled(state != InviteKeySetting::State::None);
}

void InviteKeyDialog::makeNew()
{
    if (!m_setting.set(newInviteKey())) {
        say(NotSaved);
        return;
    }
    say(QStringLiteral("新しいキーを作りました。コピーして、招待する相手に伝えてください。"));
    showState();
}

void InviteKeyDialog::usePasted()
{
    const InviteKeyRead read = readInviteKeyText(m_pasteBox->text());
    if (!read.key) {
        say(inviteKeyProblemText(read));
        return;
    }
    if (!m_setting.set(*read.key)) {
        say(NotSaved);
        return;
    }
    m_pasteBox->clear();
    say(QStringLiteral("このキーを使います。"));
    showState();
}

void InviteKeyDialog::removeKey()
{
    if (!m_setting.remove()) {
        say(NotSaved);
        return;
    }
    say(QStringLiteral("招待キーを外しました。"));
    showState();
}

void InviteKeyDialog::copyKey()
{
    const QString text = m_setting.keyText();
    if (text.isEmpty())
        return;
    m_clipboard.clear();
    m_clipboard.setText(text);
}

void InviteKeyDialog::say(const QString &message)
{
    m_messageLabel->setText(message);
}

} // namespace tarnivel
