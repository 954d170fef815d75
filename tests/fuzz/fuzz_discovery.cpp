// Discovery replies: a burst of datagrams, each parsed and added to the device list.
// Input: chunks of [length byte][length bytes].

#include "fuzzcheck.h"

#include "discovery/devicelist.h"
#include "discovery/discoveryreply.h"

#include <QSet>

using namespace brevion;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DeviceList list;
    QSet<QString> macs;
    size_t at = 0;
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        const QByteArray datagram(reinterpret_cast<const char*>(data + at + 1), static_cast<qsizetype>(length));
        at += 1 + length;

        const std::optional<DiscoveredDevice> device = ParseDiscoveryReply(datagram);
        if (!device)
            continue;
        FUZZ_CHECK(datagram.size() >= kDiscoveryReplyMinSize && device->mac.size() == 17 && device->name.size() <= 16 &&
                   device->ip.count(QLatin1Char('.')) == 3);
        const int before = list.Count();
        const int index = list.Add(*device);
        FUZZ_CHECK((index < 0) == macs.contains(device->mac));
        FUZZ_CHECK(list.Count() == before + (index >= 0) && (index < 0 || (index <= before && list.At(index) == *device)));
        macs.insert(device->mac);
    }

    // One entry per MAC, ascending IP text.
    const std::vector<DiscoveredDevice> entries = list.Entries();
    FUZZ_CHECK(static_cast<int>(entries.size()) == macs.size());
    for (size_t i = 1; i < entries.size(); ++i)
        FUZZ_CHECK(QString::compare(entries[i - 1].ip, entries[i].ip, Qt::CaseSensitive) <= 0);

    list.MarkDuplicates();
    const std::vector<DiscoveredDevice> marked = list.Entries();
    for (size_t i = 0; i < marked.size(); ++i)
        FUZZ_CHECK(UnmarkedIP(marked[i].ip) == entries[i].ip);
    return 0;
}
