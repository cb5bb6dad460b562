#include "ui/logfiledialog.h"

#include "ui/windowstacking.h"

#include <QFileDialog>

namespace tarnivel {

std::unique_ptr<QFileDialog> makeLogFileDialog(const QString &proposedName, QWidget *parent)
{
    auto dialog = std::make_unique<QFileDialog>(parent, QStringLiteral("ログファイルの保存"));
    dialog->setObjectName(QStringLiteral("CommonDialog1"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    // Overwriting is confirmed (the dialog's default); no extension is added.
    dialog->setDefaultSuffix(QString());
    dialog->setNameFilters({QStringLiteral("テキスト ファイル (*.txt)"), QStringLiteral("すべてのファイル (*.*)")});
    dialog->selectNameFilter(dialog->nameFilters().constFirst());
    dialog->selectFile(proposedName);
    return dialog;
}

LogFileDialogChooser::LogFileDialogChooser(QWidget *mainWindow, ModalRunner execModal)
    : m_mainWindow(mainWindow)
    , m_execModal(std::move(execModal))
{
}

std::optional<QString> LogFileDialogChooser::chooseSavePath(const QString &proposedName)
{
    const std::unique_ptr<QFileDialog> dialog = makeLogFileDialog(proposedName, m_mainWindow);
    if (m_execModal(*dialog) != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog->selectedFiles();
    if (chosen.isEmpty())
        return std::nullopt;
    return chosen.constFirst();
}

} // namespace tarnivel
