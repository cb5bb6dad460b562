// The dialogs' button rows: their own captions and names in a QDialogButtonBox with the
// right roles, OK before Cancel even where the desktop would put Cancel first.

#include "ui/connectdialog.h"
#include "ui/dialogframe.h"
#include "ui/entryeditordialog.h"
#include "ui/namedialog.h"
#include "ui/serverlistdialog.h"

#include <QDialogButtonBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace tarnivel;

namespace {

// A desktop that lays out dialog buttons the GNOME way: Cancel first.
class CancelFirstStyle : public QProxyStyle
{
public:
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        if (hint == SH_DialogButtonLayout)
            return QDialogButtonBox::GnomeLayout;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

using DialogMaker = std::function<std::unique_ptr<QDialog>(const QString &folder)>;

// Object names and captions of the box's buttons, left to right or top to bottom.
QStringList buttonsInOrder(QDialog &dialog)
{
    auto *box = dialog.findChild<QDialogButtonBox *>();
    if (!box)
        return {};
    QList<QAbstractButton *> buttons = box->buttons();
    std::sort(buttons.begin(), buttons.end(), [](QAbstractButton *a, QAbstractButton *b) {
        const QPoint pa = a->mapToGlobal(QPoint()), pb = b->mapToGlobal(QPoint());
        return pa.x() != pb.x() ? pa.x() < pb.x() : pa.y() < pb.y();
    });
    QStringList names;
    for (QAbstractButton *b : buttons)
        names << b->objectName() + u' ' + b->text();
    return names;
}

} // namespace

Q_DECLARE_METATYPE(DialogMaker)

class TestDialogFrame : public QObject
{
    Q_OBJECT
private slots:
    void buttonRows_data();
    void buttonRows();
};

void TestDialogFrame::buttonRows_data()
{
    QTest::addColumn<DialogMaker>("make");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<bool>("cancelFirstDesktop");
    const QStringList okCancel{QStringLiteral("cmdOK OK"), QStringLiteral("cmdCancel ｷｬﾝｾﾙ")};
    const struct
    {
        const char *name;
        DialogMaker make;
        QStringList buttons;
    } dialogs[] = {
        {"connect", [](const QString &) { return std::make_unique<ConnectDialog>(QStringLiteral("10.0.0.1")); },
         okCancel},
        {"name", [](const QString &) { return std::make_unique<NameDialog>(QStringLiteral("名前")); }, okCancel},
        {"entry editor",
         [](const QString &folder) { return std::make_unique<EntryEditorDialog>(folder); },
         {QStringLiteral("cmdSaveAll 変更を保存"), QStringLiteral("cmdCancel 保存しない")}},
        {"server list, one above the other",
         [](const QString &folder) {
             return std::make_unique<ServerListDialog>(folder, QString(), [](const QString &) {});
         },
         {QStringLiteral("cmdConnect 接続"), QStringLiteral("cmdQuit 閉じる")}},
    };
    for (const auto &d : dialogs) {
        QTest::addRow("%s", d.name) << d.make << d.buttons << false;
        QTest::addRow("%s, on a Cancel-first desktop", d.name) << d.make << d.buttons << true;
    }
}

void TestDialogFrame::buttonRows()
{
    QFETCH(DialogMaker, make);
    QFETCH(QStringList, buttons);
    QFETCH(bool, cancelFirstDesktop);
    const QString beforeName = QApplication::style()->name();
    if (cancelFirstDesktop)
        QApplication::setStyle(new CancelFirstStyle);
    QTemporaryDir folder;
    const std::unique_ptr<QDialog> dialog = make(folder.path());
    dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    const QStringList shown = buttonsInOrder(*dialog);
    auto *box = dialog->findChild<QDialogButtonBox *>();
    QVERIFY(box);
    auto *first = dialog->findChild<QPushButton *>(buttons.first().section(u' ', 0, 0));
    auto *last = dialog->findChild<QPushButton *>(buttons.last().section(u' ', 0, 0));
    QCOMPARE(box->buttonRole(first), QDialogButtonBox::AcceptRole);
    QCOMPARE(box->buttonRole(last), QDialogButtonBox::RejectRole);
    QVERIFY(first->isDefault());
    dialog->close();
    if (cancelFirstDesktop)
        QApplication::setStyle(beforeName);
    QCOMPARE(shown, buttons);
}

QTEST_MAIN(TestDialogFrame)
#include "tst_dialogframe.moc"
