#pragma once
// The status lines the mesh writes into the log. Each is complete text with its CR LF;
// member names appear as displayName shows them, an address to join (typed, or a directory
// server's answer) as shownText shows it.

#include "model/member.h"

#include <QString>

namespace tarnivel::statusline {

inline const QString crlf = QStringLiteral("\r\n");

inline QString connecting(const QString &address)
{
    return QStringLiteral(" ●") + shownText(address) + QStringLiteral(" に接続中...") + crlf;
}
inline QString cannotConnect()
{
    return QStringLiteral(" ●接続できません。") + crlf;
}
inline QString disconnected()
{
    return crlf + QStringLiteral(" ●切断しました。") + crlf + crlf;
}
inline QString connected(const QString &name)
{
    return crlf + QStringLiteral(" ●") + displayName(name) + QStringLiteral(" と接続されました。") + crlf;
}
inline QString cut(const QString &name)
{
    return QStringLiteral(" ●") + displayName(name) + QStringLiteral(" との接続が断たれました。") + crlf + crlf;
}
inline QString peerError(const QString &name, const QString &description)
{
    return QStringLiteral(" ●エラー : ") + displayName(name) + crlf + description + crlf;
}
inline QString joinRequestCame(const QString &address)
{
    return QStringLiteral(" ●接続要求がきました。") + address + crlf;
}
inline QString chatFull()
{
    return QStringLiteral(" ●満員なのでチャットに参加できません。") + crlf;
}
inline QString joinError()
{
    return QStringLiteral(" ●エラー") + crlf;
}
inline QString joinAnswerError(const QString &description)
{
    return QStringLiteral(" ●エラー : ") + crlf + description + crlf;
}
inline QString joinAskError(const QString &description)
{
    return QStringLiteral(" ●エラー") + crlf + description + crlf;
}

// Not among the classic lines: a listener that cannot be had leaves the copy unreachable.
inline QString portUnavailable(quint16 port)
{
    return QStringLiteral(" ●ポート%1を開けません。ほかのプログラムが使っているようです。").arg(port) + crlf;
}
// Not among the classic lines: a handshake with the invite key failed, on an accepted
// connection (a copy without our key dialled us) or a dialled one.
inline QString keyRefused(const QString &address)
{
    return QStringLiteral(" ●招待キーの違う相手からの接続を断りました: ") + shownText(address) + crlf;
}
inline QString keyMismatch(const QString &address)
{
    return QStringLiteral(" ●") + shownText(address) + QStringLiteral(" とは招待キーが合わないので接続できません")
        + crlf;
}
// Not among the classic lines: a connection that sent too much without greeting was closed.
inline QString ungreetedClosed(const QString &address)
{
    return QStringLiteral(" ●") + address + QStringLiteral(" が名乗らずに送り続けたので、接続を切りました。") + crlf;
}

} // namespace tarnivel::statusline
