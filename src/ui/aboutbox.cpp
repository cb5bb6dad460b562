#include "ui/aboutbox.h"

#include "desktop/sound.h"
#include "ui/aboutmessages.h"
#include "ui/dialogframe.h"
#include "ui/programicon.h"
#include "ui/slideanimation.h"
#include "ui/splashwindow.h"

#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>

namespace tarnivel {

namespace {

// The designed places, in pixels.
constexpr QSize ClientSize{240, 118};
constexpr QRect IconPlace{16, 16, 32, 32};
constexpr QRect TitlePlace{72, 16, 153, 33};
constexpr QRect AuthorPlace{72, 56, 153, 17};
constexpr QRect TitleButtonPlace{16, 88, 92, 23};
constexpr QRect OkPlace{136, 88, 92, 23};
constexpr QRect HiddenPlace{16, 150, 92, 23};
// Where the icon goes: down to the buttons' row, then out past the right edge.
constexpr int IconLowTop = 88;
constexpr int IconOutLeft = 250;

} // namespace

int drawMessageNumber(QRandomGenerator &random)
{
    return int(random.bounded(MessageDraws));
}

int drawMessageNumber()
{
    return drawMessageNumber(*QRandomGenerator::global());
}

AboutIcon::AboutIcon(QWidget *parent) : QLabel(parent)
{
    setObjectName(QStringLiteral("picIcon"));
    setFocusPolicy(Qt::ClickFocus);
}

void AboutIcon::mousePressEvent(QMouseEvent *event)
{
    emit held();
    event->accept();
}

void AboutIcon::mouseReleaseEvent(QMouseEvent *event)
{
    emit released();
    event->accept();
}

void AboutIcon::keyPressEvent(QKeyEvent *event)
{
    // Only keys that type a character count, like a key press on the designed icon; control
    // characters too (Backspace, Ctrl+letter), which start the word over. Tab, Enter and Esc
    // never get there: they move the focus or press the dialog's buttons.
    const QString text = event->text();
    const QChar c = text.isEmpty() ? QChar() : text.at(0);
    if (text.isEmpty() || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\x1b') {
        QLabel::keyPressEvent(event);
        return;
    }
    emit typed(c);
}

AboutBox::AboutBox(SoundPlayer &sound, QString connectSoundPath, QWidget *parent)
    : QDialog(parent)
    , m_sound(sound)
    , m_connectSoundPath(std::move(connectSoundPath))
    , m_draw([] { return drawMessageNumber(); })
    , m_icon(new AboutIcon(this))
    , m_titleLabel(new QLabel(this))
    , m_authorLabel(new QLabel(QStringLiteral("Velka's Soft"), this))
    , m_titleButton(new QPushButton(QStringLiteral("Title"), this))
    , m_okButton(new QPushButton(QStringLiteral("OK"), this))
    , m_hiddenButton(new QPushButton(QStringLiteral("ここに、ゐるよ"), this))
    , m_animation(new SlideAnimation(this))
{
    setObjectName(QStringLiteral("frmVer"));
    useDialogFrame(*this);
    setWindowTitle(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
    setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    setFixedSize(ClientSize);

    m_icon->setPixmap(programIcon().pixmap(QSize(32, 32)));
    m_icon->setGeometry(IconPlace);
    m_titleLabel->setObjectName(QStringLiteral("lblTitle"));
    m_titleLabel->setText(programVersionCaption());
    m_titleLabel->setWordWrap(true);
    m_titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_titleLabel->setGeometry(TitlePlace);
    m_authorLabel->setObjectName(QStringLiteral("lblName"));
    m_authorLabel->setGeometry(AuthorPlace);
    m_titleButton->setObjectName(QStringLiteral("cmdTitle"));
    m_titleButton->setGeometry(TitleButtonPlace);
    m_okButton->setObjectName(QStringLiteral("cmdOK"));
    m_okButton->setGeometry(OkPlace);
    m_okButton->setDefault(true);
    m_hiddenButton->setObjectName(QStringLiteral("cmdHide"));
    m_hiddenButton->setGeometry(HiddenPlace);

    // Out of sight, the hidden button is still reached with Tab: OK, it, then Title.
    setTabOrder(m_okButton, m_hiddenButton);
    setTabOrder(m_hiddenButton, m_titleButton);
    m_okButton->setFocus();

    connect(m_icon, &AboutIcon::held, this, [this] { m_word.press(); });
    connect(m_icon, &AboutIcon::released, this, [this] { m_word.release(); });
    connect(m_icon, &AboutIcon::typed, this, &AboutBox::letterTyped);
    connect(m_hiddenButton, &QPushButton::clicked, this, &AboutBox::showMessage);
    connect(m_titleButton, &QPushButton::clicked, this, &AboutBox::showStartPicture);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);
}

// The animation goes first: it must not move the buttons while they are being deleted.
AboutBox::~AboutBox()
{
    delete m_animation;
}

void AboutBox::setAnimationSpeed(int pixelsPerFrame)
{
    m_animation->setPixelsPerFrame(pixelsPerFrame);
}

bool AboutBox::animating() const
{
    return m_animation->running();
}

void AboutBox::letterTyped(QChar letter)
{
    if (m_word.type(letter))
        hideIcon();
}

void AboutBox::hideIcon()
{
    m_titleButton->hide();
    using Axis = Slide::Axis;
    m_animation->start({
        {m_icon, Axis::Top, IconPlace.top(), IconLowTop},
        {m_icon, Axis::Left, IconPlace.left(), IconOutLeft},
        {m_hiddenButton, Axis::Top, HiddenPlace.top(), TitleButtonPlace.top()},
    });
}

void AboutBox::showMessage()
{
    const int n = m_draw();
    if (n == RareMessageDraw)
        m_sound.play(m_connectSoundPath);
    m_titleLabel->setText(aboutMessage(n));

    using Axis = Slide::Axis;
    m_animation->start(
        {
            {m_hiddenButton, Axis::Top, TitleButtonPlace.top(), HiddenPlace.top()},
            {m_icon, Axis::Left, IconOutLeft, IconPlace.left()},
            {m_icon, Axis::Top, IconLowTop, IconPlace.top()},
        },
        [this] {
            m_word.reset();
            m_titleButton->show();
        });
}

void AboutBox::showStartPicture()
{
    // Modal over the whole program until a click on the picture closes it; nothing waits
    // for that here. It goes with the box if the box goes first.
    auto *splash = new SplashWindow(this);
    splash->setWindowModality(Qt::ApplicationModal);
    splash->show();
}

} // namespace tarnivel
