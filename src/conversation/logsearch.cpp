#include "conversation/logsearch.h"

#include "conversation/logrenderer.h"

#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <array>

namespace tarnivel {

namespace {

// Half-width voiced and semi-voiced sound marks: letters on their own, but under NFKC they
// join the kana before them, so they belong to its piece.
bool joinsPrevious(QChar c)
{
    return c.isMark() || c.unicode() == 0xFF9E || c.unicode() == 0xFF9F;
}

QString foldPiece(QStringView piece)
{
    return piece.toString().normalized(QString::NormalizationForm_KC).toCaseFolded();
}

// Most pieces are one BMP character: their folded forms are kept once computed.
const QString &foldCharacter(QChar c)
{
    static std::array<QString, 0x10000> folded;
    static std::array<bool, 0x10000> known{};
    const char16_t u = c.unicode();
    if (!known[u]) {
        folded[u] = foldPiece(QStringView(&c, 1));
        known[u] = true;
    }
    return folded[u];
}

// Calls take(folded, start, end) for each piece of text (a character with the marks that
// join it), start and end being offsets into text.
template <typename Sink>
void foldPieces(QStringView text, Sink &&take)
{
    qsizetype i = 0;
    while (i < text.size()) {
        qsizetype end = i + 1;
        if (text.at(i).isHighSurrogate() && end < text.size() && text.at(end).isLowSurrogate())
            ++end;
        while (end < text.size() && joinsPrevious(text.at(end)))
            ++end;
        if (end == i + 1) {
            const QChar c = text.at(i);
            if (c.unicode() < 0x80) {
                const QChar lower = (c >= u'A' && c <= u'Z') ? QChar(c.unicode() + 0x20) : c;
                take(QStringView(&lower, 1), i, end);
            } else {
                take(QStringView(foldCharacter(c)), i, end);
            }
        } else {
            const QString folded = foldPiece(text.mid(i, end - i));
            take(QStringView(folded), i, end);
        }
        i = end;
    }
}

} // namespace

QString foldForSearch(const QString &text)
{
    QString folded;
    folded.reserve(text.size());
    foldPieces(text, [&](QStringView piece, qsizetype, qsizetype) { folded += piece; });
    return folded;
}

LogSearch::LogSearch(const QTextDocument &document, QObject *parent) : QObject(parent), m_document(document)
{
    // A document announces where it changed only once it has a layout (a view gives it one).
    document.documentLayout();
    connect(&document, &QTextDocument::contentsChange, this,
            [this](int position, int removed, int added) { noteChange(position, removed, added); });
    catchUp();
}

void LogSearch::noteChange(int position, int removed, int added)
{
    // The oldest lines left: what was folded from the rest stays.
    if (position == 0 && added == 0 && removed > 0) {
        dropFront(removed);
        return;
    }
    // The first block's format changed (it no longer goes on with a line that left): its
    // text, which is all that is folded, did not.
    if (position == 0 && removed == added && removed <= m_document.begin().length())
        return;
    m_staleFrom = m_staleFrom < 0 ? position : std::min(m_staleFrom, position);
    // Lines that arrive together are folded together, once they are all in.
    if (m_catchUpQueued)
        return;
    m_catchUpQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_catchUpQueued = false;
            catchUp();
        },
        Qt::QueuedConnection);
}

void LogSearch::catchUp()
{
    if (m_staleFrom < 0)
        return;
    QTextBlock block = m_document.findBlock(m_staleFrom);
    if (!block.isValid())
        block = m_document.lastBlock();
    // Drop what was folded from this block on, the line break before it included.
    const int cut = block.position() - 1;
    const auto keep = std::lower_bound(m_from.begin(), m_from.end(), cut) - m_from.begin();
    m_folded.truncate(keep);
    m_from.resize(size_t(keep));

    // No reserve here: growing by what arrived keeps the containers' own doubling, where an
    // exact reserve would copy the whole folded log for every line.
    const int from = block.position();
    const auto addPiece = [&](QStringView piece, int start) {
        if (piece.size() == 1) { // nearly always
            m_folded.append(piece.front());
            m_from.push_back(start);
            return;
        }
        m_folded += piece;
        m_from.insert(m_from.end(), size_t(piece.size()), start);
    };
    if (block != m_document.begin() && !continuesLine(block)) {
        m_folded += QLatin1Char('\n');
        m_from.push_back(from - 1);
    }
    // Block by block: a block that goes on with the line before it is joined to it
    // without a break.
    for (; block.isValid(); block = block.next()) {
        const int position = block.position();
        const QString text = block.text();
        foldPieces(text,
                   [&](QStringView piece, qsizetype start, qsizetype) { addPiece(piece, position + int(start)); });
        const QTextBlock next = block.next();
        if (next.isValid() && !continuesLine(next)) {
            m_folded += QLatin1Char('\n');
            m_from.push_back(position + int(text.size()));
        }
    }
    m_staleFrom = -1;
}

// The lines before position `removed` left, with the line break after them (folded at the
// break's own position, so it goes with them).
void LogSearch::dropFront(int removed)
{
    const auto gone = std::lower_bound(m_from.begin(), m_from.end(), removed) - m_from.begin();
    m_folded.remove(0, gone);
    m_from.erase(m_from.begin(), m_from.begin() + gone);
    for (int &from : m_from)
        from -= removed;
    if (m_staleFrom >= 0)
        m_staleFrom = std::max(m_staleFrom - removed, 0);
}

// Where the source of a folded character ends: where the next source begins (a character
// folded into several shares its source with its neighbours).
int LogSearch::sourceEnd(qsizetype folded) const
{
    const int start = m_from[size_t(folded)];
    for (size_t next = size_t(folded) + 1; next < m_from.size(); ++next) {
        if (m_from[next] > start)
            return m_from[next];
    }
    return std::max(start + 1, m_document.characterCount() - 1);
}

QList<LogMatch> LogSearch::findAll(const QString &needle)
{
    QList<LogMatch> matches;
    const QString folded = foldForSearch(needle);
    if (folded.isEmpty())
        return matches;
    catchUp();
    qsizetype at = m_folded.indexOf(folded, 0, Qt::CaseSensitive);
    while (at >= 0) {
        matches.append({m_from[size_t(at)], sourceEnd(at + folded.size() - 1)});
        at = m_folded.indexOf(folded, at + folded.size(), Qt::CaseSensitive);
    }
    return matches;
}

} // namespace tarnivel
