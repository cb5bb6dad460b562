#include "conversation/logaddress.h"

#include "conversation/logrenderer.h"

#include <QTextBlock>
#include <QTextDocument>
#include <algorithm>
#include <vector>

namespace tarnivel::logaddress {

namespace {

struct Character
{
    int position;
    bool underlined;
};

// The characters of the line that holds `block`, across its continuation blocks.
std::vector<Character> lineCharacters(QTextBlock block)
{
    while (continuesLine(block) && block.previous().isValid())
        block = block.previous();
    std::vector<Character> characters;
    do {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const bool underlined = fragment.charFormat().fontUnderline();
            for (int i = 0; i < fragment.length(); ++i)
                characters.push_back({fragment.position() + i, underlined});
        }
        block = block.next();
    } while (block.isValid() && continuesLine(block));
    return characters;
}

} // namespace

std::optional<Run> runAt(const QTextDocument &log, int position, Probe probe)
{
    const QTextBlock block = log.findBlock(position);
    if (!block.isValid())
        return std::nullopt;
    const std::vector<Character> line = lineCharacters(block);
    const auto count = std::ptrdiff_t(line.size());
    // The first character at or behind the insertion point; the one before it is just before.
    const std::ptrdiff_t after =
        std::partition_point(line.begin(), line.end(), [position](const Character &c) { return c.position < position; })
        - line.begin();
    std::ptrdiff_t at = -1;
    if (after > 0 && line[size_t(after - 1)].underlined)
        at = after - 1;
    else if (probe == Probe::BeforeOrAfter && after < count && line[size_t(after)].underlined)
        at = after;
    if (at < 0)
        return std::nullopt;

    std::ptrdiff_t first = at;
    while (first > 0 && line[size_t(first - 1)].underlined)
        --first;
    std::ptrdiff_t last = at;
    while (last + 1 < count && line[size_t(last + 1)].underlined)
        ++last;
    return Run{line[size_t(first)].position, line[size_t(last)].position + 1};
}

std::optional<QUrl> urlOf(const QTextDocument &log, const Run &run)
{
    // A run lies within one line: its blocks join without a break.
    QString text;
    for (QTextBlock block = log.findBlock(run.start); block.isValid() && block.position() < run.end;
         block = block.next()) {
        const int from = std::max(run.start - block.position(), 0);
        const int to = std::min(run.end - block.position(), block.length() - 1);
        text += block.text().mid(from, to - from);
    }
    if (!text.startsWith(QLatin1String("http://")))
        return std::nullopt;
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
        return std::nullopt;
    return url;
}

} // namespace tarnivel::logaddress
