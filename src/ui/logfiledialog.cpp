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

LogFileDialogChooser::LogFileDialogChooser(QWidget *mainWindow, ModalRunner showModal)
    : m_mainWindow(mainWindow)
    , m_showModal(std::move(showModal))
{}

void LogFileDialogChooser::chooseSavePath(const QString &proposedName, Chosen chosen)
{
    QFileDialog *dialog = makeLogFileDialog(proposedName, m_mainWindow).release();
    m_showModal(dialog, [dialog, chosen = std::move(chosen)](int result) {
        const QStringList files = result == QDialog::Accepted ? dialog->selectedFiles() : QStringList();
        chosen(files.isEmpty() ? std::nullopt : std::optional<QString>(files.constFirst()));
    });
}

} // namespace tarnivel
