#pragma once
// The status lines of the room exchange. Each is complete text with its CR LF. The menu
// commands' lines start with " ●"; a renewal's lines stand between empty lines and their
// heading carries no mark.

#include <QString>

namespace tarnivel::roomline {

inline const QString crlf = QStringLiteral("\r\n");

enum class From { Command, Renewal };

// "サーバ:" (or "サーバエラー:") heading, then the text on its own line.
inline QString headed(From from, const QString &heading, const QString &text)
{
    if (from == From::Renewal)
        return crlf + heading + crlf + text + crlf + crlf;
    return QStringLiteral(" ●") + heading + crlf + text + crlf;
}

inline QString serverNotFound(From from)
{
    return headed(from, QStringLiteral("サーバ:"), QStringLiteral("サーバが見つかりません"));
}
inline QString cgiError(From from)
{
    return headed(from, QStringLiteral("サーバ:"), QStringLiteral("CGIエラーです"));
}
inline QString roomNotFound(From from, const QString &room)
{
    return headed(from, QStringLiteral("サーバ:"),
                  QStringLiteral("ルーム ") + room + QStringLiteral(" が見つかりません"));
}
inline QString serverError(From from)
{
    return headed(from, QStringLiteral("サーバエラー:"), QStringLiteral("しばらくしてからつなぎなおしてください"));
}

inline QString entering(const QString &entry)
{
    return QStringLiteral(" ●サーバ: ") + entry + QStringLiteral(" に接続します") + crlf;
}
inline QString nobodyWaiting()
{
    return headed(From::Command, QStringLiteral("サーバ:"), QStringLiteral("待機中の人がいません"))
        + QStringLiteral(" ●このままお待ちください") + crlf;
}
inline QString noQuickServer()
{
    return QStringLiteral(" ●クイックサーバが登録されていません") + crlf;
}
inline QString withdrawn()
{
    return QStringLiteral(" ●サーバから切断されました") + crlf;
}

// The title suffix while waiting; the entry's name goes in unchanged.
inline QString waitTitle(const QString &entry)
{
    return QStringLiteral(" [") + entry + QStringLiteral("で待機]");
}

} // namespace tarnivel::roomline
