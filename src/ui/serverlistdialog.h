#pragma once
// The entry list "サーバに接続": choose the entry whose room to enter, create, edit and
// delete entries, and mark the quick-server entry. The list is read from the entry files
// afresh whenever it opens or an entry changes.

#include <QDialog>
#include <functional>
#include <optional>

class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace tarnivel {

class ServerListDialog : public QDialog
{
    Q_OBJECT
public:
    // folder: where the entry files are. setQuickServer is called whenever the quick entry
    // changes (it takes effect at once).
    ServerListDialog(const QString &folder, const QString &quickServer,
                     std::function<void(const QString &)> setQuickServer, QWidget *parent = nullptr);

    // The entry chosen to connect with; nothing when the list was closed without a choice.
    const std::optional<QString> &chosenEntry() const { return m_chosen; }

    // The buttons' commands.
    void connectCommand();
    void editCommand();
    void deleteCommand();
    void newCommand();
    void quickCommand();

    QListWidget *entryList() const { return m_list; }
    QLabel *quickLabel() const { return m_quickLabel; }

private:
    void fillList();
    std::optional<QString> selectedEntry() const;
    // Opens the editor (modal) and reads the list again once it has closed.
    void runEditor(const QString &name, const QString &url, const QString &room);

    QString m_folder;
    QString m_quickServer;
    std::function<void(const QString &)> m_setQuickServer;
    std::optional<QString> m_chosen;
    QListWidget *m_list;
    QPushButton *m_connectButton;
    QPushButton *m_closeButton;
    QPushButton *m_editButton;
    QPushButton *m_deleteButton;
    QPushButton *m_newButton;
    QGroupBox *m_quickFrame;
    QLabel *m_quickLabel;
    QPushButton *m_quickButton;
};

} // namespace tarnivel
