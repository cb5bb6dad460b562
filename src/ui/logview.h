#pragma once
// The log box (txtWin): read-only rich text. One click in a web address selects it, a double
// click opens it; the right button asks for the log's pop-up menu.

#include <QTextEdit>
#include <QUrl>

namespace tarnivel {

class LogView : public QTextEdit
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);

signals:
    // The right button went down at this screen position.
    void editMenuRequested(const QPoint &globalPosition);
    // A double click on an address; the URL is always http.
    void addressOpened(const QUrl &url);

protected:
    // Plain text as saved: a long line that the log holds in several blocks is one line.
    QMimeData *createMimeDataFromSelection() const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // The release that ends a double click is no click of its own.
    bool m_endingDoubleClick = false;
};

} // namespace tarnivel
