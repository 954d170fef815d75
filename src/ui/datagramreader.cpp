#include "ui/datagramreader.h"

#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace brevion {
namespace {

// Room for one batch of recvmmsg: up to 64 datagrams, at most this many bytes of buffer.
constexpr int kBatchBytes = 256 * 1024;
constexpr int kMaxBatch = 64;

} // namespace

struct DatagramReader::Batch {
    std::vector<char> bytes;
    std::vector<mmsghdr> messages;
    std::vector<iovec> slices;
    std::vector<sockaddr_in> senders;
};

DatagramReader::DatagramReader(int fd, int maxBytes, std::function<void()> ready, bool threaded)
    : m_fd(fd), m_maxBytes(std::max(1, maxBytes)), m_ready(std::move(ready))
{
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    setThreaded(threaded);
}

DatagramReader::~DatagramReader()
{
    if (m_thread.joinable()) {
        const quint64 one = 1;
        if (m_stopFd < 0 || ::write(m_stopFd, &one, sizeof one) != sizeof one) {
            // Without the wake-up the thread would sleep on; nothing better than shutting the
            // socket's receiving side is left to wake it.
            ::shutdown(m_fd, SHUT_RD);
        }
        m_thread.join();
    }
    if (m_stopFd >= 0)
        ::close(m_stopFd);
}

void DatagramReader::setThreaded(bool on)
{
    if (on == m_thread.joinable())
        return;
    if (on) {
        m_thread = std::thread([this] { run(); });
        return;
    }
    // A stop without its wake-up cannot be asked for: the thread then reads on.
    const quint64 one = 1;
    if (m_stopFd < 0 || ::write(m_stopFd, &one, sizeof one) != sizeof one)
        return;
    m_thread.join();
    quint64 count = 0;
    [[maybe_unused]] const auto n = ::read(m_stopFd, &count, sizeof count); // ready for the next stop
}

void DatagramReader::take(std::size_t count, std::vector<ReceivedDatagram>& out)
{
    out.clear();
    std::lock_guard lock(m_mutex);
    while (!m_queue.empty() && out.size() < count) {
        m_queuedBytes -= m_queue.front().bytes.size() + kEntryCost;
        out.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
}

qsizetype DatagramReader::queuedBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_queuedBytes;
}

DatagramReader::Batch DatagramReader::makeBatch() const
{
    const size_t batch = static_cast<size_t>(std::clamp(kBatchBytes / m_maxBytes, 1, kMaxBatch));
    return Batch{std::vector<char>(batch * static_cast<size_t>(m_maxBytes)),
                 std::vector<mmsghdr>(batch), std::vector<iovec>(batch),
                 std::vector<sockaddr_in>(batch)};
}

void DatagramReader::readNow()
{
    if (!m_callerBatch)
        m_callerBatch = std::make_unique<Batch>(makeBatch());
    drain(*m_callerBatch, false); // the caller takes what it reads: nobody to tell
}

void DatagramReader::run()
{
    Batch buffers = makeBatch();
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_stopFd, POLLIN, 0}};
    const nfds_t count = m_stopFd >= 0 ? 2 : 1;
    for (;;) {
        if (::poll(fds, count, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (count == 2 && fds[1].revents)
            return;
        if (fds[0].revents & (POLLHUP | POLLNVAL))
            return;
        if (fds[0].revents & POLLERR) {
            // A queued ICMP error would wake poll forever; reading it clears it.
            int error = 0;
            socklen_t length = sizeof error;
            ::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
        }
        if (fds[0].revents & POLLIN)
            drain(buffers, true);
    }
}

void DatagramReader::drain(Batch& b, bool tell)
{
    const size_t batch = b.messages.size();
    const size_t slot = static_cast<size_t>(m_maxBytes);
    for (;;) {
        for (size_t i = 0; i < batch; ++i) {
            b.slices[i] = {b.bytes.data() + i * slot, slot};
            b.messages[i] = {};
            b.messages[i].msg_hdr.msg_name = &b.senders[i];
            b.messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
            b.messages[i].msg_hdr.msg_iov = &b.slices[i];
            b.messages[i].msg_hdr.msg_iovlen = 1;
        }
        int received = 0;
        bool becameReady = false;
        {
            // Read and queue under one lock: whoever takes from the queue then sees every
            // datagram that has left the kernel, never one in between.
            std::lock_guard lock(m_mutex);
            // The part of a datagram beyond its slot is discarded by the kernel (MSG_TRUNC).
            received = ::recvmmsg(m_fd, b.messages.data(), static_cast<unsigned>(batch),
                                  MSG_DONTWAIT, nullptr);
            if (received < 0 && errno == EINTR)
                continue;
            if (received < 0)
                return; // EAGAIN: the kernel queue is empty
            const bool wasEmpty = m_queue.empty();
            for (size_t i = 0; i < static_cast<size_t>(received); ++i) {
                const qsizetype size = std::min<qsizetype>(b.messages[i].msg_len, m_maxBytes);
                if (m_queuedBytes + size + kEntryCost > kQueueLimitBytes) {
                    ++m_dropped;
                    continue;
                }
                m_queue.push_back({QByteArray(b.bytes.data() + i * slot, size),
                                   ntohl(b.senders[i].sin_addr.s_addr),
                                   ntohs(b.senders[i].sin_port)});
                m_queuedBytes += size + kEntryCost;
            }
            becameReady = wasEmpty && !m_queue.empty();
        }
        if (tell && becameReady && m_ready)
            m_ready();
        if (static_cast<size_t>(received) < batch)
            return;
    }
}

} // namespace brevion
