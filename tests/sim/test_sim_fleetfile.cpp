// The fleet description read by talix-sim.
#include "fleetfile.h"

#include <gtest/gtest.h>

using namespace talixsim;

TEST(FleetFile, ReadsDevicesOverPlausibleDefaults)
{
    const std::string text = R"({
        "port": 24160, "address": "127.0.0.1",
        "faults": { "restartSilentMs": 50 },
        "devices": [
            { "preset": "basic", "name": "Pump", "count": 2, "mac": "placeholder" },
            { "address": "127.0.9.9", "ip": "10.0.0.5", "firmware": "0.0.0", "boot": "1.0.7",
              "hardware": "2.1", "dhcp": true, "baud": 19200, "handshaking": 2,
              "mac": "00:50:C2-5A:3A:BC", "username": "admin",
              "rules": [ { "ip": "10.0.0.9", "port": 502, "flags": 3, "idleSecs": 60 } ],
              "faults": { "answerN": true, "replyFrom": "127.0.0.200" } }
        ] })";
    FleetFile f;
    std::string error;
    ASSERT_TRUE(readFleetFile(text, ipFromText("127.0.1.1"), Faults{}, f, error)) << error;
    EXPECT_EQ(f.port, 24160);
    EXPECT_EQ(f.address, "127.0.0.1");
    ASSERT_EQ(f.devices.size(), 3u);
    EXPECT_EQ(f.devices[1].state.name, "Pump2");
    EXPECT_EQ(ipToText(f.devices[1].state.address), "127.0.1.2");
    EXPECT_EQ(macToText(f.devices[1].state.mac), "00:BA:DB-AD:00:01");
    EXPECT_EQ(f.devices[0].faults.restartSilentMs, 50);

    const DeviceState& d = f.devices[2].state;
    EXPECT_EQ(ipToText(d.address), "127.0.9.9");
    EXPECT_EQ(ipToText(d.ip), "10.0.0.5");
    EXPECT_EQ(d.firm, (Version3{0, 0, 0}));
    EXPECT_EQ(d.hw, (std::array<quint8, 2>{2, 1}));
    EXPECT_TRUE(d.dhcp && d.baud == 19200u && d.handshaking == 2);
    EXPECT_EQ(macToText(d.mac), "00:50:C2-5A:3A:BC");
    EXPECT_EQ(d.username, "admin");
    EXPECT_EQ(d.rules[0], (Rule{ipFromText("10.0.0.9"), 502, 3, 60}));
    EXPECT_TRUE(f.devices[2].faults.answerN);
    EXPECT_EQ(f.devices[2].faults.restartSilentMs, 50) << "the file's defaults apply beneath";
    EXPECT_EQ(ipToText(f.devices[2].faults.replyFrom), "127.0.0.200");
}

TEST(FleetFile, RejectsWhatItCannotMean)
{
    const char* cases[] = {
        R"({ "devices": [ { "faults": { "explode": true } } ] })",
        R"({ "devices": [ { "address": "127.0.0" } ] })",
        R"({ "devices": [ { "address": "127.0.0.010" } ] })",
        R"({ "devices": [ { "boot": "1.0.256" } ] })",
        R"({ "devices": [ { "preset": "fancy" } ] })",
        R"({ "devices": [ { "rules": [ {"ip":"1.1.1.1"},{"ip":"1.1.1.1"},{"ip":"1.1.1.1"},
            {"ip":"1.1.1.1"},{"ip":"1.1.1.1"},{"ip":"1.1.1.1"},{"ip":"1.1.1.1"},{"ip":"1.1.1.1"},
            {"ip":"1.1.1.1"},{"ip":"1.1.1.1"},{"ip":"1.1.1.1"},{"ip":"1.1.1.1"},{"ip":"1.1.1.1"} ] } ] })",
        R"({ "port": 2362 })",
        R"({ "devices": [ )",
    };
    for (const char* text : cases) {
        FleetFile f;
        std::string error;
        EXPECT_FALSE(readFleetFile(text, 0x7F000002, Faults{}, f, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}
