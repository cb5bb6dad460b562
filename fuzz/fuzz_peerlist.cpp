// What comes back on the join connection, as the newcomer reads it: the reply's kind and the
// fields of a peer list, from arbitrary bytes.

#include "fuzzcheck.h"
#include "mesh/wire.h"

using namespace tarnivel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = wire::decode(QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)));
    const QStringList fields = wire::splitPeerList(text);

    check(fields.size() < wire::MaxPeerListMarks, "more fields than marks allow");
    QString rebuilt = wire::ReplyMark;
    for (const QString &field : fields) {
        check(!field.contains(wire::ReplyMark), "a field holds a mark");
        rebuilt += field + wire::ReplyMark;
    }
    // The fields are the text between the first marks, nothing skipped or invented.
    const qsizetype firstMark = text.indexOf(wire::ReplyMark);
    if (!fields.isEmpty())
        check(text.mid(firstMark).startsWith(rebuilt), "the fields are not the text between the marks");
    if (firstMark >= 0 && fields.size() < wire::MaxPeerListMarks - 1)
        check(text.count(wire::ReplyMark) == fields.size() + 1, "a field between marks was left out");

    const wire::JoinReply reply = wire::classifyJoinReply(text);
    switch (reply.kind) {
    case wire::JoinReplyKind::PeerList:
        check(text.startsWith(wire::ReplyMark) && reply.fields == fields, "a peer list read differently");
        break;
    case wire::JoinReplyKind::Full:
        check(text.startsWith(wire::RefuseMark) && reply.fields.isEmpty(), "a full reply that is not one");
        break;
    case wire::JoinReplyKind::Error:
        check(!text.startsWith(wire::ReplyMark) && !text.startsWith(wire::RefuseMark), "a reply taken for an error");
        break;
    }

    // What an answering copy sends reads back as it was meant, up to the fields a list holds.
    const QStringList peers = QString(text).remove(wire::ReplyMark).split(u'.');
    const QStringList sent = wire::splitPeerList(wire::peerList(QStringLiteral("own"), peers));
    const QStringList meant = (QStringList{QStringLiteral("own")} + peers).mid(0, wire::MaxPeerListMarks - 1);
    check(sent == meant, "a peer list does not read back");
    return 0;
}
