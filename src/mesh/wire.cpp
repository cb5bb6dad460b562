#include "mesh/wire.h"

#include "text/codepage932.h"

namespace tarnivel::wire {

namespace {

bool startsWith(const QString &arrival, QChar mark)
{
    return !arrival.isEmpty() && arrival.front() == mark;
}

// A greeting names the sender with everything after its mark.
ChatArrival classify(const QString &arrival, QChar greetingMark, ChatArrivalKind greetingKind)
{
    if (arrival.contains(RefuseMark))
        return {ChatArrivalKind::Ignored, {}};
    if (startsWith(arrival, greetingMark))
        return {greetingKind, arrival.mid(1)};
    return {ChatArrivalKind::ChatText, {}};
}

} // namespace

QByteArray encode(const QString &message)
{
    return cp932::encode(message);
}

QString decode(const QByteArray &arrival)
{
    return cp932::decode(arrival);
}

QString hello(const QString &myName)
{
    return HelloMark + myName;
}

QString welcome(const QString &myName)
{
    return ReplyMark + myName;
}

QString joinRequest()
{
    return QString(HelloMark);
}

QString peerList(const QString &ownAddress, const QStringList &peers)
{
    QString list = ReplyMark + ownAddress + ReplyMark;
    for (const QString &peer : peers)
        list += peer + ReplyMark;
    return list;
}

QString full()
{
    return QString(RefuseMark);
}

ChatArrival classifyOnAccepted(const QString &arrival)
{
    return classify(arrival, HelloMark, ChatArrivalKind::Hello);
}

ChatArrival classifyOnDialled(const QString &arrival)
{
    return classify(arrival, ReplyMark, ChatArrivalKind::Welcome);
}

bool isJoinRequest(const QString &arrival)
{
    return startsWith(arrival, HelloMark);
}

JoinReply classifyJoinReply(const QString &arrival)
{
    if (startsWith(arrival, ReplyMark))
        return {JoinReplyKind::PeerList, splitPeerList(arrival)};
    if (startsWith(arrival, RefuseMark))
        return {JoinReplyKind::Full, {}};
    return {JoinReplyKind::Error, {}};
}

QStringList splitPeerList(const QString &arrival)
{
    QStringList fields;
    qsizetype previousMark = arrival.indexOf(ReplyMark);
    if (previousMark < 0)
        return fields;
    // A longer list is cut at the last mark that fits; its surplus fields are ignored.
    for (int marks = 1; marks < MaxPeerListMarks; ++marks) {
        const qsizetype mark = arrival.indexOf(ReplyMark, previousMark + 1);
        if (mark < 0)
            break;
        fields.append(arrival.mid(previousMark + 1, mark - previousMark - 1));
        previousMark = mark;
    }
    return fields;
}

} // namespace tarnivel::wire
