#include "sim/fleet.h"

#include "sim/deviceprotocol.h"
#include "sim/flash.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <unordered_map>

namespace talixsim {

namespace {

using Clock = std::chrono::steady_clock;

bool isCommand(const QByteArray& q)
{
    return q.size() >= 2 && q[0] == 'X' && QByteArrayView("QSBMP").contains(q[1]);
}

// Replies go back only to loopback and to the lab's benchmark range.
bool allowedPeer(quint32 peer)
{
    return (peer >> 24) == 127 || (peer >> 17) == (0xC612u >> 1);
}

// One datagram of a sendmmsg/recvmmsg batch: its peer, its bytes and room for its ancillary data.
void setMessage(mmsghdr& m, sockaddr_in& peer, iovec& iov, char* control, size_t controlSize)
{
    m = {};
    msghdr& msg = m.msg_hdr;
    msg.msg_name = &peer;
    msg.msg_namelen = sizeof peer;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = controlSize;
}

} // namespace

struct Fleet::Impl {
    struct Slot {
        DeviceState state;
        Faults faults;
        Clock::time_point silentUntil{};
        Clock::time_point erasingUntil{};
    };
    struct Pending {
        QByteArray bytes;
        quint32 source = 0, peer = 0;
        quint16 peerPort = 0;
        int eraseDone = -1; // device whose erase ends here
    };

    FleetOptions options;
    int fd = -1;
    int wakeFd = -1;
    quint16 boundPort = 0;
    std::thread thread;
    std::atomic<bool> running{false};

    mutable std::mutex m;
    mutable std::condition_variable changed;
    std::vector<Slot> units;
    std::unordered_map<quint32, std::vector<int>> byAddress;
    std::vector<TrafficEntry> log;
    std::multimap<Clock::time_point, Pending> timers;
    std::mt19937 rng;

    explicit Impl(FleetOptions o) : options(o), rng(o.seed) {}

    void wake()
    {
        if (wakeFd >= 0) {
            const quint64 one = 1;
            [[maybe_unused]] auto n = ::write(wakeFd, &one, sizeof one);
        }
    }

    void record(TrafficEntry::Direction dir, quint32 local, quint32 peer, quint16 port, int dev,
                const QByteArray& bytes)
    {
        if (log.size() >= options.trafficLimit && options.trafficLimit > 0)
            log.erase(log.begin(),
                      log.begin() + std::ptrdiff_t(log.size() - options.trafficLimit * 3 / 4));
        log.push_back({Clock::now(), dir, local, peer, port, dev, bytes});
        changed.notify_all();
    }

    bool chance(double share)
    {
        if (share <= 0.0)
            return false;
        return std::uniform_real_distribution<double>(0.0, 1.0)(rng) < share;
    }

    // Replies leave at most kLinkBurst per millisecond, about what a 100 Mbit/s link carries
    // in small frames: thousands of devices answering one broadcast cannot outrun their link.
    static constexpr int kLinkBurst = 128;
    Clock::time_point linkWindow{};
    int linkSent = 0;

    void paceLikeALink()
    {
        const auto now = Clock::now();
        if (now - linkWindow >= std::chrono::milliseconds(1)) {
            linkWindow = now;
            linkSent = 0;
        } else if (linkSent >= kLinkBurst) {
            std::this_thread::sleep_until(linkWindow + std::chrono::milliseconds(1));
            linkWindow = Clock::now();
            linkSent = 0;
        }
        ++linkSent;
    }

    // Replies wait here until the requests read in one turn have all been answered, then leave
    // together (sendmmsg), each from its device's address (IP_PKTINFO).
    struct Outgoing {
        QByteArray bytes;
        quint32 source = 0, peer = 0;
        quint16 peerPort = 0;
    };
    std::vector<Outgoing> outbox;

    void sendNow(const QByteArray& bytes, quint32 source, quint32 peer, quint16 peerPort)
    {
        outbox.push_back({bytes, source, peer, peerPort});
    }

