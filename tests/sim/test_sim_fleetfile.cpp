// The fleet description read by talix-sim.
#include "fleetfile.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <tuple>

using namespace talixsim;

TEST(FleetFile, ReadsDevicesOverPlausibleDefaults)
{
    const std::string text = R"({
        "port": 24160, "faults": { "restartSilentMs": 50 },
        "devices": [
            { "preset": "basic", "name": "Pump", "count": 2, "mac": "placeholder" },
            { "address": "127.0.9.9", "firmware": "0.0.0", "hardware": "2.1", "baud": 19200,
              "rules": [ { "ip": "10.0.0.9", "port": 502, "flags": 3, "idleSecs": 60 } ],
              "faults": { "answerN": true, "replyFrom": "127.0.0.200" } }
        ] })";
    FleetFile f;
    std::string error;
    ASSERT_TRUE(readFleetFile(text, ipFromText("127.0.1.1"), Faults{}, f, error)) << error;
    ASSERT_EQ(f.devices.size(), 3u);
    EXPECT_EQ(f.port, 24160);
    const DeviceState &second = f.devices[1].state, &d = f.devices[2].state;
    EXPECT_EQ(QStringList({second.name, ipToText(second.address), macToText(second.mac), ipToText(d.address)}),
              QStringList({"Pump2", "127.0.1.2", "00:BA:DB-AD:00:01", "127.0.9.9"}));
    EXPECT_EQ(std::tuple(d.firm, d.hw, d.baud, d.rules[0]),
              std::tuple(Version3{0, 0, 0}, std::array<quint8, 2>{2, 1}, 19200u, Rule{ipFromText("10.0.0.9"), 502, 3, 60}));
    const Faults& faults = f.devices[2].faults; // over the file's defaults
    EXPECT_TRUE(faults.answerN && faults.restartSilentMs == 50 && ipToText(faults.replyFrom) == "127.0.0.200");
}

TEST(FleetFile, RejectsWhatItCannotMean)
{
    for (const char* text : {R"({ "devices": [ { "faults": { "explode": true } } ] })",
                             R"({ "devices": [ { "address": "127.0.0.010" } ] })",
                             R"({ "devices": [ { "boot": "1.0.256" } ] })", R"({ "devices": [ { "preset": "fancy" } ] })",
                             R"({ "port": 2362 })", R"({ "devices": [ )"}) {
        FleetFile f;
        std::string error;
        EXPECT_TRUE(!readFleetFile(text, 0x7F000002, Faults{}, f, error) && !error.empty()) << text;
    }
}
