#include "conversation/logaddress.h"

#include <QTextBlock>
#include <QTextDocument>
#include <vector>

namespace tarnivel::logaddress {

namespace {

// One flag per character of the block's text.
std::vector<bool> underlineFlags(const QTextBlock &block)
{
    std::vector<bool> flags;
    flags.reserve(size_t(block.length()));
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        flags.insert(flags.end(), size_t(fragment.length()), fragment.charFormat().fontUnderline());
    }
    return flags;
}

} // namespace

std::optional<Run> runAt(const QTextDocument &log, int position)
{
    const QTextBlock block = log.findBlock(position);
    if (!block.isValid())
        return std::nullopt;
    const std::vector<bool> underlined = underlineFlags(block);
    const int offset = position - block.position();
    const int count = int(underlined.size());

    int probe = -1;
    if (offset > 0 && offset <= count && underlined[size_t(offset - 1)])
        probe = offset - 1;
    else if (offset >= 0 && offset < count && underlined[size_t(offset)])
        probe = offset;
    if (probe < 0)
        return std::nullopt;

    int start = probe;
    while (start > 0 && underlined[size_t(start - 1)])
        --start;
    int end = probe + 1;
    while (end < count && underlined[size_t(end)])
        ++end;
    return Run{block.position() + start, block.position() + end};
}

std::optional<QUrl> urlOf(const QTextDocument &log, const Run &run)
{
    const QTextBlock block = log.findBlock(run.start);
    const QString text = block.text().mid(run.start - block.position(), run.end - run.start);
    if (!text.startsWith(QLatin1String("http://")))
        return std::nullopt;
    const QUrl url(text, QUrl::TolerantMode);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
        return std::nullopt;
    return url;
}

} // namespace tarnivel::logaddress
