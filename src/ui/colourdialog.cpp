#include "ui/colourdialog.h"

#include "model/colorvalue.h"
#include "session/session.h"
#include "ui/dialogframe.h"
#include "ui/windowstacking.h"

#include <QColorDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QPointer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnivel {

namespace {
const QString SampleText = QStringLiteral("表示のサンプル\n \nこのように表示されます。\n");
} // namespace

void chooseColourWithDialog(qint32 current, QWidget *parent, ColourChosen chosen)
{
    auto *dialog = new QColorDialog(resolveColorValue(current, QGuiApplication::palette()), parent);
    dialog->setWindowTitle(QStringLiteral("色"));
    showModal(dialog, [dialog, current, chosen = std::move(chosen)](int result) {
        const QColor colour = result == QDialog::Accepted ? dialog->selectedColor() : QColor();
        chosen(colour.isValid() ? colorValueFromQColor(colour) : current);
    });
}

ColourDialog::ColourDialog(Session &session, ColourChooser chooser, QWidget *parent)
    : QDialog(parent)
    , m_session(session)
    , m_chooser(std::move(chooser))
    , m_savedText(session.preferences().textColor)
    , m_savedBackground(session.preferences().backgroundColor)
    , m_okButton(new QPushButton(QStringLiteral("OK"), this))
    , m_cancelButton(new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this))
    , m_textButton(new QPushButton(QStringLiteral("Font"), this))
    , m_backgroundButton(new QPushButton(QStringLiteral("背景"), this))
    , m_sample(new QPlainTextEdit(this))
{
    setObjectName(QStringLiteral("frmColor"));
    useDialogFrame(*this);
    setWindowTitle(QStringLiteral("色の設定"));

    m_okButton->setObjectName(QStringLiteral("OKButton"));
    m_okButton->setDefault(true);
    m_cancelButton->setObjectName(QStringLiteral("CancelButton"));
    m_textButton->setObjectName(QStringLiteral("cmnFont"));
    m_backgroundButton->setObjectName(QStringLiteral("cmdBack"));

    m_sample->setObjectName(QStringLiteral("txtSmp"));
    m_sample->setReadOnly(true);
    m_sample->setPlainText(SampleText);
    QFont sampleFont(QStringLiteral("ＭＳ Ｐゴシック"));
    sampleFont.setPointSizeF(9.75);
    m_sample->setFont(sampleFont);
    m_sample->setFixedSize(240, 112);

    QDialogButtonBox *closing = dialogButtons(
        *this, {{m_okButton, QDialogButtonBox::AcceptRole}, {m_cancelButton, QDialogButtonBox::RejectRole}},
        Qt::Vertical);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(closing);
    buttons->addSpacing(12);
    buttons->addWidget(m_textButton);
    buttons->addWidget(m_backgroundButton);
    buttons->addStretch(1);

    auto *layout = new QHBoxLayout(this);
    layout->addWidget(m_sample, 1);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    setTabOrder(m_okButton, m_cancelButton);
    setTabOrder(m_cancelButton, m_textButton);
    setTabOrder(m_textButton, m_backgroundButton);
    setTabOrder(m_backgroundButton, m_sample);
    m_okButton->setFocus();

    connect(closing, &QDialogButtonBox::accepted, this, [this] {
        m_accepted = true;
        accept();
    });
    connect(closing, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_textButton, &QPushButton::clicked, this, &ColourDialog::chooseTextColour);
    connect(m_backgroundButton, &QPushButton::clicked, this, &ColourDialog::chooseBackground);
    paintSample();
}

void ColourDialog::chooseTextColour()
{
    m_chooser(m_session.preferences().textColor, this, whileOpen(&Session::setTextColor));
}

void ColourDialog::chooseBackground()
{
    m_chooser(m_session.preferences().backgroundColor, this, whileOpen(&Session::setBackgroundColor));
}

ColourChosen ColourDialog::whileOpen(void (Session::*set)(qint32))
{
    // Closed meanwhile (the program ending closes every dialog), the colours of the opening stay.
    return [self = QPointer<ColourDialog>(this), set](qint32 value) {
        if (!self || !self->isVisible())
            return;
        (self->m_session.*set)(value);
        self->paintSample();
    };
}

void ColourDialog::paintSample()
{
    const QPalette desktop = QGuiApplication::palette();
    QPalette pal = m_sample->palette();
    pal.setColor(QPalette::Text, resolveColorValue(m_session.preferences().textColor, desktop));
    pal.setColor(QPalette::Base, resolveColorValue(m_session.preferences().backgroundColor, desktop));
    m_sample->setPalette(pal);
}

void ColourDialog::done(int result)
{
    if (!m_accepted) {
        m_session.setTextColor(m_savedText);
        m_session.setBackgroundColor(m_savedBackground);
    }
    QDialog::done(result);
}

void runColourCommand(Session &session, LogAppearance &appearance, const ColourChooser &chooser, QWidget *mainWindow,
                      const ModalRunner &showModal)
{
    session.setTextColor(appearance.colorAtLogEnd().value_or(session.preferences().textColor));
    session.setBackgroundColor(appearance.logBackground());
    // The session and the surfaces belong to the main window, the dialog's parent: they
    // outlive it.
    showModal(new ColourDialog(session, chooser, mainWindow), [&session, &appearance](int) {
        appearance.applyColours(session.preferences().textColor, session.preferences().backgroundColor);
    });
}

} // namespace tarnivel
