#include "ui/entryeditordialog.h"

#include "directory/entryname.h"
#include "text/logging.h"
#include "ui/dialogframe.h"
#include "ui/entrymessage.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tarnivel {

namespace {

// The characters the name check refuses, as the message lists them ("|" is refused too).
QString refusedNameMessage(const QString &field)
{
    return field + QStringLiteral("に \\/:,;*?\"<>.\nは使えません");
}

} // namespace

EntryEditorDialog::EntryEditorDialog(const QString &folder, QWidget *parent)
    : QDialog(parent)
    , m_folder(folder)
    , m_nameBox(new QLineEdit(this))
    , m_urlBox(new QLineEdit(this))
    , m_roomBox(new QLineEdit(this))
    , m_saveButton(new QPushButton(QStringLiteral("変更を保存"), this))
    , m_cancelButton(new QPushButton(QStringLiteral("保存しない"), this))
{
    setObjectName(QStringLiteral("frmSetting"));
    useDialogFrame(*this);
    setWindowTitle(QStringLiteral("リストの編集"));

    m_nameBox->setObjectName(QStringLiteral("txtTitle"));
    m_nameBox->setMaxLength(MaxEntryNameLength);
    m_urlBox->setObjectName(QStringLiteral("txtURL"));
    m_urlBox->setMinimumWidth(280);
    m_roomBox->setObjectName(QStringLiteral("txtName"));
    m_roomBox->setMaxLength(MaxEntryNameLength);
    m_saveButton->setObjectName(QStringLiteral("cmdSaveAll"));
    m_saveButton->setDefault(true);
    m_cancelButton->setObjectName(QStringLiteral("cmdCancel"));

    auto *fields = new QGridLayout;
    const std::pair<const char *, QLineEdit *> rows[] = {
        {"サーバ名", m_nameBox}, {"URL", m_urlBox}, {"ルーム名", m_roomBox}};
    int row = 0;
    for (const auto &[caption, box] : rows) {
        auto *label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(box);
        fields->addWidget(label, row, 0);
        fields->addWidget(box, row++, 1);
    }
    QDialogButtonBox *buttons = dialogButtons(
        *this, {{m_saveButton, QDialogButtonBox::AcceptRole}, {m_cancelButton, QDialogButtonBox::RejectRole}});
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_nameBox, m_urlBox);
    setTabOrder(m_urlBox, m_roomBox);
    setTabOrder(m_roomBox, m_saveButton);
    setTabOrder(m_saveButton, m_cancelButton);
    m_nameBox->setFocus();

    connect(buttons, &QDialogButtonBox::accepted, this, &EntryEditorDialog::save);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

void EntryEditorDialog::setEntry(const QString &name, const DirectoryEntry &entry)
{
    m_nameBox->setText(name);
    m_urlBox->setText(entry.url);
    m_roomBox->setText(entry.room);
}

void EntryEditorDialog::save()
{
    if (!validEntryName(m_nameBox->text())) {
        showEntryMessage(this, refusedNameMessage(QStringLiteral("サーバ名")));
        return;
    }
    if (!validEntryName(m_roomBox->text())) {
        showEntryMessage(this, refusedNameMessage(QStringLiteral("ログイン名")));
        return;
    }
    const QString path = entryFilePath(m_folder, m_nameBox->text());
    // A folder that cannot be written to must not look like a saved entry.
    if (!writeEntryFile(path, DirectoryEntry{m_urlBox->text(), m_roomBox->text()})) {
        qCWarning(lcDirectory) << "cannot write the entry" << QDir::toNativeSeparators(path);
        showEntryMessage(this, QStringLiteral("ファイルエラーです"));
        return;
    }
    accept();
}

} // namespace tarnivel
