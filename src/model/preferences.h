#pragma once
// The user's preferences: everything the settings file "tarnivel.dat" keeps.

#include <QString>
#include <QtGlobal>

namespace tarnivel {

// Colour values: below 0x80000000 an explicit 0x00BBGGRR; 0x800000nn is desktop colour nn.
inline constexpr qint32 SystemWindowTextColor = qint32(0x80000008u);
inline constexpr qint32 SystemWindowColor = qint32(0x80000005u);

enum class WindowState : qint16 { Normal = 0, Minimized = 1, Maximized = 2 };

struct Preferences
{
    QString myName = QStringLiteral("Noname");
    qint32 textColor = SystemWindowTextColor;
    qint32 backgroundColor = SystemWindowColor;
    QString logFontName = QStringLiteral("ＭＳ Ｐゴシック");
    qint32 logFontSize = 12;
    // Main window placement in twips; the last normal placement.
    qint32 windowLeft = 0;
    qint32 windowTop = 0;
    qint32 windowWidth = 0;
    qint32 windowHeight = 0;
    WindowState windowState = WindowState::Normal;
    QString connectAddress;
    bool connectSound = false; // a sound when a member connects
    bool messageSound = false; // a sound when text enters the log
    bool alwaysOnTop = false;  // the main window stays above other windows
    QString quickServer;
    QString addressServer;
    bool showPeers = false; // the peer column; the file keeps 1 for shown
};

} // namespace tarnivel
