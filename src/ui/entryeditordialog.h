#pragma once
// The entry editor "リストの編集": the entry's name (its file name), the directory server's
// URL and the room name. Saving checks both names and writes the entry's file; a new name
// writes a new file and leaves the old one.

#include "directory/entryfile.h"

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tarnivel {

class EntryEditorDialog : public QDialog
{
    Q_OBJECT
public:
    // Entries are written into folder. The fields start empty.
    explicit EntryEditorDialog(const QString &folder, QWidget *parent = nullptr);

    void setEntry(const QString &name, const DirectoryEntry &entry);

    // The save button: checks, writes and closes; otherwise says why and stays open.
    void save();

    QLineEdit *nameBox() const { return m_nameBox; }
    QLineEdit *urlBox() const { return m_urlBox; }
    QLineEdit *roomBox() const { return m_roomBox; }

private:
    QString m_folder;
    QLineEdit *m_nameBox;
    QLineEdit *m_urlBox;
    QLineEdit *m_roomBox;
    QPushButton *m_saveButton;
    QPushButton *m_cancelButton;
};

} // namespace tarnivel
