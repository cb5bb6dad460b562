#include "testaccess.h"
#include "testcopy.h"

#include "testsupport.h"
#include "conversation/logrenderer.h"
#include "ui/mainwindow.h"

#include <QLineEdit>
#include <QListWidget>

namespace tarnivel::test {

CopyBase::CopyBase(const QString &address, const QString &name, LanDiscovery *discovery, OutsideAccessOptions outside)
    : m_address(address)
    , m_name(name)
    , m_discovery(discovery ? discovery : &lan)
    , m_outside(outside)
{}

SessionOptions FakeDesktop::options(const QHostAddress &bindAddress)
{
    SessionOptions options;
    options.programFolder = folder.path();
    options.bindAddress = bindAddress;
    options.dialup = &dialup;
    options.sound = &sound;
    options.urlOpener = &urlOpener;
    options.lanDiscovery = &lan;
    return options;
}

SessionOptions CopyBase::options()
{
    SessionOptions options;
    options.programFolder = m_folder.path();
    options.shippedFolder = m_shippedFolder.path();
    options.bindAddress = QHostAddress(m_address);
    options.dialup = &dialup;
    options.sound = &sound;
    options.urlOpener = &urlOpener;
    options.lanDiscovery = m_discovery;
    options.outsideAccess = m_outside.on;
    options.portLeaseSeconds = m_outside.leaseSeconds;
    return options;
}

void CopyBase::joinThrough(const QString &address)
{
    session().joinAddress(address);
}

QString CopyBase::logText()
{
    return tarnivel::logText(session().logDocument());
}

int CopyBase::connectionCount()
{
    return session().mesh().connectionCount();
}

int CopyBase::namedMemberCount()
{
    ConnectionRoster &s = TestAccess::mesh(session()).roster();
    int named = 0;
    for (int i = 0; i < ConnectionRoster::MemberSlots; ++i) {
        for (Socket *socket : {&s.accepted(i), &s.dialled(i)}) {
            if (socket->isConnected() && !socket->memberName().isEmpty()
                && socket->memberName() != socket->remoteHost())
                ++named;
        }
    }
    return named;
}

// ---- Headless -------------------------------------------------------------------------

TestCopy::TestCopy(int n, const QString &name) : TestCopy(loopbackText(n), name) {}

TestCopy::TestCopy(const QString &address, const QString &name, LanDiscovery *discovery, OutsideAccessOptions outside)
    : CopyBase(address, name, discovery, outside)
    , m_session(std::make_unique<Session>(options(), m_views, m_views))
{
    m_session->load(QString(), m_views);
    m_session->setMyName(name);
}

TestCopy::~TestCopy()
{
    close();
}

void TestCopy::close()
{
    if (m_closed)
        return;
    m_closed = true;
    m_session->unload(m_views);
}

void TestCopy::say(const QString &text)
{
    m_views.input = text;
    m_session->composer().enterPressed();
}

void TestCopy::togglePeerColumn()
{
    m_session->setShowPeers(!m_session->preferences().showPeers);
}

QStringList TestCopy::members() const
{
    QStringList names;
    for (const Member &m : m_views.rows)
        names << m.name;
    return names;
}

// ---- With a window --------------------------------------------------------------------

WindowCopy::WindowCopy(int n, const QString &name) : WindowCopy(loopbackText(n), name) {}

WindowCopy::WindowCopy(const QString &address, const QString &name, LanDiscovery *discovery,
                       OutsideAccessOptions outside)
    : CopyBase(address, name, discovery, outside)
    , m_window(std::make_unique<MainWindow>(options()))
{
    m_window->load(QString());
    session().setMyName(name);
}

WindowCopy::~WindowCopy()
{
    m_window->unload();
}

Session &WindowCopy::session()
{
    return m_window->session();
}

void WindowCopy::say(const QString &text)
{
    control<QLineEdit>(*m_window, "txtInput")->setText(text);
    session().composer().enterPressed();
}

QString WindowCopy::title() const
{
    return m_window->windowTitle();
}

QStringList WindowCopy::members()
{
    QStringList names;
    for (int i = 0; i < control<QListWidget>(*m_window, "lbList")->count(); ++i)
        names << control<QListWidget>(*m_window, "lbList")->item(i)->text();
    return names;
}

} // namespace tarnivel::test
