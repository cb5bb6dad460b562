#include "address/dottedaddress.h"

#include <QStringView>
#include <optional>

namespace tarnivel {

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// The value of a part in plain decimal notation, or nothing when it is not a number.
std::optional<double> readNumber(QStringView part)
{
    qsizetype begin = 0;
    qsizetype end = part.size();
    while (begin < end && isBlank(part[begin]))
        ++begin;
    while (end > begin && isBlank(part[end - 1]))
        --end;
    const QStringView number = part.sliced(begin, end - begin);

    qsizetype i = 0;
    bool negative = false;
    if (i < number.size() && (number[i] == u'+' || number[i] == u'-')) {
        negative = number[i] == u'-';
        ++i;
    }
    double value = 0.0;
    qsizetype digits = 0;
    while (i < number.size() && isDigit(number[i])) {
        value = value * 10.0 + (number[i].unicode() - u'0');
        ++i;
        ++digits;
    }
    if (i < number.size() && number[i] == u'.') {
        ++i;
        double scale = 0.1;
        while (i < number.size() && isDigit(number[i])) {
            value += scale * (number[i].unicode() - u'0');
            scale /= 10.0;
            ++i;
            ++digits;
        }
    }
    if (digits == 0 || i != number.size())
        return std::nullopt;
    return negative ? -value : value;
}

bool isOctet(QStringView part)
{
    const auto value = readNumber(part);
    return value && *value >= 0.0 && *value <= 255.0;
}

} // namespace

bool isDottedAddress(const QString &text)
{
    if (text.isEmpty())
        return false;
    const QStringView view(text);
    qsizetype start = 0;
    for (int stop = 0; stop < 3; ++stop) {
        const qsizetype dot = view.indexOf(u'.', start);
        if (dot < 0 || !isOctet(view.sliced(start, dot - start)))
            return false;
        start = dot + 1;
    }
    return isOctet(view.sliced(start));
}

} // namespace tarnivel
