#pragma once
// The log box (txtWin): read-only rich text. One click in a web address selects it, a double
// click opens it; the right button asks for the log's pop-up menu.

#include <QTextCursor>
#include <QTextEdit>
#include <QUrl>

#include <optional>

namespace tarnivel {

class LogView : public QTextEdit
{
    Q_OBJECT

public:
    explicit LogView(QWidget *parent = nullptr);

    // The unread marker: a thin rule drawn over the log before the block that holds
    // `position`, never part of the text. It moves with the text and goes when the log is
    // emptied, when the user scrolls to it or when hideUnreadMarker() is called.
    void showUnreadMarker(int position);
    void hideUnreadMarker();
    // Where the marker stands now; nothing when it is not shown.
    std::optional<int> unreadMarker() const;

signals:
    // The right button went down at this screen position.
    void editMenuRequested(const QPoint &globalPosition);
    // A double click on an address; the URL is always http.
    void addressOpened(const QUrl &url);

protected:
    void paintEvent(QPaintEvent *event) override;
    // Plain text as saved: a long line that the log holds in several blocks is one line.
    QMimeData *createMimeDataFromSelection() const override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    void userScrolled();

    // The release that ends a double click is no click of its own.
    bool m_endingDoubleClick = false;
    std::optional<QTextCursor> m_unreadMarker;
};

} // namespace tarnivel
