#include "splashwindow.h"

#include <QFont>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>

#include <iterator>

namespace tarnivel {

namespace {

QFont titleFont(int pixelSize, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"), QStringLiteral("ＭＳ Ｐゴシック")});
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

// A few linked dots in the right-hand corner: the copies of a chat holding hands.
void drawMeshMotif(QPainter &painter)
{
    const QPointF dots[] = {{160, 18}, {184, 30}, {172, 54}, {148, 44}};
    painter.setPen(QPen(QColor(255, 255, 255, 170), 1.2));
    const int count = int(std::size(dots));
    for (int from = 0; from < count; ++from)
        for (int to = from + 1; to < count; ++to)
            painter.drawLine(dots[from], dots[to]);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 220));
    for (const QPointF &dot : dots)
        painter.drawEllipse(dot, 4.0, 4.0);
}

} // namespace

void drawSplashPicture(QPainter &painter)
{
    const QRectF area(0, 0, SplashPictureWidth, SplashPictureHeight);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    QLinearGradient background(area.topLeft(), area.bottomRight());
    background.setColorAt(0.0, QColor(0x7f, 0xb8, 0xe6));
    background.setColorAt(0.55, QColor(0xb9, 0xa7, 0xe0));
    background.setColorAt(1.0, QColor(0xf2, 0xb5, 0xc8));
    painter.fillRect(area, background);

    drawMeshMotif(painter);

    // Title with a soft shadow so it reads on every part of the gradient.
    const QRectF titleArea(14, 10, 150, 38);
    painter.setFont(titleFont(28, true));
    painter.setPen(QColor(40, 40, 90, 90));
    painter.drawText(titleArea.translated(1.5, 1.5), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("たるにべ"));
    painter.setPen(Qt::white);
    painter.drawText(titleArea, Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("たるにべ"));

    painter.setFont(titleFont(14, false));
    painter.setPen(QColor(255, 255, 255, 235));
    painter.drawText(QRectF(16, 50, 150, 22), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("tarnivel"));

    painter.setPen(QPen(QColor(255, 255, 255, 140), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(area.adjusted(0.5, 0.5, -0.5, -0.5));
    painter.restore();
}

SplashPicture::SplashPicture(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("PicStart"));
    setFixedSize(SplashPictureWidth, SplashPictureHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SplashPicture::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawSplashPicture(painter);
}

void SplashPicture::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
}

void SplashPicture::mouseReleaseEvent(QMouseEvent *event)
{
    // A click is a press and a release of the left button both on the picture.
    const bool completed =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    m_pressed = false;
    if (completed)
        emit clicked();
}

SplashWindow::SplashWindow(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_picture(new SplashPicture(this))
{
    setObjectName(QStringLiteral("frmSplash"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(m_picture->size());
    m_picture->move(0, 0);

    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - rect().center());
    }

    // The window hides at once; the event loop deletes it afterwards.
    connect(m_picture, &SplashPicture::clicked, this, &QWidget::close);
}

void SplashWindow::paintNow()
{
    repaint();
}

} // namespace tarnivel
