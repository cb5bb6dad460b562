#pragma once
// frmColor "色の設定" and the colour command (mnColor "色"). The dialog chooses the text colour
// ("Font") and the background ("背景") of the log, the input box and the member lists. Each
// choice goes straight into the preferences, so a line that arrives while the dialog is open
// is written in the colour chosen at that moment; every way of closing except OK puts back
// the colours the dialog opened with. The window is repainted once the dialog has closed.

#include "ui/logappearance.h"
#include "ui/windowstacking.h"

#include <QDialog>
#include <functional>

class QPlainTextEdit;
class QPushButton;

namespace tarnivel {

class Session;

// Opens a colour chooser at `current` and returns; `chosen` runs once it has closed, with the
// colour value chosen, or `current` unchanged when the chooser was cancelled.
using ColourChosen = std::function<void(qint32 value)>;
using ColourChooser = std::function<void(qint32 current, QWidget *parent, ColourChosen chosen)>;

// The platform chooser (QColorDialog), modal over `parent`.
void chooseColourWithDialog(qint32 current, QWidget *parent, ColourChosen chosen);

class ColourDialog : public QDialog
{
    Q_OBJECT

public:
    ColourDialog(Session &session, ColourChooser chooser, QWidget *parent = nullptr);

    // Every way of closing ends here; all but OK restore the colours of the opening.
    void done(int result) override;

    QPlainTextEdit *sample() const { return m_sample; }

private:
    void chooseTextColour();
    void chooseBackground();
    // The chooser's answer counts only while this dialog is still open.
    ColourChosen whileOpen(void (Session::*set)(qint32));
    void paintSample();

    Session &m_session;
    ColourChooser m_chooser;
    const qint32 m_savedText;
    const qint32 m_savedBackground;
    bool m_accepted = false;

    QPushButton *m_okButton;
    QPushButton *m_cancelButton;
    QPushButton *m_textButton;
    QPushButton *m_backgroundButton;
    QPlainTextEdit *m_sample;
};

// The colour command: starts from what the log shows, shows the dialog over the main window
// (never hidden behind it) and, once it has closed, applies the colours to every surface.
void runColourCommand(Session &session, LogAppearance &appearance, const ColourChooser &chooser, QWidget *mainWindow,
                      const ModalRunner &showModal);

} // namespace tarnivel
