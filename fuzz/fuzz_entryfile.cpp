// Directory entry files: any bytes are read (code page 932, comma and quote rules), and an
// entry, whether read from a file or made up, is written and read back to itself, as far as
// code page 932 can hold its text and less the blanks in front of its fields.
//
// Input: the file's bytes. The same bytes also make up an entry: the first byte chooses
// where the URL ends and the room begins, and whether both are UTF-8 or raw UTF-16.

#include "fuzzcheck.h"
#include "directory/entryfile.h"
#include "text/codepage932.h"

using namespace tarnivel;

namespace {

// A field as a file can hold it: code page 932, without the blanks in front every reader skips.
QString keptField(const QString &field)
{
    QString stored = cp932::decode(cp932::encode(field));
    qsizetype blanks = 0;
    while (blanks < stored.size() && (stored[blanks] == u' ' || stored[blanks] == u'\t'))
        ++blanks;
    return stored.mid(blanks);
}

DirectoryEntry kept(const DirectoryEntry &entry)
{
    return {keptField(entry.url), keptField(entry.room)};
}

void checkRoundTrip(const DirectoryEntry &entry)
{
    const QByteArray bytes = serializeEntry(entry);
    check(serializeEntry(kept(entry)) == bytes, "an entry and its stored form are written differently");
    const std::optional<DirectoryEntry> read = parseEntry(bytes);
    check(read.has_value(), "a written entry does not read back");
    check(*read == kept(entry), "a written entry reads back changed");
    check(serializeEntry(*read) == bytes, "a read entry is written differently");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const std::optional<DirectoryEntry> read = parseEntry(bytes))
        checkRoundTrip(*read);

    if (size > 0) {
        // UTF-16 as it comes reaches lone surrogates and characters UTF-8 input rarely does.
        const auto text = [odd = data[0] % 2 == 1](const QByteArray &part) {
            return odd ? QString(reinterpret_cast<const QChar *>(part.constData()), part.size() / 2)
                       : QString::fromUtf8(part);
        };
        const qsizetype urlEnd = 1 + qsizetype(data[0]) % qsizetype(size);
        checkRoundTrip({text(bytes.mid(1, urlEnd - 1)), text(bytes.mid(urlEnd))});
    }
    return 0;
}
