#pragma once
// "近くのたるにべ": the copies found on the same network, one row each with name, address
// and member count, those already in our chat marked. Not modal: it follows arrivals and
// departures while it is open (it browses only then). Enter or a double click on a row asks
// to join that copy; one line under the list says how the search goes.

#include "discovery/landiscovery.h"

#include <QWidget>

class QLabel;
class QTreeWidget;

namespace tarnivel {

class LanPresence;

class NearbyWindow : public QWidget
{
    Q_OBJECT
public:
    enum Column { NameColumn, AddressColumn, CountColumn, MarkColumn };

    explicit NearbyWindow(LanPresence &lan, QWidget *parent = nullptr);
    ~NearbyWindow() override;

    // The line under the list for this state of the search.
    static QString statusText(LanAvailability availability, qsizetype rows);

    QTreeWidget *list() const { return m_list; }
    QLabel *statusLine() const { return m_statusLine; }

signals:
    // The user chose the copy at this address.
    void joinRequested(const QString &address);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fill();
    void joinCurrent();

    LanPresence &m_lan;
    QTreeWidget *m_list;
    QLabel *m_statusLine;
};

} // namespace tarnivel
