// Text through LogRenderer::append into a log document, in pieces as lines arrive: the
// document must hold exactly the text (line breaks by the log's rules, a long line read back
// whole across its continuation blocks), emphasised where asked, and underlined exactly on
// the "http://" addresses.
//
// Input: pieces, each a flags byte (1: emphasised, 2: addresses underlined), a length byte
// n and n bytes of UTF-8 (n = 255: the rest of the input).

#include "fuzzcheck.h"
#include "fuzzapp.h"

#include "conversation/logrenderer.h"

#include <QFont>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFragment>

#include <vector>

using namespace tarnivel;

namespace {

// One character of the log as the document should show it; a break ends a paragraph.
struct Shown
{
    QChar c;
    bool isBreak = false;
    bool underlined = false;
    bool emphasised = false;
    bool operator==(const Shown &) const = default;
};

bool endsParagraph(QChar c)
{
    // The document's own paragraph separators count as well as CR and LF.
    return c == u'\r' || c == u'\n' || c == QChar::ParagraphSeparator || c == QChar(0xFDD0) || c == QChar(0xFDD1);
}

bool isAddressCharacter(QChar c)
{
    const char16_t code = c.unicode();
    return (code >= 0x21 && code <= 0x7E) || (code >= 0xFF61 && code <= 0xFF9F);
}

// The expected log, piece by piece.
class Model
{
public:
    void append(QString text, bool emphasised, bool underline)
    {
        if (!text.isEmpty()) {
            if (m_endsInCr && text.front() == u'\n')
                text.remove(0, 1); // the second half of a CR LF pair
            m_endsInCr = text.endsWith(u'\r');
        }
        std::vector<bool> marked(size_t(text.size()), false);
        if (underline) {
            for (qsizetype at = text.indexOf(QLatin1String("http://")); at >= 0;
                 at = text.indexOf(QLatin1String("http://"), at)) {
                while (at < text.size() && isAddressCharacter(text.at(at)))
                    marked[size_t(at++)] = true;
            }
        }
        for (qsizetype i = 0; i < text.size(); ++i) {
            const QChar c = text.at(i);
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                continue; // the LF makes the break
            if (endsParagraph(c))
                shown.push_back({u'\n', true, false, false});
            else
                shown.push_back({c, false, marked[size_t(i)], emphasised});
        }
    }

    // The log's text as logText() gives it: one line per line, each character as written.
    QString text() const
    {
        QString text;
        for (const Shown &s : shown)
            text += s.c;
        return text;
    }

    std::vector<Shown> shown;

private:
    bool m_endsInCr = false;
};

std::vector<Shown> shownBy(const QTextDocument &document)
{
    std::vector<Shown> shown;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        // A long line goes on in continuation blocks: they end no line.
        if (block != document.begin() && !continuesLine(block))
            shown.push_back({u'\n', true, false, false});
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            const bool bold = format.fontWeight() == QFont::Bold;
            check(bold == format.fontItalic(), "emphasis is bold and italic together");
            for (const QChar c : fragment.text())
                shown.push_back({c, false, format.fontUnderline(), bold});
        }
    }
    return shown;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    fuzz::startGuiApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const Preferences prefs;
    QTextDocument document;
    LogRenderer renderer(document, prefs);
    Model model;

    size_t pos = 0;
    while (pos < size) {
        const uint8_t flags = data[pos++];
        const size_t wanted = pos < size ? data[pos++] : 0;
        const size_t n = wanted == 255 || wanted > size - pos ? size - pos : wanted;
        const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data + pos), qsizetype(n));
        pos += n;
        const bool emphasised = flags & 1;
        const bool underline = flags & 2;
        renderer.append(text, emphasised ? Emphasis::On : Emphasis::Off,
                        underline ? Addresses::Underlined : Addresses::Plain);
        model.append(text, emphasised, underline);
    }

    check(logText(document) == model.text(), "the log does not read back as the text");
    check(shownBy(document) == model.shown, "emphasis or address marking differs");
    return 0;
}
