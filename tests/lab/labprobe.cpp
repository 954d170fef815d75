// Discovery with the real defaults, from inside the lab's pc namespace: bound to port 2362,
// "ZEVID" to 255.255.255.255:2362; each device answers once, naming its own address. Written
// against the wire format alone, not the simulator's code. Refuses to run where any address lies
// outside the lab. (talixctl reading a device in the lab: tests/tools/lab_talixctl.sh.)
//   lab_probe --expect N
#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr int kPort = 2362;

// The lab's namespaces hold only loopback and 198.18.0.0/15; any other IPv4 address means this
// is not the lab, and a broadcast could leave the machine.
bool outsideTheLab()
{
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return true;
    bool outside = false;
    for (ifaddrs* a = list; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET)
            continue;
        const uint32_t ip = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
        outside = outside || ((ip >> 24) != 127 && (ip >> 17) != (0xC612u >> 1));
    }
    freeifaddrs(list);
    return outside;
}

int fail(const std::string& why)
{
    std::fprintf(stderr, "lab_probe: %s (%s)\n", why.c_str(), std::strerror(errno));
    return 1;
}

struct Received {
    std::vector<unsigned char> bytes;
    in_addr from{};
};

// Sends, then gathers whatever arrives within a second.
std::vector<Received> exchange(int fd, const char* address, const char* bytes, size_t n)
{
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(kPort);
    inet_pton(AF_INET, address, &to.sin_addr);
    std::vector<Received> out;
    if (sendto(fd, bytes, n, 0, reinterpret_cast<sockaddr*>(&to), sizeof to) != ssize_t(n))
        return out;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, 1000) > 0) {
        unsigned char buffer[2048];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t got = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (got >= 0)
            out.push_back({std::vector<unsigned char>(buffer, buffer + got), from.sin_addr});
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    const int expect = argc > 2 ? std::atoi(argv[2]) : 1;
    if (outsideTheLab())
        return fail("refusing to broadcast outside the lab (an address outside 127.0.0.0/8 and 198.18.0.0/15)");
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(kPort);
    if (bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return fail("bind");

    std::set<std::string> macs;
    for (const Received& r : exchange(fd, "255.255.255.255", "ZEVID", 5)) {
        if (r.bytes.size() < 33 || std::memcmp(r.bytes.data(), "K9ZEV", 5) != 0)
            continue;
        if (std::memcmp(r.bytes.data() + 11, &r.from.s_addr, 4) != 0)
            return fail(std::string("a reply from ") + inet_ntoa(r.from) + " names another address");
        macs.insert(std::string(r.bytes.begin() + 5, r.bytes.begin() + 11));
    }
    std::printf("discovery: %zu devices answered\n", macs.size());
    return int(macs.size()) == expect ? 0 : fail("expected " + std::to_string(expect) + " devices");
}
