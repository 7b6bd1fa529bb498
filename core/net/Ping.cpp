#include "core/net/Ping.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <linux/errqueue.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/ip.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <optional>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTimeoutMs = 1000;
// What the echo carries: "Data Buffer" with its terminating zero.
constexpr char kPayload[] = "Data Buffer";
constexpr size_t kPayloadSize = sizeof kPayload;  // 12

const char* const kInvalidAddress = "Invalid address";
const char* const kNoHandle = "Couldn't create icmp handle";
const char* const kNetUnreachable = "Destination Network was unreachable";
const char* const kHostUnreachable = "Destination host was unreachable";
const char* const kTimedOut = "Request timed out";

class Socket {
public:
    explicit Socket(int fd) : fd(fd) {}
    ~Socket() {
        if (fd >= 0)
            close(fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd;
};

uint16_t Checksum(const unsigned char* data, size_t size) {
    uint32_t sum = 0;
    for (size_t i = 0; i + 1 < size; i += 2)
        sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
    if (size % 2)
        sum += static_cast<uint32_t>(data[size - 1] << 8);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

uint16_t ReadBe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// An echo request: type 8, code 0, checksum, id, sequence, payload.
std::string EchoRequest(uint16_t id, uint16_t sequence) {
    unsigned char packet[8 + kPayloadSize] = {8,
                                              0,
                                              0,
                                              0,
                                              static_cast<unsigned char>(id >> 8),
                                              static_cast<unsigned char>(id),
                                              static_cast<unsigned char>(sequence >> 8),
                                              static_cast<unsigned char>(sequence)};
    std::memcpy(packet + 8, kPayload, kPayloadSize);
    uint16_t sum = Checksum(packet, sizeof packet);
    packet[2] = static_cast<unsigned char>(sum >> 8);
    packet[3] = static_cast<unsigned char>(sum);
    return std::string(reinterpret_cast<char*>(packet), sizeof packet);
}

const char* UnreachableText(int code) {
    if (code == ICMP_NET_UNREACH)
        return kNetUnreachable;
    if (code == ICMP_HOST_UNREACH)
        return kHostUnreachable;
    return nullptr;
}

std::string Milliseconds(Clock::time_point sent) {
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - sent).count();
    return std::to_string(ms);
}

constexpr uint16_t kSequence = 1;

// Sends one echo request and hands every answer of the socket to `decide`
// until it gives the result or the time is up.
std::string Exchange(int fd, const sockaddr_in& target, uint16_t id,
                     const std::function<std::optional<std::string>(short events, Clock::time_point sent)>& decide) {
    const std::string packet = EchoRequest(id, kSequence);
    const Clock::time_point sent = Clock::now();
    if (sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&target), sizeof target) < 0)
        return errno == ENETUNREACH ? kNetUnreachable : errno == EHOSTUNREACH ? kHostUnreachable : "";
    const Clock::time_point deadline = sent + std::chrono::milliseconds(kTimeoutMs);
    for (;;) {
        int left =
            static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
        if (left <= 0)
            return kTimedOut;
        pollfd p{fd, POLLIN, 0};
        int r = poll(&p, 1, left);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return kTimedOut;
        if (auto result = decide(p.revents, sent))
            return *result;
    }
}

// Datagram ICMP: the kernel fills in the id and hands back only our replies,
// without the IP header; ICMP errors arrive on the error queue.
std::string PingDatagram(int fd, const sockaddr_in& target) {
    int on = 1;
    setsockopt(fd, IPPROTO_IP, IP_RECVERR, &on, sizeof on);
    return Exchange(fd, target, 0, [fd](short events, Clock::time_point sent) -> std::optional<std::string> {
        if (events & POLLERR) {
            unsigned char data[64];
            char control[512];
            iovec iov{data, sizeof data};
            msghdr msg{};
            msg.msg_iov = &iov;
            msg.msg_iovlen = 1;
            msg.msg_control = control;
            msg.msg_controllen = sizeof control;
            if (recvmsg(fd, &msg, MSG_ERRQUEUE) >= 0) {
                for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_RECVERR)
                        continue;
                    sock_extended_err err;
                    std::memcpy(&err, CMSG_DATA(c), sizeof err);
                    if (err.ee_origin == SO_EE_ORIGIN_ICMP && err.ee_type == ICMP_DEST_UNREACH)
                        if (const char* text = UnreachableText(err.ee_code))
                            return text;
                }
            }
            // Any other answer from the network still means the host was reached.
            return Milliseconds(sent);
        }
        unsigned char reply[256];
        ssize_t n = recv(fd, reply, sizeof reply, 0);
        if (n >= 8 && reply[0] == ICMP_ECHOREPLY && ReadBe16(reply + 6) == kSequence)
            return Milliseconds(sent);
        return std::nullopt;
    });
}

// Raw ICMP: every ICMP packet of the machine arrives, with its IP header; ours
// are the echo replies and errors that carry our id and sequence.
std::string PingRaw(int fd, const sockaddr_in& target) {
    static std::atomic<uint16_t> counter{0};
    const uint16_t id = static_cast<uint16_t>(getpid() ^ (counter.fetch_add(1) << 8));
    return Exchange(fd, target, id, [fd, id](short, Clock::time_point sent) -> std::optional<std::string> {
        unsigned char buffer[1500];
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n < 20)
            return std::nullopt;
        size_t ipHeader = static_cast<size_t>(buffer[0] & 0x0F) * 4;
        if (ipHeader < 20 || static_cast<size_t>(n) < ipHeader + 8)
            return std::nullopt;
        const unsigned char* icmp = buffer + ipHeader;
        const size_t icmpSize = static_cast<size_t>(n) - ipHeader;
        if (icmp[0] == ICMP_ECHOREPLY) {
            if (ReadBe16(icmp + 4) == id && ReadBe16(icmp + 6) == kSequence)
                return Milliseconds(sent);
            return std::nullopt;
        }
        if (icmp[0] != ICMP_DEST_UNREACH && icmp[0] != ICMP_TIME_EXCEEDED)
            return std::nullopt;
        // The error quotes our request: its IP header and first 8 bytes.
        if (icmpSize < 8 + 20)
            return std::nullopt;
        const unsigned char* quoted = icmp + 8;
        size_t quotedHeader = static_cast<size_t>(quoted[0] & 0x0F) * 4;
        if (quotedHeader < 20 || icmpSize < 8 + quotedHeader + 8)
            return std::nullopt;
        const unsigned char* request = quoted + quotedHeader;
        if (request[0] != ICMP_ECHO || ReadBe16(request + 4) != id || ReadBe16(request + 6) != kSequence)
            return std::nullopt;
        if (icmp[0] == ICMP_DEST_UNREACH)
            if (const char* text = UnreachableText(icmp[1]))
                return text;
        return Milliseconds(sent);
    });
}

}  // namespace

std::string Ping(const std::string& host) {
    if (host.empty())
        return kInvalidAddress;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return kInvalidAddress;
    sockaddr_in target{};
    std::memcpy(&target, found->ai_addr, sizeof target);
    freeaddrinfo(found);
    if (target.sin_addr.s_addr == INADDR_ANY || target.sin_addr.s_addr == INADDR_NONE)
        return kInvalidAddress;
    target.sin_port = 0;

    Socket datagram(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (datagram.fd >= 0)
        return PingDatagram(datagram.fd, target);
    // net.ipv4.ping_group_range leaves this user out; a raw socket may still be allowed.
    Socket raw(socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
    if (raw.fd >= 0)
        return PingRaw(raw.fd, target);
    return kNoHandle;
}
