#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace brevion {

// Where a search goes when it looks beyond the local segment: one address (a bridge's own, or a
// directed broadcast such as 10.1.2.255), or a range in CIDR form (10.1.2.0/24) whose every host
// address gets the request. Bridges behind a router answer a request sent to their own address
// although a broadcast never reaches them.
struct SearchTarget {
    quint32 first = 0; // host order
    quint32 count = 1; // consecutive addresses from first
    bool operator==(const SearchTarget&) const = default;
};

// The widest range searched at once: /16, 65,534 host addresses.
inline constexpr int kWidestSearchPrefix = 16;
// How many targets the discovery window remembers.
inline constexpr int kRememberedTargets = 10;

// The target that text names: an address as ParseIPv4 reads it (so "127.0.0.010" is refused, not
// taken for octal), or an address, "/" and a prefix length of 16 to 32 without leading zeros.
// Spaces around the text are not part of it. A range covers the host addresses of the network
// the address belongs to: without the network's own address and its broadcast up to /30, both
// addresses of a /31, the one of a /32. Otherwise nothing, and *problem (when given) says why,
// naming the text.
std::optional<SearchTarget> ParseSearchTarget(const QString& text, QString* problem = nullptr);

// Every address the targets cover, each once, in ascending order.
std::vector<quint32> SearchAddresses(const std::vector<SearchTarget>& targets);

// The remembered targets after `used` was searched: it goes first, an earlier copy of it goes,
// and the list keeps the kRememberedTargets most recent.
QStringList RememberTarget(const QStringList& recent, const QString& used);

} // namespace brevion
