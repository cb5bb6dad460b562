#include "ui/serverlistdialog.h"

#include "directory/entryfile.h"
#include "text/logging.h"
#include "ui/dialogframe.h"
#include "ui/entryeditordialog.h"
#include "ui/entrymessage.h"
#include "ui/windowstacking.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnivel {

namespace {
const QString ChooseAServer = QStringLiteral("サーバを選択してください");

QPushButton *button(const QString &caption, const QString &name, QWidget *parent)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    return b;
}
} // namespace

ServerListDialog::ServerListDialog(const QString &folder, const QString &quickServer,
                                   std::function<void(const QString &)> setQuickServer, QWidget *parent)
    : QDialog(parent)
    , m_folder(folder)
    , m_quickServer(quickServer)
    , m_setQuickServer(std::move(setQuickServer))
    , m_list(new QListWidget(this))
    , m_connectButton(button(QStringLiteral("接続"), QStringLiteral("cmdConnect"), this))
    , m_closeButton(button(QStringLiteral("閉じる"), QStringLiteral("cmdQuit"), this))
    , m_editButton(button(QStringLiteral("編集"), QStringLiteral("cmdEdit"), this))
    , m_deleteButton(button(QStringLiteral("削除"), QStringLiteral("cmdDelete"), this))
    , m_newButton(button(QStringLiteral("新規作成"), QStringLiteral("cmdNew"), this))
    , m_quickFrame(new QGroupBox(QStringLiteral("クイックサーバ"), this))
    , m_quickLabel(new QLabel(m_quickFrame))
    , m_quickButton(button(QStringLiteral("クイック設定"), QStringLiteral("cmdQuick"), m_quickFrame))
{
    setObjectName(QStringLiteral("frmServer"));
    useDialogFrame(*this);
    setWindowTitle(QStringLiteral("サーバに接続"));

    m_list->setObjectName(QStringLiteral("lstServer"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setFixedSize(200, 180);
    m_connectButton->setDefault(true);
    m_quickFrame->setObjectName(QStringLiteral("Frame1"));
    m_quickLabel->setObjectName(QStringLiteral("lblQuick"));
    m_quickLabel->setTextFormat(Qt::PlainText);
    m_quickLabel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_quickLabel->setMinimumWidth(180);

    QDialogButtonBox *closing = dialogButtons(
        *this, {{m_connectButton, QDialogButtonBox::AcceptRole}, {m_closeButton, QDialogButtonBox::RejectRole}},
        Qt::Vertical);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(closing);
    buttons->addSpacing(12);
    buttons->addWidget(m_editButton);
    buttons->addWidget(m_deleteButton);
    buttons->addWidget(m_newButton);
    buttons->addStretch(1);
    auto *top = new QHBoxLayout;
    top->addWidget(m_list);
    top->addLayout(buttons);
    auto *quick = new QHBoxLayout(m_quickFrame);
    quick->addWidget(m_quickLabel, 1);
    quick->addWidget(m_quickButton);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_quickFrame);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_connectButton, m_closeButton);
    setTabOrder(m_closeButton, m_list);
    setTabOrder(m_list, m_editButton);
    setTabOrder(m_editButton, m_deleteButton);
    setTabOrder(m_deleteButton, m_newButton);
    setTabOrder(m_newButton, m_quickButton);
    m_connectButton->setFocus();

    connect(closing, &QDialogButtonBox::accepted, this, &ServerListDialog::connectCommand);
    connect(m_list, &QListWidget::itemDoubleClicked, this, &ServerListDialog::connectCommand);
    connect(closing, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_editButton, &QPushButton::clicked, this, &ServerListDialog::editCommand);
    connect(m_deleteButton, &QPushButton::clicked, this, &ServerListDialog::deleteCommand);
    connect(m_newButton, &QPushButton::clicked, this, &ServerListDialog::newCommand);
    connect(m_quickButton, &QPushButton::clicked, this, &ServerListDialog::quickCommand);

    fillList();
}

void ServerListDialog::fillList()
{
    m_quickLabel->setText(m_quickServer);
    m_list->clear();
    m_list->addItems(listEntries(m_folder));
}

std::optional<QString> ServerListDialog::selectedEntry() const
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return std::nullopt;
    return selected.first()->text();
}

void ServerListDialog::connectCommand()
{
    const std::optional<QString> entry = selectedEntry();
    if (!entry) {
        showEntryMessage(this, ChooseAServer);
        return;
    }
    m_chosen = *entry;
    accept();
}

void ServerListDialog::editCommand()
{
    const std::optional<QString> name = selectedEntry();
    if (!name) {
        showEntryMessage(this, ChooseAServer);
        return;
    }
    const std::optional<DirectoryEntry> entry = readEntryFile(entryFilePath(m_folder, *name));
    if (!entry) {
        showEntryMessage(this, QStringLiteral("ファイルエラーです"));
        return;
    }
    runEditor(*name, entry->url, entry->room);
}

void ServerListDialog::newCommand()
{
    runEditor(QString(), QString(), QString());
}

void ServerListDialog::runEditor(const QString &name, const QString &url, const QString &room)
{
    auto *editor = new EntryEditorDialog(m_folder, this);
    editor->setEntry(name, DirectoryEntry{url, room});
    // The editor is this list's child: it cannot answer once the list is gone.
    showModal(editor, [this](int) { fillList(); });
}

void ServerListDialog::deleteCommand()
{
    const std::optional<QString> name = selectedEntry();
    if (!name) {
        showEntryMessage(this, ChooseAServer);
        return;
    }
    // The box is this list's child: it cannot answer once the list is gone.
    confirmEntryDeletion(this, *name, [this, name = *name](bool ok) {
        if (ok) {
            const QString path = entryFilePath(m_folder, name);
            // A file that stays is still listed below: that tells the user.
            if (!QFile::remove(path))
                qCWarning(lcDirectory) << "cannot delete the entry" << QDir::toNativeSeparators(path);
            if (m_quickServer == name) {
                m_quickServer.clear();
                m_setQuickServer(m_quickServer);
            }
        }
        fillList();
    });
}

void ServerListDialog::quickCommand()
{
    m_quickServer = selectedEntry().value_or(QString());
    m_setQuickServer(m_quickServer);
    m_quickLabel->setText(m_quickServer);
}

} // namespace tarnivel
