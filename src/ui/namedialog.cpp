#include "ui/namedialog.h"

#include "model/namelimit.h"
#include "ui/dialogframe.h"
#include "ui/unrepresentableunderline.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QValidator>
#include <QVBoxLayout>

namespace tarnivel {

namespace {

// Keeps the box within the byte limit: of what an edit inserts (typed, pasted, dropped or
// composed), the character that would pass the limit and all after it are dropped.
class NameLimitValidator : public QValidator
{
public:
    NameLimitValidator(const QString &initial, QObject *parent) : QValidator(parent), m_accepted(initial) {}

    State validate(QString &input, int &pos) const override
    {
        const namelimit::NameEdit fitted = namelimit::fitEdit(m_accepted, input, pos);
        input = fitted.text;
        pos = fitted.cursor;
        m_accepted = input;
        return Acceptable;
    }

private:
    // The box's text after the last edit: what the next edit starts from.
    mutable QString m_accepted;
};

} // namespace

NameDialog::NameDialog(const QString &myName, QWidget *parent)
    : QDialog(parent)
    , m_nameBox(new QLineEdit(this))
    , m_okButton(new QPushButton(QStringLiteral("OK"), this))
    , m_cancelButton(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
{
    setObjectName(QStringLiteral("frmName"));
    setWindowTitle(QStringLiteral("名前の設定"));

    auto *label = new QLabel(QStringLiteral("名前"), this);
    label->setObjectName(QStringLiteral("lblLabel"));
    label->setBuddy(m_nameBox);

    m_nameBox->setObjectName(QStringLiteral("txtMyName"));
    m_nameBox->setMinimumWidth(160);
    // A longer name from the settings file is shown as it is; only edits are limited.
    m_nameBox->setValidator(new NameLimitValidator(myName, m_nameBox));
    m_nameBox->setText(myName);
    m_nameBox->setSelection(0, int(myName.size()));
    new UnrepresentableUnderline(*m_nameBox);

    m_okButton->setObjectName(QStringLiteral("cmdOK"));
    m_okButton->setDefault(true);
    m_cancelButton->setObjectName(QStringLiteral("cmdCancel"));

    auto *nameRow = new QHBoxLayout;
    nameRow->addWidget(label);
    nameRow->addWidget(m_nameBox, 1);
    QDialogButtonBox *buttons = dialogButtons(
        *this, {{m_okButton, QDialogButtonBox::AcceptRole}, {m_cancelButton, QDialogButtonBox::RejectRole}});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(nameRow);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_nameBox, m_okButton);
    setTabOrder(m_okButton, m_cancelButton);
    m_nameBox->setFocus();

    connect(buttons, &QDialogButtonBox::accepted, this, &NameDialog::confirm);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

QString NameDialog::name() const
{
    return m_nameBox->text();
}

void NameDialog::confirm()
{
    // An empty name is refused without a word: the dialog stays, the box has the focus.
    if (m_nameBox->text().isEmpty()) {
        m_nameBox->setFocus();
        return;
    }
    accept();
}

} // namespace tarnivel
