#include "ui/qtdesktopattention.h"

#include "ui/programicon.h"

#include <QApplication>
#include <QPainter>
#include <QSystemTrayIcon>

namespace tarnivel {

namespace {
// The program icon with the count in a red disc in its corner.
QIcon iconWithCount(int count)
{
    QPixmap pixmap = programIcon().pixmap(32, 32);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF disc(12, 12, 20, 20);
    painter.setBrush(QColor(200, 30, 30));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(disc);
    QFont font = painter.font();
    font.setPixelSize(count > 99 ? 9 : 13);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(disc, Qt::AlignCenter, count > 999 ? QStringLiteral("999+") : QString::number(count));
    return QIcon(pixmap);
}
} // namespace

QtDesktopAttention::QtDesktopAttention(QWidget &window, std::function<void()> trayClicked)
    : m_window(window)
    , m_trayClicked(std::move(trayClicked))
{}

QtDesktopAttention::~QtDesktopAttention()
{
    delete m_tray;
}

void QtDesktopAttention::alert()
{
    QApplication::alert(&m_window);
}

bool QtDesktopAttention::trayAvailable() const
{
    return QSystemTrayIcon::isSystemTrayAvailable();
}

QSystemTrayIcon &QtDesktopAttention::tray()
{
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(programIcon());
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
            if (reason != QSystemTrayIcon::Context && m_trayClicked)
                m_trayClicked();
        });
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, [this] {
            if (m_trayClicked)
                m_trayClicked();
        });
    }
    return *m_tray;
}

void QtDesktopAttention::showUnread(int count, const QString &lastSender)
{
    if (count <= 0) {
        if (m_tray)
            m_tray->hide();
        return;
    }
    QSystemTrayIcon &icon = tray();
    icon.setIcon(iconWithCount(count));
    // Plain text: with no markup in its first line, neither Qt nor a tray host takes it for rich text.
    QString tip = QStringLiteral("たるにべ - 未読 %1 行").arg(count);
    if (!lastSender.isEmpty())
        tip += QStringLiteral("\n最後: ") + lastSender;
    icon.setToolTip(tip);
    icon.show();
}

void QtDesktopAttention::notify(const QString &title, const QString &message)
{
    if (!trayAvailable() || !QSystemTrayIcon::supportsMessages())
        return;
    QSystemTrayIcon &icon = tray();
    // A notification needs a visible icon to come from.
    if (!icon.isVisible())
        icon.show();
    // The desktop's notification server may read the body as markup (the summary never is).
    icon.showMessage(title, message.toHtmlEscaped(), QSystemTrayIcon::Information);
}

} // namespace tarnivel
