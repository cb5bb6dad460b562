// The dotted-address test on any text: blanks around the whole change nothing, and four
// numbers from 0 to 255 joined by full stops always pass.

#include "fuzzcheck.h"
#include "address/dottedaddress.h"

using namespace tarnivel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const bool dotted = isDottedAddress(text);
    check(isDottedAddress(u' ' + text + u'\t') == dotted, "blanks around the text change the answer");
    if (dotted)
        check(text.count(u'.') >= 3 && !text.contains(u'\n') && !text.contains(u'\r'), "accepted a non-address");
    if (size >= 4) {
        const QString address = QStringLiteral("%1.%2.%3.%4").arg(data[0]).arg(data[1]).arg(data[2]).arg(data[3]);
        check(isDottedAddress(address), "refused a plain address");
    }
    return 0;
}
