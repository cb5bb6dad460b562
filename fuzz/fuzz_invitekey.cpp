// The invite key reader on any text: a text it takes is a key whose own text reads back as the
// same key; one it refuses says why; nothing it is given makes it fail.

#include "model/invitekey.h"

#include <cstdio>
#include <cstdlib>

using namespace tarnivel;

namespace {

void check(bool condition, const char *what)
{
    if (condition)
        return;
    std::fprintf(stderr, "fuzz_invitekey: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const InviteKeyRead read = readInviteKeyText(text);
    check(read.key.has_value() == (read.problem == InviteKeyProblem::None), "a key and a problem, or neither");
    check(read.key || !inviteKeyProblemText(read).isEmpty(), "refused without saying why");
    if (read.key) {
        check(read.key->size() == InviteKeyBytes, "a key of the wrong size");
        const InviteKeyRead again = readInviteKeyText(inviteKeyText(*read.key));
        check(again.key == read.key, "a key's own text reads back as another");
    }
    // The bytes themselves as a key: always written and read back whole.
    if (size >= size_t(InviteKeyBytes)) {
        const QByteArray key(reinterpret_cast<const char *>(data), InviteKeyBytes);
        check(readInviteKeyText(inviteKeyText(key)).key == key, "a written key does not read back");
    }
    return 0;
}