    void flushOut()
    {
        constexpr size_t kChunk = kLinkBurst;
        sockaddr_in to[kChunk];
        iovec iov[kChunk];
        mmsghdr msgs[kChunk];
        alignas(cmsghdr) char control[kChunk][CMSG_SPACE(sizeof(in_pktinfo))];
        size_t next = 0;
        while (next < outbox.size()) {
            size_t n = 0;
            for (; n < kChunk && next + n < outbox.size(); ++n) {
                paceLikeALink();
                const Outgoing& o = outbox[next + n];
                to[n] = {};
                to[n].sin_family = AF_INET;
                to[n].sin_port = htons(o.peerPort);
                to[n].sin_addr.s_addr = htonl(o.peer);
                iov[n] = {const_cast<char*>(o.bytes.constData()), size_t(o.bytes.size())};
                std::memset(control[n], 0, sizeof control[n]);
                setMessage(msgs[n], to[n], iov[n], control[n], sizeof control[n]);
                msghdr& msg = msgs[n].msg_hdr;
                cmsghdr* c = CMSG_FIRSTHDR(&msg);
                c->cmsg_level = IPPROTO_IP;
                c->cmsg_type = IP_PKTINFO;
                c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
                in_pktinfo info{};
                info.ipi_spec_dst.s_addr = htonl(o.source);
                std::memcpy(CMSG_DATA(c), &info, sizeof info);
            }
            size_t sent = 0;
            for (int attempt = 0; attempt < 2 && sent < n; ++attempt) {
                const int r = ::sendmmsg(fd, msgs + sent, unsigned(n - sent), 0);
                if (r > 0) {
                    sent += size_t(r);
                    attempt = -1; // progress: the full number of tries again
                    continue;
                }
                if (errno != EAGAIN && errno != EWOULDBLOCK)
                    break;
                pollfd p{fd, POLLOUT, 0};
                ::poll(&p, 1, 20);
            }
            for (size_t i = 0; i < sent; ++i) {
                const Outgoing& o = outbox[next + i];
                record(TrafficEntry::Direction::Out, o.source, o.peer, o.peerPort, firstAt(o.source), o.bytes);
            }
            next += n; // what could not leave is lost, as on a link that is full
        }
        outbox.clear();
    }

    int firstAt(quint32 address) const
    {
        const auto it = byAddress.find(address);
        return it == byAddress.end() || it->second.empty() ? -1 : it->second.front();
    }

    // A reply through the device's fault switches.
    void reply(Slot& s, QByteArray bytes, quint32 peer, quint16 peerPort)
    {
        Faults& f = s.faults;
        if (f.silent)
            return;
        if (f.dropNextReplies > 0) {
            --f.dropNextReplies;
            return;
        }
        if (chance(f.dropReplyShare))
            return;
        if (f.corruptChecksum && bytes.size() >= 4 && bytes[1] == 'Q') {
            const int n = int(bytes.size());
            const quint16 v = quint16((quint8(bytes[n - 2]) << 8 | quint8(bytes[n - 1])) + 1);
            bytes[n - 2] = char(v >> 8);
            bytes[n - 1] = char(v & 0xFF);
        }
        if (f.truncateReplies > 0 && bytes.size() > f.truncateReplies)
            bytes.truncate(f.truncateReplies);
        const quint32 source = f.replyFrom ? f.replyFrom : s.state.address;
        const int copies = 1 + std::max(0, f.duplicateReplies);
        for (int i = 0; i < copies; ++i) {
            if (f.replyDelayMs > 0)
                timers.emplace(Clock::now() + std::chrono::milliseconds(f.replyDelayMs),
                               Pending{bytes, source, peer, peerPort, -1});
            else
                sendNow(bytes, source, peer, peerPort);
        }
    }

    void deliver(int index, const QByteArray& q, bool broadcast, quint32 peer, quint16 peerPort)
    {
        Slot& s = units[size_t(index)];
        const auto now = Clock::now();
        Faults& f = s.faults;
        if (f.silent || now < s.silentUntil || now < s.erasingUntil)
            return;
        if (f.dropNextRequests > 0) {
            --f.dropNextRequests;
            return;
        }
        if (chance(f.dropRequestShare))
            return;
        if (broadcast && q != discoveryRequest())
            return;
        if (isCommand(q) && (f.answerN || f.nackNext > 0)) {
            if (!f.answerN)
                --f.nackNext;
            reply(s, rejectReply(), peer, peerPort);
            return;
        }
        const Response r = handleRequest(s.state, q);
        using A = Response::Action;
        switch (r.action) {
        case A::Ignore:
            return;
        case A::Reply:
            reply(s, r.reply, peer, peerPort);
            return;
        case A::ReplyThenRestart:
            reply(s, r.reply, peer, peerPort);
            restartFromFlash(s.state);
            s.silentUntil = now + std::chrono::milliseconds(std::max(0, f.restartSilentMs));
            return;
        case A::EraseThenReply: {
            eraseFirmware(s.state);
            const auto done = now + std::chrono::milliseconds(std::max(0, f.eraseMs));
            s.erasingUntil = done;
            timers.emplace(done, Pending{r.reply, 0, peer, peerPort, index});
            return;
        }
        }
    }

