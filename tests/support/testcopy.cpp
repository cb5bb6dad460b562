#include "testcopy.h"

#include "testsupport.h"

#include <QLineEdit>
#include <QListWidget>

namespace tarnivel::test {

TestCopy::TestCopy(int n, const QString &name)
    : m_address(loopbackText(n))
    , m_name(name)
{
    SessionOptions options;
    options.programFolder = m_folder.path();
    options.shippedFolder = m_shippedFolder.path();
    options.bindAddress = loopback(n);
    options.dialup = &dialup;
    options.sound = &sound;
    options.urlOpener = &urlOpener;
    m_window = std::make_unique<MainWindow>(options);
    m_window->load(QString());
    session().setMyName(name);
}

TestCopy::~TestCopy()
{
    m_window->unload();
}

void TestCopy::joinThrough(const QString &address)
{
    session().joinAddress(address);
}

void TestCopy::say(const QString &text)
{
    m_window->input()->setText(text);
    session().composer().enterPressed();
}

QString TestCopy::logText() const
{
    return m_window->session().logDocument().toPlainText();
}

QString TestCopy::title() const
{
    return m_window->windowTitle();
}

int TestCopy::connectionCount()
{
    return session().mesh().connectionCount();
}

int TestCopy::namedMemberCount()
{
    ConnectionRoster &s = session().meshForTests().roster();
    int named = 0;
    for (int i = 0; i < ConnectionRoster::MemberSlots; ++i) {
        for (Socket *socket : {&s.accepted(i), &s.dialled(i)}) {
            if (socket->isConnected() && !socket->memberName().isEmpty() && socket->memberName() != socket->remoteHost())
                ++named;
        }
    }
    return named;
}

QStringList TestCopy::members()
{
    QStringList names;
    for (int i = 0; i < m_window->memberList()->count(); ++i)
        names << m_window->memberList()->item(i)->text();
    return names;
}

} // namespace tarnivel::test
