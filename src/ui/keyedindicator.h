#pragma once
// While the copy has an invite key, the right end of the input box shows a lock and 暗号化 (the
// title stays as it always was); while the key cannot be read, a red lock and 接続停止. The
// typed text keeps clear of it.

#include <QPixmap>
#include <QWidget>

class QLineEdit;

namespace tarnivel {

class InviteKeySetting;

class KeyedIndicator : public QWidget
{
    Q_OBJECT
public:
    // Follows the setting from now on; owned by box.
    KeyedIndicator(QLineEdit &box, InviteKeySetting &setting);

    // What it says now; empty while hidden.
    QString text() const { return m_text; }

    // A padlock drawn for this height, for wherever a keyed copy is marked.
    static QPixmap lock(int height, const QColor &colour);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void refresh();
    void place();

    QLineEdit &m_box;
    InviteKeySetting &m_setting;
    QString m_text;
    QColor m_colour;
};

} // namespace tarnivel
