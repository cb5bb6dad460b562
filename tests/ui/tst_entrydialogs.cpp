// The entry list "サーバに接続" and the entry editor "リストの編集".

#include "directory/entryfile.h"
#include "ui/entryeditordialog.h"
#include "ui/serverlistdialog.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace tarnivel;
using tarnivel::test::whenModal;

namespace {

struct Seen
{
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
};

// Answers the next message box; what it showed goes into *seen.
void answer(QMessageBox::StandardButton button, Seen *seen)
{
    whenModal<QMessageBox>([=](QMessageBox *box) {
        *seen = {box->windowTitle(), box->text(), box->standardButtons()};
        box->button(button)->click();
    });
}

QString refused(const QString &field)
{
    return field + QStringLiteral("に \\/:,;*?\"<>.\nは使えません");
}

} // namespace

class TestEntryDialogs : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void captionsAndKeyboardOrder();
    void nothingSelected_data();
    void nothingSelected();
    void editorChecksBothNames_data();
    void editorChecksBothNames();
    void editFillsTheEditorAndRenameKeepsTheOldFile();
    void quickServerAndDelete();

private:
    ServerListDialog *openList();
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ServerListDialog> m_list;
    QString m_quick;
};

void TestEntryDialogs::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_quick.clear();
}

ServerListDialog *TestEntryDialogs::openList()
{
    m_list = std::make_unique<ServerListDialog>(m_dir->path(), m_quick, [this](const QString &q) { m_quick = q; });
    return m_list.get();
}

void TestEntryDialogs::captionsAndKeyboardOrder()
{
    // A file put there by hand is listed under its name; other files and folders are not.
    for (const QString name : {"手置き.tsd", "notes.txt", "UPPER.TSD"}) {
        QFile file(QDir(m_dir->path()).filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("folder.tsd")));
    m_quick = QStringLiteral("手置き");
    ServerListDialog *list = openList();
    QCOMPARE(list->windowTitle(), QStringLiteral("サーバに接続"));
    QCOMPARE(list->entryList()->count(), 1);
    QCOMPARE(list->entryList()->item(0)->text(), QStringLiteral("手置き"));
    QCOMPARE(list->findChild<QGroupBox *>(QStringLiteral("Frame1"))->title(), QStringLiteral("クイックサーバ"));
    QCOMPARE(list->quickLabel()->text(), QStringLiteral("手置き"));

    EntryEditorDialog editor(m_dir->path());
    QCOMPARE(editor.windowTitle(), QStringLiteral("リストの編集"));
    QCOMPARE(editor.nameBox()->maxLength(), 50);
    QCOMPARE(editor.roomBox()->maxLength(), 50);

    const QList<std::pair<QDialog *, QStringList>> orders = {
        {list, {"cmdConnect", "cmdQuit", "lstServer", "cmdEdit", "cmdDelete", "cmdNew", "cmdQuick"}},
        {&editor, {"txtTitle", "txtURL", "txtName", "cmdSaveAll", "cmdCancel"}}};
    const QStringList captions = {"接続",     "閉じる",       "編集",       "削除",
                                  "新規作成", "クイック設定", "変更を保存", "保存しない"};
    for (const auto &[dialog, names] : orders) {
        QStringList order;
        QWidget *w = dialog->findChild<QWidget *>(names.first());
        do {
            if (names.contains(w->objectName()) && !order.contains(w->objectName()))
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != dialog->findChild<QWidget *>(names.first()));
        QCOMPARE(order, names);
        for (QPushButton *b : dialog->findChildren<QPushButton *>())
            QVERIFY2(captions.contains(b->text()), qPrintable(b->text()));
    }
    QVERIFY(list->findChild<QPushButton *>(QStringLiteral("cmdConnect"))->isDefault());
    QVERIFY(editor.findChild<QPushButton *>(QStringLiteral("cmdSaveAll"))->isDefault());
}

