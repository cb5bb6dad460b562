#include "model/settingsfile.h"

#include "model/fieldfile.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tarnivel {

namespace {

using fieldfile::FieldReader;
using fieldfile::isBlank;

QStringView trimBlanks(QStringView s)
{
    while (!s.isEmpty() && isBlank(s.front()))
        s = s.mid(1);
    while (!s.isEmpty() && isBlank(s.back()))
        s.chop(1);
    return s;
}

// Sign, digits and an optional fraction as ASCII for std::from_chars (which takes no '+').
// With wholeItem the text must be nothing but the number; otherwise the leading number
// is taken and the rest ignored.
std::optional<std::string> decimalText(QStringView s, bool wholeItem)
{
    if (wholeItem)
        s = trimBlanks(s);
    while (!s.isEmpty() && isBlank(s.front()))
        s = s.mid(1);
    qsizetype i = 0;
    std::string out;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        if (s[i] == u'-')
            out += '-';
        ++i;
    }
    int digits = 0;
    auto takeDigits = [&] {
        while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
            out += char(s[i].unicode());
            ++digits;
            ++i;
        }
    };
    takeDigits();
    if (i < s.size() && s[i] == u'.') {
        out += '.';
        ++i;
        takeDigits();
    }
    if (digits == 0 || (wholeItem && i != s.size()))
        return std::nullopt;
    return out;
}

template <typename Number>
std::optional<Number> fromDecimal(const std::string &text)
{
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<double> numberItem(QStringView item)
{
    const auto text = decimalText(item, true);
    return text ? fromDecimal<double>(*text) : std::nullopt;
}

double roundHalfToEven(double v)
{
    const double whole = std::floor(v);
    const double fraction = v - whole;
    if (fraction > 0.5)
        return whole + 1;
    if (fraction < 0.5)
        return whole;
    return std::fmod(whole, 2.0) == 0 ? whole : whole + 1;
}

template <typename Int>
std::optional<Int> toInteger(double v)
{
    const double r = roundHalfToEven(v);
    if (!(r >= double(std::numeric_limits<Int>::min()) && r <= double(std::numeric_limits<Int>::max())))
        return std::nullopt;
    return Int(r);
}

bool readText(FieldReader &items, QString &target)
{
    auto item = items.next();
    if (!item)
        return false;
    target = std::move(*item);
    return true;
}

template <typename Int>
bool readInteger(FieldReader &items, Int &target)
{
    const auto item = items.next();
    const auto number = item ? numberItem(*item) : std::nullopt;
    const auto value = number ? toInteger<Int>(*number) : std::nullopt;
    if (!value)
        return false;
    target = *value;
    return true;
}

// A window edge: applied as single precision, stored as a 32-bit integer.
bool readPosition(FieldReader &items, float &applied, qint32 &stored)
{
    const auto item = items.next();
    const auto text = item ? decimalText(*item, true) : std::nullopt;
    if (!text)
        return false;
    const auto single = fromDecimal<float>(*text);
    const auto number = fromDecimal<double>(*text);
    const auto whole = number ? toInteger<qint32>(*number) : std::nullopt;
    if (!single || !whole)
        return false;
    applied = *single;
    stored = *whole;
    return true;
}

bool readSwitch(FieldReader &items)
{
    qint16 value = 0;
    return readInteger(items, value) && value == 1;
}

// The leading number of the item's text; 0 when it has none or it does not fit.
qint16 leadingNumber16(FieldReader &items)
{
    const auto item = items.next();
    if (!item)
        return 0;
    const auto text = decimalText(*item, false);
    const auto number = text ? fromDecimal<double>(*text) : std::nullopt;
    return number ? toInteger<qint16>(*number).value_or(0) : 0;
}

QString numberField(qint64 value)
{
    const QString digits = QString::number(value);
    return value < 0 ? digits + u' ' : u' ' + digits + u' ';
}

QString positionField(float value, qint32 fallback)
{
    constexpr float limit = 2147483648.0f; // 2^31: the reader stores the edge as int32
    if (!std::isfinite(value) || value < -limit || value >= limit)
        return numberField(fallback);
    if (value == 0)
        value = 0; // no "-0"
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    const QString digits = QString::fromLatin1(buffer, result.ptr - buffer);
    return value < 0 ? digits + u' ' : u' ' + digits + u' ';
}

QString textField(const QString &text)
{
    QString stored = fieldfile::storedText(text);
    stored.replace(u'\r', u' ').replace(u'\n', u' ');
    const bool needsQuotes = stored.contains(u',')
        || (!stored.isEmpty() && (isBlank(stored.front()) || isBlank(stored.back()) || stored.front() == u'"'));
    if (!needsQuotes)
        return stored;
    stored.replace(u'"', u'\'');
    return fieldfile::quotedField(stored, fieldfile::QuoteEscape::None);
}

} // namespace

std::optional<SettingsRead> parseSettings(const QString &text)
{
    FieldReader items(text, fieldfile::QuoteEscape::None);
    SettingsRead read;
    Preferences &p = read.preferences;

    qint16 state = 0;
    const bool headOk = readText(items, p.myName) && readInteger(items, p.textColor)
        && readInteger(items, p.backgroundColor) && readText(items, p.logFontName) && readInteger(items, p.logFontSize)
        && readPosition(items, read.left, p.windowLeft) && readPosition(items, read.top, p.windowTop)
        && readInteger(items, p.windowWidth) && readInteger(items, p.windowHeight) && readInteger(items, state)
        && state >= 0 && state <= 2 && readText(items, p.connectAddress);
    if (!headOk)
        return std::nullopt;
    p.windowState = WindowState(state);

    // From here on a bad item only keeps its default.
    p.connectSound = readSwitch(items);
    p.messageSound = readSwitch(items);
    p.alwaysOnTop = readSwitch(items);
    readText(items, p.quickServer);
    readText(items, p.addressServer);
    // Only 1 shows the column; any other number leaves it hidden.
    p.showPeers = leadingNumber16(items) == 1;
    return read;
}

QByteArray serializeSettings(const Preferences &p, float left, float top)
{
    return fieldfile::fieldLines({
        textField(p.myName),
        numberField(p.textColor),
        numberField(p.backgroundColor),
        textField(p.logFontName),
        numberField(p.logFontSize),
        positionField(left, p.windowLeft),
        positionField(top, p.windowTop),
        numberField(p.windowWidth),
        numberField(p.windowHeight),
        numberField(qint16(p.windowState)),
        textField(p.connectAddress),
        numberField(p.connectSound ? 1 : 0),
        numberField(p.messageSound ? 1 : 0),
        numberField(p.alwaysOnTop ? 1 : 0),
        textField(p.quickServer),
        textField(p.addressServer),
        numberField(p.showPeers ? 1 : 0),
    });
}

std::optional<SettingsRead> loadSettingsFile(const QString &path)
{
    const auto text = fieldfile::readFieldFile(path, MaxSettingsFileBytes);
    return text ? parseSettings(*text) : std::nullopt;
}

bool saveSettingsFile(const QString &path, const Preferences &preferences, float left, float top)
{
    if (preferences.myName.isEmpty())
        return false;
    return fieldfile::writeFieldFile(path, serializeSettings(preferences, left, top));
}

} // namespace tarnivel
