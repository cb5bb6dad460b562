// Directory entry files: any bytes are read (code page 932, comma and quote rules), and an
// entry, whether read from a file or made up, is written and read back to itself, as far as
// code page 932 can hold its text.
//
// Input: the file's bytes. The same bytes also make up an entry: the first byte chooses
// where the URL (UTF-8) ends and the room (UTF-8) begins.

#include "directory/entryfile.h"
#include "platform/codepage932.h"

#include <cstdio>
#include <cstdlib>

using namespace tarnivel;

namespace {

void check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_entryfile: %s\n", what);
    std::abort();
}

// The entry as a file can hold it.
DirectoryEntry kept(const DirectoryEntry &entry)
{
    return {cp932::decode(cp932::encode(entry.url)), cp932::decode(cp932::encode(entry.room))};
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
        const qsizetype urlEnd = 1 + qsizetype(data[0]) % qsizetype(size);
        checkRoundTrip({QString::fromUtf8(bytes.mid(1, urlEnd - 1)), QString::fromUtf8(bytes.mid(urlEnd))});
    }
    return 0;
}