void TestEntryDialogs::nothingSelected_data()
{
    QTest::addColumn<QString>("button");
    for (const char *name : {"cmdConnect", "cmdEdit", "cmdDelete"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestEntryDialogs::nothingSelected()
{
    QFETCH(QString, button);
    QVERIFY(writeEntryFile(entryFilePath(m_dir->path(), QStringLiteral("a")), {"http://h/", "r"}));
    ServerListDialog *list = openList();
    Seen seen;
    answer(QMessageBox::Ok, &seen);
    list->findChild<QPushButton *>(button)->click();
    QTRY_COMPARE(seen.caption, QStringLiteral("たるにべ"));
    QCOMPARE(seen.text, QStringLiteral("サーバを選択してください"));
    QCOMPARE(seen.buttons, QMessageBox::Ok);
    QVERIFY(!list->chosenEntry());
    QVERIFY(QFile::exists(entryFilePath(m_dir->path(), QStringLiteral("a"))));
}

void TestEntryDialogs::editorChecksBothNames_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("room");
    QTest::addColumn<QString>("folder");  // under the test folder; empty: the folder itself
    QTest::addColumn<QString>("message"); // empty: saved
    QTest::newRow("saved") << "雑談．ｊｐ"
                           << "ルーム 1"
                           << ""
                           << "";
    QTest::newRow("empty name") << ""
                                << "r"
                                << "" << refused("サーバ名");
    QTest::newRow("bar in the name") << "a|b"
                                     << "r"
                                     << "" << refused("サーバ名");
    QTest::newRow("empty room") << "n"
                                << ""
                                << "" << refused("ログイン名");
    QTest::newRow("colon in the room") << "n"
                                       << "a:b"
                                       << "" << refused("ログイン名");
    QTest::newRow("folder cannot be written") << "n"
                                              << "r"
                                              << "missing"
                                              << "ファイルエラーです";
}

void TestEntryDialogs::editorChecksBothNames()
{
    QFETCH(QString, name);
    QFETCH(QString, room);
    QFETCH(QString, folder);
    QFETCH(QString, message);
    const QString path = QDir(m_dir->path()).filePath(folder);
    EntryEditorDialog editor(path);
    editor.setEntry(name, {"http://h/a,b", room});
    Seen seen;
    if (!message.isEmpty())
        answer(QMessageBox::Ok, &seen);
    editor.save();
    QTRY_COMPARE(seen.text, message);
    QCOMPARE(editor.result(), message.isEmpty() ? QDialog::Accepted : QDialog::Rejected);
    const std::optional<DirectoryEntry> saved = readEntryFile(entryFilePath(path, name));
    QCOMPARE(saved.has_value(), message.isEmpty());
    if (saved)
        QCOMPARE(*saved, (DirectoryEntry{"http://h/a,b", room}));
}

void TestEntryDialogs::editFillsTheEditorAndRenameKeepsTheOldFile()
{
    QVERIFY(writeEntryFile(entryFilePath(m_dir->path(), QStringLiteral("old")), {"http://h/x", "lobby"}));
    ServerListDialog *list = openList();
    list->entryList()->setCurrentRow(0);
    QStringList shown;
    whenModal<EntryEditorDialog>([&](EntryEditorDialog *editor) {
        shown = {editor->nameBox()->text(), editor->urlBox()->text(), editor->roomBox()->text()};
        editor->nameBox()->setText(QStringLiteral("new"));
        editor->save();
    });
    list->editCommand();
    QTRY_COMPARE(shown, (QStringList{"old", "http://h/x", "lobby"}));
    QCOMPARE(readEntryFile(entryFilePath(m_dir->path(), QStringLiteral("new")))->room, QStringLiteral("lobby"));
    QTRY_COMPARE(list->entryList()->count(), 2);

    // An entry whose file is unreadable is not edited.
    QFile broken(entryFilePath(m_dir->path(), QStringLiteral("old")));
    QVERIFY(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.close();
    list->entryList()->setCurrentRow(
        list->entryList()->row(list->entryList()->findItems("old", Qt::MatchExactly).first()));
    Seen seen;
    answer(QMessageBox::Ok, &seen);
    list->editCommand();
    QTRY_COMPARE(seen.text, QStringLiteral("ファイルエラーです"));
    QVERIFY(!QApplication::activeModalWidget()); // no editor
}

void TestEntryDialogs::quickServerAndDelete()
{
    for (const QString name : {"a", "b"})
        QVERIFY(writeEntryFile(entryFilePath(m_dir->path(), name), {"http://h/", "r"}));
    ServerListDialog *list = openList();
    list->entryList()->setCurrentRow(0);
    list->quickCommand();
    QCOMPARE(m_quick, QStringLiteral("a"));

    // Cancel keeps the entry; deleting another entry keeps the quick server.
    Seen seen;
    list->entryList()->setCurrentRow(0);
    answer(QMessageBox::Cancel, &seen);
    list->deleteCommand();
    QTRY_COMPARE(seen.caption, QStringLiteral("削除の確認"));
    QCOMPARE(seen.text, QStringLiteral("aを削除します"));
    QCOMPARE(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    list->entryList()->setCurrentRow(1);
    seen = {};
    answer(QMessageBox::Ok, &seen);
    list->deleteCommand();
    QTRY_COMPARE(list->entryList()->count(), 1);
    QCOMPARE(seen.text, QStringLiteral("bを削除します"));
    QCOMPARE(m_quick, QStringLiteral("a"));

    // Deleting the quick entry clears the quick server.
    list->entryList()->setCurrentRow(0);
    answer(QMessageBox::Ok, &seen);
    list->deleteCommand();
    QTRY_COMPARE(list->entryList()->count(), 0);
    QCOMPARE(m_quick, QString());
    QCOMPARE(list->quickLabel()->text(), QString());

    // Setting the quick server with nothing selected clears it.
    m_quick = QStringLiteral("x");
    openList()->quickCommand();
    QCOMPARE(m_quick, QString());
}

QTEST_MAIN(TestEntryDialogs)
#include "tst_entrydialogs.moc"
