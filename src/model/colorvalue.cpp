#include "model/colorvalue.h"

#include "model/preferences.h"

#include <QTextCharFormat>

#include <array>

namespace tarnivel {

namespace {

constexpr quint32 systemFlag = 0x80000000u;

// Where a text format keeps the colour value it was given.
constexpr int ColorValueProperty = QTextFormat::UserProperty + 0x7C0;

// Desktop colour numbers 0..30 and the palette role that plays the same part.
constexpr std::array<std::optional<QPalette::ColorRole>, 31> systemRoles = {
    QPalette::Button,          // 0 scroll bar
    QPalette::Window,          // 1 desktop background
    QPalette::Highlight,       // 2 active caption
    QPalette::Mid,             // 3 inactive caption
    QPalette::Window,          // 4 menu background
    QPalette::Base,            // 5 window background
    QPalette::Shadow,          // 6 window frame
    QPalette::WindowText,      // 7 menu text
    QPalette::Text,            // 8 window text
    QPalette::HighlightedText, // 9 caption text
    QPalette::Button,          // 10 active border
    QPalette::Button,          // 11 inactive border
    QPalette::Dark,            // 12 application workspace
    QPalette::Highlight,       // 13 highlight
    QPalette::HighlightedText, // 14 highlighted text
    QPalette::Button,          // 15 button face
    QPalette::Dark,            // 16 button shadow
    QPalette::PlaceholderText, // 17 grey text
    QPalette::ButtonText,      // 18 button text
    QPalette::WindowText,      // 19 inactive caption text
    QPalette::Light,           // 20 button highlight
    QPalette::Shadow,          // 21 3D dark shadow
    QPalette::Midlight,        // 22 3D light
    QPalette::ToolTipText,     // 23 tooltip text
    QPalette::ToolTipBase,     // 24 tooltip background
    std::nullopt,              // 25 not used by the desktop
    QPalette::Link,            // 26 hot-tracked item
    QPalette::Highlight,       // 27 active caption gradient
    QPalette::Mid,             // 28 inactive caption gradient
    QPalette::Highlight,       // 29 menu highlight
    QPalette::Window,          // 30 menu bar
};

} // namespace

bool isSystemColorValue(qint32 value)
{
    return (quint32(value) & 0xFFFFFF00u) == systemFlag;
}

std::optional<QPalette::ColorRole> systemColorRole(qint32 value)
{
    if (!isSystemColorValue(value))
        return std::nullopt;
    const quint32 index = quint32(value) & 0xFFu;
    if (index >= systemRoles.size())
        return std::nullopt;
    return systemRoles[index];
}

QColor resolveColorValue(qint32 value, const QPalette &palette)
{
    if (value >= 0) {
        // The high byte carries no colour in this encoding.
        const quint32 bgr = quint32(value);
        return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
    }
    if (const auto role = systemColorRole(value))
        return palette.color(*role);
    return {};
}

qint32 colorValueFromQColor(const QColor &color)
{
    if (!color.isValid())
        return 0;
    const QColor rgb = color.toRgb();
    return qint32(quint32(rgb.red()) | (quint32(rgb.green()) << 8) | (quint32(rgb.blue()) << 16));
}

void applyColorValue(QTextCharFormat &format, qint32 value, const QPalette &palette)
{
    const QColor color = value == SystemWindowTextColor ? QColor() : resolveColorValue(value, palette);
    if (color.isValid())
        format.setForeground(color);
    else
        format.clearForeground();
    format.setProperty(ColorValueProperty, value);
}

std::optional<qint32> colorValueOf(const QTextCharFormat &format)
{
    if (format.hasProperty(ColorValueProperty))
        return qint32(format.intProperty(ColorValueProperty));
    if (format.foreground().style() != Qt::NoBrush)
        return colorValueFromQColor(format.foreground().color());
    return std::nullopt;
}

} // namespace tarnivel
