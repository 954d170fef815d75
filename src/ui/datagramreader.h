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
#include <vector>

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
//
// The thread can be switched off: the owner then reads with readNow() whenever the socket is
// readable, on its own thread, which spares a wake-up of a second thread per datagram.
class DatagramReader {
public:
    static constexpr qsizetype kEntryCost = 64;
    static constexpr qsizetype kQueueLimitBytes = 4 << 20;

    // `ready` runs on the reader's thread whenever the queue stops being empty. The socket
    // stays the caller's; it must outlive the reader.
    DatagramReader(int fd, int maxBytes, std::function<void()> ready, bool threaded = true);
    ~DatagramReader();
    DatagramReader(const DatagramReader&) = delete;
    DatagramReader& operator=(const DatagramReader&) = delete;

    // Takes up to `count` datagrams, oldest first, into `out` (emptied first; its memory is kept
    // from one call to the next).
    void take(std::size_t count, std::vector<ReceivedDatagram>& out);
    // Reads what the kernel holds right now on the calling thread as well, so that whoever asks
    // sees every datagram that had arrived by then (the reader thread may be waiting for a core).
    void readNow();
    // Starts or stops the reading thread; what it has queued stays.
    void setThreaded(bool on);
    bool threaded() const { return m_thread.joinable(); }
    qsizetype queuedBytes() const;
    quint64 dropped() const { return m_dropped.load(); }

private:
    struct Batch; // the buffers of one recvmmsg call
    Batch makeBatch() const;
    void run();
    void drain(Batch& buffers, bool tell); // tell: run `ready` when the queue fills

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
