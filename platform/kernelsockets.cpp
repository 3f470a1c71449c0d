#include "platform/kernelsockets.h"

#include <QtEndian>

#include <cerrno>
#include <cstring>

#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// One address of a kernel socket table: "0100007F" for IPv4, 32 digits for
// IPv6; each 32-bit word is printed as a number the host read from the
// address's bytes, so the number's bytes in the host's order are the
// address's bytes.
QHostAddress tableAddress(const QByteArray &hex)
{
    if (hex.size() != 8 && hex.size() != 32)
        return {};
    quint8 bytes[16];
    for (qsizetype i = 0; i < hex.size() / 8; ++i) {
        bool ok = false;
        const quint32 word = hex.mid(i * 8, 8).toUInt(&ok, 16);
        if (!ok)
            return {};
        std::memcpy(bytes + 4 * i, &word, 4);
    }
    if (hex.size() == 8)
        return QHostAddress(qFromBigEndian<quint32>(bytes));
    return QHostAddress(bytes);
}

// "0100007F:21AB": an address and its port.
bool tableEnd(const QByteArray &field, QHostAddress *address, quint16 *port)
{
    const QList<QByteArray> parts = field.split(':');
    bool ok = false;
    const uint number = parts.size() == 2 ? parts.at(1).toUInt(&ok, 16) : 0;
    if (!ok || number > 0xffff)
        return false;
    *address = tableAddress(parts.at(0));
    *port = quint16(number);
    return !address->isNull();
}

QHostAddress diagnosedAddress(quint8 family, const __be32 *words)
{
    if (family == AF_INET)
        return QHostAddress(qFromBigEndian<quint32>(&words[0]));
    return QHostAddress(reinterpret_cast<const quint8 *>(words));
}

// The largest datagram the reader takes; the kernel makes each part of a
// dump at most this large for a reader that takes this much at a time.
constexpr int DatagramBytes = 32768;

} // namespace

QList<KernelSocket> socketsInTable(const QByteArray &table)
{
    //   sl local_address rem_address st tx_queue:rx_queue tr:tm->when retrnsmt uid timeout inode
    QList<KernelSocket> sockets;
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 10)
            continue;
        KernelSocket socket;
        bool stateOk = false;
        bool uidOk = false;
        bool inodeOk = false;
        socket.state = int(fields.at(3).toUInt(&stateOk, 16));
        socket.owner = fields.at(7).toUInt(&uidOk);
        socket.inode = fields.at(9).toULongLong(&inodeOk);
        if (stateOk && uidOk && inodeOk && tableEnd(fields.at(1), &socket.address, &socket.port)
            && tableEnd(fields.at(2), &socket.peer, &socket.peerPort))
            sockets.append(socket);
    }
    return sockets;
}

