#pragma once

#include <QString>

#include <array>

namespace brevion {

// One outgoing connection rule of a device.
constexpr quint8 OUT_TCP = 1;     // TCP, else UDP
constexpr quint8 OUT_POWERUP = 2; // connect on power-up or reboot, else on serial data
constexpr quint8 OUT_LOGIN = 4;   // answer the login prompts after connecting

constexpr int MaxOutRules = 12;
constexpr qint32 kMaxIdleSecs = 3600; // the longest inactivity time a device holds

struct OutCnctRule {
    QString IPAddr;       // dotted address as entered; empty marks an empty slot
    qint32 Port = 0;      // 1..65535 when set, 0 = not set
    quint8 Flags = 0;     // OUT_TCP | OUT_POWERUP | OUT_LOGIN
    qint32 IdleSecs = 0;  // 0 = stay connected, else seconds of inactivity before closing

    // A slot is in use when it has an address and a port.
    bool InUse() const { return !IPAddr.isEmpty() && Port != 0; }
    bool operator==(const OutCnctRule&) const = default;
};

// The value a new rule starts from and a freed slot is reset to: TCP, on power-up.
inline OutCnctRule EmptyRule() { return OutCnctRule{QString(), 0, OUT_TCP | OUT_POWERUP, 0}; }

// The rule table of the configuration window: slots 1..12 (slot 0 never holds a rule) and the
// count of rules in use.
struct OutRuleTable {
    std::array<OutCnctRule, MaxOutRules + 1> OutRules{};
    qint16 OutCount = 0;

    // Number of slots 1..12 in use.
    int CountInUse() const;
    // The first slot 1..12 not in use, or 0 when all twelve are in use.
    int FirstFreeSlot() const;
    // Takes slot r (1..12) out: the slots above it move down by one and slot 12 becomes empty.
    void RemoveSlot(int r);
    bool operator==(const OutRuleTable&) const = default;
};

// The English sentence for a stored rule; empty for a slot not in use.
QString RuleDescription(const OutCnctRule& rule);

} // namespace brevion
