#pragma once
// Messages between copies on the chat port and the join port. Every message is one write;
// markers are single bytes 0x01..0x04. Functions work on Unicode text; encode() and decode()
// are the one place where the mesh turns text into code page 932 bytes and back.

#include "conversation/chatline.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace tarnivel::wire {

using chatline::PrivateMark;
inline constexpr QChar HelloMark = QChar(0x02);
inline constexpr QChar ReplyMark = QChar(0x03);
inline constexpr QChar RefuseMark = QChar(0x04);

inline constexpr quint16 ChatPort = 3220;
inline constexpr quint16 JoinPort = 4330;

// A PeerList holds at most this many marks (so at most 11 addresses); surplus marks are ignored.
inline constexpr int MaxPeerListMarks = 12;

// The bytes of a message, and the text of an arrival.
QByteArray encode(const QString &message);
QString decode(const QByteArray &arrival);

// Chat port.
QString hello(const QString &myName);   // 0x02 + name
QString welcome(const QString &myName); // 0x03 + name
using chatline::privateLine;            // 0x01 + name + "（秘）: " + text + CR LF
using chatline::publicLine;             // name + "> " + text + CR LF

// Join port.
QString joinRequest();                                                 // 0x02
QString peerList(const QString &ownAddress, const QStringList &peers); // 0x03 own 0x03 (peer 0x03)*
QString full();                                                        // 0x04

// What an arrival on a chat socket is. Greetings are never split or joined; chat text that
// ends inside a line waits for the rest of it (ChatTextAssembly).
enum class ChatArrivalKind {
    Ignored,  // contains RefuseMark anywhere
    Hello,    // accepted socket, first char HelloMark; name = the rest
    Welcome,  // dialled socket, first char ReplyMark; name = the rest
    ChatText, // anything else: shown unchanged
};
struct ChatArrival
{
    ChatArrivalKind kind;
    QString name; // Hello / Welcome only
};
ChatArrival classifyOnAccepted(const QString &arrival);
ChatArrival classifyOnDialled(const QString &arrival);

// The answering copy: is this arrival a JoinRequest?
bool isJoinRequest(const QString &arrival);

// The newcomer: what came back on the join connection.
enum class JoinReplyKind { PeerList, Full, Error };
struct JoinReply
{
    JoinReplyKind kind;
    // PeerList only: field j (0-based here) belongs to dialled slot j. Fields may be empty.
    QStringList fields;
};
JoinReply classifyJoinReply(const QString &arrival);

// The fields of a PeerList: text strictly between consecutive marks among the first
// MaxPeerListMarks marks; text after the last counted mark is ignored.
QStringList splitPeerList(const QString &arrival);

} // namespace tarnivel::wire
