#pragma once
// Makes a private send hard to mistake for a public one: while "個人へ送信" is chosen the
// input box is tinted and, until something is typed, names the ticked members
// ("Taro, Hanako に送信") or says that nobody is ticked. "全員へ送信" takes both away.
// The tint is painted by an overlay, so the box's own colours (the log colours) stay as set.

#include <QString>
#include <QWidget>

class QAbstractButton;
class QLineEdit;
class QListWidget;

namespace tarnivel {

class PrivateSendHint : public QWidget
{
    Q_OBJECT
public:
    // Watches the option and the tick list from now on; owned by box.
    PrivateSendHint(QLineEdit &box, QAbstractButton &sendToChosen, QListWidget &tickList);

    static inline const QString NobodyTicked =
        QStringLiteral("送信先が選ばれていません (接続先にチェックを入れてください)");
    static QString placeholderFor(const QStringList &names);

    bool tinted() const { return m_tinted; }
    static QColor tint();

    // Reads the option and the ticks again (they also announce their changes themselves).
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QLineEdit &m_box;
    QAbstractButton &m_sendToChosen;
    QListWidget &m_tickList;
    bool m_tinted = false;
};

} // namespace tarnivel
