#include "testsupport.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>
#include <QTextBlock>
#include <QTextDocument>
#include <QWidget>
#include <QtTest>

namespace tarnivel::test {

// 127.B.C.n: B and C from the test program's name, so programs run side by side apart.
static QString programPrefix()
{
    const QString name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    const size_t h = qHash(name, 7u);
    return QStringLiteral("127.%1.%2.").arg(20 + int(h % 200u)).arg(1 + int((h / 200u) % 250u));
}

QHostAddress loopback(int n)
{
    return QHostAddress(programPrefix() + QString::number(n));
}

QString loopbackText(int n)
{
    return loopback(n).toString();
}

QAction *findAction(QWidget &window, const QString &name)
{
    return window.findChild<QAction *>(name);
}

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QString render(const QTextDocument &document, RenderMarks marks)
{
    QString out;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin())
            out += u'\n';
        bool underlineOpen = false;
        bool emphasisOpen = false;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            const bool underlined = format.fontUnderline();
            const bool emphasised =
                marks == RenderMarks::UnderlineAndEmphasis && format.fontWeight() == QFont::Bold && format.fontItalic();
            // An underlined run sits inside an emphasised one.
            if (underlineOpen && (!underlined || emphasised != emphasisOpen)) {
                out += u'⟧';
                underlineOpen = false;
            }
            if (emphasised != emphasisOpen) {
                out += emphasised ? u'«' : u'»';
                emphasisOpen = emphasised;
            }
            if (underlined && !underlineOpen) {
                out += u'⟦';
                underlineOpen = true;
            }
            out += it.fragment().text();
        }
        if (underlineOpen)
            out += u'⟧';
        if (emphasisOpen)
            out += u'»';
    }
    return out;
}

bool activate(QWidget &window)
{
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

} // namespace tarnivel::test
