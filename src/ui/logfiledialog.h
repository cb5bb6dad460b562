#pragma once
// The save dialog of the log ("ログファイルの保存"): text files or all files, today's name
// proposed, overwriting asked before.

#include "conversation/logfile.h"
#include "ui/windowstacking.h"

#include <functional>
#include <memory>

class QFileDialog;
class QWidget;

namespace tarnivel {

// The dialog as the save command shows it (not yet shown).
std::unique_ptr<QFileDialog> makeLogFileDialog(const QString &proposedName, QWidget *parent);

// Asks through that dialog, modal over the main window.
class LogFileDialogChooser : public SavePathChooser
{
public:
    LogFileDialogChooser(QWidget *mainWindow, ModalRunner showModal);
    void chooseSavePath(const QString &proposedName, Chosen chosen) override;

private:
    QWidget *m_mainWindow;
    ModalRunner m_showModal;
};

} // namespace tarnivel
