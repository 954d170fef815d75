#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace brevion {

struct ReceivedDatagram {
    QByteArray bytes;     // at most the reader's datagram limit: a longer datagram is cut
    quint32 sender = 0;   // IPv4 address, host order
    quint16 senderPort = 0;
};

// Empties a datagram socket on a thread of its own, many datagrams per system call (recvmmsg),
// so the kernel's receive queue, which an ordinary user cannot make large, never fills while
// the thread that handles the datagrams is busy painting. Memory stays bounded whatever
// arrives: each datagram keeps at most `maxBytes` bytes, and the queue holds at most
// kQueueLimitBytes, counting kEntryCost per datagram besides its bytes; beyond that datagrams
// are read and dropped, and counted.
class DatagramReader {
public:
    static constexpr qsizetype kEntryCost = 64;
    static constexpr qsizetype kQueueLimitBytes = 4 << 20;

    // `ready` runs on the reader's thread whenever the queue stops being empty. The socket
    // stays the caller's; it must outlive the reader.
    DatagramReader(int fd, int maxBytes, std::function<void()> ready);
    ~DatagramReader();
    DatagramReader(const DatagramReader&) = delete;
    DatagramReader& operator=(const DatagramReader&) = delete;

    // Takes up to `count` datagrams, oldest first.
    std::deque<ReceivedDatagram> take(std::size_t count);
    // Reads what the kernel holds right now on the calling thread as well, so that whoever asks
    // sees every datagram that had arrived by then (the reader thread may be waiting for a core).
    void readNow();
    void clear();
    qsizetype queuedBytes() const;
    quint64 dropped() const { return m_dropped.load(); }

private:
    struct Batch; // the buffers of one recvmmsg call
    Batch makeBatch() const;
    void run();
    void drain(Batch& buffers);

    const int m_fd;
    const int m_maxBytes;
    const std::function<void()> m_ready;
    int m_stopFd = -1;
    mutable std::mutex m_mutex;
    std::deque<ReceivedDatagram> m_queue;
    qsizetype m_queuedBytes = 0;
    std::atomic<quint64> m_dropped{0};
    std::unique_ptr<Batch> m_callerBatch; // readNow's buffers
    std::thread m_thread;
};

} // namespace brevion