    // Called with the lock held.
    void handleDatagram(const QByteArray& q, quint32 dest, quint32 peer, quint16 peerPort)
    {
        const auto it = byAddress.find(dest);
        const bool broadcast = it == byAddress.end() || it->second.empty();
        record(TrafficEntry::Direction::In, dest, peer, peerPort,
               broadcast ? -1 : it->second.front(), q);
        if (!allowedPeer(peer) || peerPort == 0)
            return;
        if (broadcast) {
            // The limited broadcast, or a device's own subnet broadcast; an address that no
            // device holds and that is no broadcast reaches nobody, as on a real network.
            for (int i = 0; i < int(units.size()); ++i) {
                const DeviceState& d = units[size_t(i)].state;
                if (dest == 0xFFFFFFFFu || dest == (d.address | ~d.mask))
                    deliver(i, q, true, peer, peerPort);
            }
        } else {
            for (int i : it->second)
                deliver(i, q, false, peer, peerPort);
        }
    }

    void runTimers()
    {
        std::lock_guard lock(m);
        const auto now = Clock::now();
        while (!timers.empty() && timers.begin()->first <= now) {
            Pending p = std::move(timers.begin()->second);
            timers.erase(timers.begin());
            if (p.eraseDone >= 0)
                reply(units[size_t(p.eraseDone)], p.bytes, p.peer, p.peerPort);
            else
                sendNow(p.bytes, p.source, p.peer, p.peerPort);
        }
        flushOut();
    }

    int nextTimeoutMs()
    {
        std::lock_guard lock(m);
        if (timers.empty())
            return 200;
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            timers.begin()->first - Clock::now());
        return left.count() <= 0 ? 0 : int(std::min<qint64>(200, (left.count() + 999) / 1000));
    }