DiagnosticsPart readDiagnosticsPart(const QByteArray &datagram, quint32 sequence, bool dump, QList<KernelSocket> *found)
{
    // Copied for the alignment the message macros need.
    QByteArray aligned(datagram.size() + int(NLMSG_ALIGNTO), Qt::Uninitialized);
    char *start = aligned.data();
    while (reinterpret_cast<quintptr>(start) % NLMSG_ALIGNTO != 0)
        ++start;
    std::memcpy(start, datagram.constData(), size_t(datagram.size()));
    int left = int(datagram.size());
    for (auto *reply = reinterpret_cast<const nlmsghdr *>(start); NLMSG_OK(reply, left);
         reply = NLMSG_NEXT(reply, left)) {
        if (reply->nlmsg_seq != sequence)
            continue;
        if (reply->nlmsg_type == NLMSG_DONE)
            return DiagnosticsPart::Done;
        if (reply->nlmsg_type == NLMSG_ERROR) {
            // The lookup of one connection that is not there is answered so.
            const bool absent = !dump && reply->nlmsg_len >= NLMSG_LENGTH(sizeof(nlmsgerr))
                && static_cast<const nlmsgerr *>(NLMSG_DATA(reply))->error == -ENOENT;
            return absent ? DiagnosticsPart::Done : DiagnosticsPart::Failed;
        }
        if (reply->nlmsg_type != SOCK_DIAG_BY_FAMILY || reply->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg)))
            return DiagnosticsPart::Failed;
        const auto *diagnosed = static_cast<const inet_diag_msg *>(NLMSG_DATA(reply));
        KernelSocket socket;
        socket.address = diagnosedAddress(diagnosed->idiag_family, diagnosed->id.idiag_src);
        socket.port = qFromBigEndian(diagnosed->id.idiag_sport);
        socket.peer = diagnosedAddress(diagnosed->idiag_family, diagnosed->id.idiag_dst);
        socket.peerPort = qFromBigEndian(diagnosed->id.idiag_dport);
        socket.state = diagnosed->idiag_state;
        socket.owner = diagnosed->idiag_uid;
        socket.inode = diagnosed->idiag_inode;
        if (diagnosed->idiag_family == AF_INET6) {
            int attributesLength = int(reply->nlmsg_len - NLMSG_LENGTH(sizeof(inet_diag_msg)));
            for (auto *attribute = reinterpret_cast<const rtattr *>(reinterpret_cast<const char *>(diagnosed)
                                                                    + NLMSG_ALIGN(sizeof(inet_diag_msg)));
                 RTA_OK(attribute, attributesLength); attribute = RTA_NEXT(attribute, attributesLength)) {
                if (attribute->rta_type == INET_DIAG_SKV6ONLY && RTA_PAYLOAD(attribute) >= 1)
                    socket.v6Only = *static_cast<const quint8 *>(RTA_DATA(attribute)) != 0;
            }
        }
        found->append(socket);
        if (!dump)
            return DiagnosticsPart::Done;
    }
    // Bytes left that make no whole message: the datagram was cut short.
    return left > 0 ? DiagnosticsPart::Failed : DiagnosticsPart::More;
}

std::optional<QList<KernelSocket>> askSocketDiagnostics(const DiagnosticsQuery &query)
{
    const int fd = ::socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG);
    if (fd < 0)
        return std::nullopt;
    // The kernel answers at once; this only bounds a kernel that does not.
    const timeval patience{0, 200 * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);

    constexpr quint32 Sequence = 1;
    const bool dump = query.peerPort == 0;
    struct
    {
        nlmsghdr header;
        inet_diag_req_v2 request;
    } message{};
    message.header.nlmsg_len = sizeof message;
    message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
    message.header.nlmsg_flags = NLM_F_REQUEST | (dump ? NLM_F_DUMP : 0);
    message.header.nlmsg_seq = Sequence;
    message.request.sdiag_family = query.family;
    message.request.sdiag_protocol = IPPROTO_TCP;
    message.request.idiag_states = query.states;
    message.request.id.idiag_sport = qToBigEndian(query.port);
    if (!dump) {
        message.request.id.idiag_dport = qToBigEndian(query.peerPort);
        message.request.id.idiag_src[0] = qToBigEndian(quint32(INADDR_LOOPBACK));
        message.request.id.idiag_dst[0] = qToBigEndian(quint32(INADDR_LOOPBACK));
        message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
        message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;
    }
    // Asked for nothing beyond the message itself; an IPv6 socket's
    // INET_DIAG_SKV6ONLY comes with it anyway.
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    std::optional<QList<KernelSocket>> found;
    if (::sendto(fd, &message, sizeof message, 0, reinterpret_cast<const sockaddr *>(&kernel), sizeof kernel)
        == ssize_t(sizeof message)) {
        QList<KernelSocket> sockets;
        QByteArray datagram(DatagramBytes, Qt::Uninitialized);
        for (;;) {
            // MSG_TRUNC: the datagram's whole size, even past what was taken.
            const ssize_t size = ::recv(fd, datagram.data(), size_t(datagram.size()), MSG_TRUNC);
            if (size < 0 && errno == EINTR)
                continue;
            if (size <= 0 || size > datagram.size())
                break; // an error, no answer in time, or a datagram cut short
            const DiagnosticsPart part = readDiagnosticsPart(datagram.left(size), Sequence, dump, &sockets);
            if (part == DiagnosticsPart::Failed)
                break;
            if (part == DiagnosticsPart::Done) {
                found = sockets;
                break;
            }
        }
    }
    ::close(fd);
    return found;
}