    void receiveAll()
    {
        constexpr int kBatch = 64;
        static thread_local std::vector<char> buffers(size_t(kBatch) * 2048);
        sockaddr_in from[kBatch];
        iovec iov[kBatch];
        mmsghdr msgs[kBatch];
        alignas(cmsghdr) char control[kBatch][256];
        for (int budget = 0; budget < 4096; budget += kBatch) {
            for (int i = 0; i < kBatch; ++i) {
                iov[i] = {buffers.data() + size_t(i) * 2048, 2048};
                setMessage(msgs[i], from[i], iov[i], control[i], sizeof control[i]);
            }
            const int n = ::recvmmsg(fd, msgs, kBatch, MSG_DONTWAIT, nullptr);
            if (n <= 0)
                return;
            {
                std::lock_guard lock(m);
                for (int i = 0; i < n; ++i) {
                    quint32 dest = 0;
                    msghdr& msg = msgs[i].msg_hdr;
                    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                            in_pktinfo info;
                            std::memcpy(&info, CMSG_DATA(c), sizeof info);
                            dest = ntohl(info.ipi_addr.s_addr);
                        }
                    }
                    handleDatagram(QByteArray(static_cast<const char*>(iov[i].iov_base), int(msgs[i].msg_len)), dest,
                                   ntohl(from[i].sin_addr.s_addr), ntohs(from[i].sin_port));
                }
                flushOut();
            }
            if (n < kBatch)
                return;
        }
    }

    void loop()
    {
        while (running.load()) {
            pollfd p[2] = {{fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
            ::poll(p, 2, nextTimeoutMs());
            if (p[1].revents & POLLIN) {
                quint64 v;
                [[maybe_unused]] auto n = ::read(wakeFd, &v, sizeof v);
            }
            if (p[0].revents & POLLIN)
                receiveAll();
            runTimers();
        }
    }
};

Fleet::Fleet(FleetOptions options) : d(std::make_unique<Impl>(options)) {}

Fleet::~Fleet()
{
    stop();
}

bool Fleet::start(QString* error)
{
    if (d->running.load())
        return true;
    auto fail = [&](const char* what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                                  QString::fromLocal8Bit(std::strerror(errno)));
        if (d->fd >= 0)
            ::close(d->fd);
        if (d->wakeFd >= 0)
            ::close(d->wakeFd);
        d->fd = d->wakeFd = -1;
        return false;
    };
    d->fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (d->fd < 0)
        return fail("socket");
    const int on = 1;
    ::setsockopt(d->fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    // Bursts of discovery traffic: ask for a large buffer, take what the kernel grants.
    const int big = 4 << 20;
    if (::setsockopt(d->fd, SOL_SOCKET, SO_RCVBUFFORCE, &big, sizeof big) != 0)
        ::setsockopt(d->fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    if (::setsockopt(d->fd, SOL_SOCKET, SO_SNDBUFFORCE, &big, sizeof big) != 0)
        ::setsockopt(d->fd, SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(d->options.port);
    addr.sin_addr.s_addr = htonl(d->options.bindAddress);
    if (::bind(d->fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
        return fail("bind");
    socklen_t len = sizeof addr;
    ::getsockname(d->fd, reinterpret_cast<sockaddr*>(&addr), &len);
    d->boundPort = ntohs(addr.sin_port);
    d->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d->wakeFd < 0)
        return fail("eventfd");
    d->running = true;
    d->thread = std::thread([this] { d->loop(); });
    return true;
}

void Fleet::stop()
{
    if (!d->running.exchange(false))
        return;
    d->wake();
    d->thread.join();
    ::close(d->fd);
    ::close(d->wakeFd);
    d->fd = d->wakeFd = -1;
    std::lock_guard lock(d->m);
    d->timers.clear();
}

bool Fleet::isRunning() const
{
    return d->running.load();
}

quint16 Fleet::port() const
{
    return d->boundPort;
}

int Fleet::addDevice(const DeviceState& device)
{
    std::lock_guard lock(d->m);
    Impl::Slot s;
    s.state = device;
    if (s.state.address == 0)
        s.state.address = s.state.ip;
    const int index = int(d->units.size());
    d->byAddress[s.state.address].push_back(index);
    d->units.push_back(std::move(s));
    return index;
}

int Fleet::deviceCount() const
{
    std::lock_guard lock(d->m);
    return int(d->units.size());
}

DeviceState Fleet::device(int index) const
{
    std::lock_guard lock(d->m);
    return index >= 0 && index < int(d->units.size()) ? d->units[size_t(index)].state
                                                      : DeviceState{};
}

void Fleet::setDevice(int index, const DeviceState& device)
{
    std::lock_guard lock(d->m);
    if (index < 0 || index >= int(d->units.size()))
        return;
    DeviceState& s = d->units[size_t(index)].state;
    if (device.address != s.address) {
        auto& old = d->byAddress[s.address];
        std::erase(old, index);
        if (old.empty())
            d->byAddress.erase(s.address);
        d->byAddress[device.address].push_back(index);
    }
    s = device;
}

Faults Fleet::faults(int index) const
{
    std::lock_guard lock(d->m);
    return index >= 0 && index < int(d->units.size()) ? d->units[size_t(index)].faults : Faults{};
}

void Fleet::setFaults(int index, const Faults& faults)
{
    std::lock_guard lock(d->m);
    if (index >= 0 && index < int(d->units.size()))
        d->units[size_t(index)].faults = faults;
}

void Fleet::setAllFaults(const Faults& faults)
{
    std::lock_guard lock(d->m);
    for (auto& s : d->units)
        s.faults = faults;
}

std::vector<int> Fleet::devicesAt(quint32 address) const
{
    std::lock_guard lock(d->m);
    const auto it = d->byAddress.find(address);
    return it == d->byAddress.end() ? std::vector<int>{} : it->second;
}

int Fleet::deviceAt(quint32 address) const
{
    std::lock_guard lock(d->m);
    return d->firstAt(address);
}

bool Fleet::isRestarting(int index) const
{
    std::lock_guard lock(d->m);
    return index >= 0 && index < int(d->units.size()) &&
           Clock::now() < d->units[size_t(index)].silentUntil;
}

bool Fleet::isErasing(int index) const
{
    std::lock_guard lock(d->m);
    return index >= 0 && index < int(d->units.size()) &&
           Clock::now() < d->units[size_t(index)].erasingUntil;
}

std::vector<TrafficEntry> Fleet::traffic() const
{
    std::lock_guard lock(d->m);
    return d->log;
}

void Fleet::clearTraffic()
{
    std::lock_guard lock(d->m);
    d->log.clear();
}

bool Fleet::waitForTraffic(const std::function<bool(const std::vector<TrafficEntry>&)>& pred,
                           std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(d->m);
    return d->changed.wait_for(lock, timeout, [&] { return pred(d->log); });
}

bool Fleet::waitForReplies(int count, std::chrono::milliseconds timeout, int device) const
{
    return waitForTraffic(
        [&](const std::vector<TrafficEntry>& log) {
            int n = 0;
            for (const auto& e : log)
                if (e.direction == TrafficEntry::Direction::Out &&
                    (device < 0 || e.device == device))
                    ++n;
            return n >= count;
        },
        timeout);
}

} // namespace talixsim
