// The comparison of two port lists, and how videoports shows ports and
// changes, on hand-made port states.
#include <DisplayWidth.h>
#include <PortChanges.h>
#include <PortReport.h>
#include <Watch.h>

#include "../support/Environment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using libVideoPortInfo::DisplayState;
using snapshot::Mode;
using snapshot::PortChange;
using snapshot::PortState;
using Kind = snapshot::PortChange::Kind;

PortState port(unsigned index, std::uint32_t target, bool attached) {
    PortState state;
    state.index = index;
    state.target = snapshot::PortTarget{0xd6a1, 0, target};
    state.key = "\\\\?\\PCI#adapter#" + std::to_string(target);
    state.connector = "HDMI";
    state.connectorType = 2;
    state.monitorAttached = attached;
    state.displayId = "\\\\.\\DISPLAY" + std::to_string(index + 1);
    if (attached) {
        state.monitor.emplace();
        state.monitor->name = "Monitor " + std::to_string(target);
        state.monitor->devicePath = "\\\\?\\path";
        state.monitor->displayId = state.displayId;
        state.monitor->preferredMode = Mode{1920, 1080, 60, 0};
        state.monitorConnected = true;
        // Side by side from the origin, 1920 pixels apart.
        DisplayState current;
        current.width = 1920;
        current.height = 1080;
        current.x = static_cast<std::int32_t>(index) * 1920;
        current.refreshRate = {60, 1};
        current.primary = index == 0;
        state.current = current;
    }
    state.modes = {Mode{640, 480, 60, 32}, Mode{1920, 1080, 60, 32}};
    return state;
}

// A laptop-like list: two attached targets, two free ones.
std::vector<PortState> machine() {
    return {port(0, 0x1040, true), port(1, 0x1041, true), port(2, 0x1042, false),
            port(3, 0x1043, false)};
}

std::vector<Kind> kindsOf(const std::vector<PortChange>& changes) {
    std::vector<Kind> kinds;
    for (const PortChange& change : changes) {
        kinds.push_back(change.kind);
    }
    return kinds;
}

TEST(PortChanges, TheSameTargetsInAnotherOrderAreNoChange) {
    const std::vector<PortState> before = machine();
    EXPECT_TRUE(snapshot::portChanges(before, before).empty());
    std::vector<PortState> after = before;
    std::reverse(after.begin(), after.end());
    for (unsigned i = 0; i < after.size(); ++i) {
        after[i].index = i;
    }
    EXPECT_TRUE(snapshot::portChanges(before, after).empty());
}

TEST(PortChanges, APortReplacedAtTheSameIndexIsOneGoneAndOneNew) {
    const std::vector<PortState> before = machine();
    std::vector<PortState> after = before;
    after[2] = port(2, 0x2000, false); // same index, same everything but the target
    const std::vector<PortChange> changes = snapshot::portChanges(before, after);
    ASSERT_EQ(kindsOf(changes), (std::vector<Kind>{Kind::PortRemoved, Kind::PortAdded}));
    EXPECT_EQ(changes[0].before->key, before[2].key);
    EXPECT_EQ(changes[1].after->key, after[2].key);

    // Another adapter with the same target id is another target too.
    after = before;
    after[3].key = "\\\\?\\PCI#other#" + std::to_string(0x1043);
    EXPECT_EQ(kindsOf(snapshot::portChanges(before, after)),
              (std::vector<Kind>{Kind::PortRemoved, Kind::PortAdded}));
}

TEST(PortChanges, PortsThatAppearOrDisappear) {
    const std::vector<PortState> ports = machine();
    const std::vector<PortChange> appeared = snapshot::portChanges({}, ports);
    ASSERT_EQ(appeared.size(), ports.size());
    for (std::size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(appeared[i].kind, Kind::PortAdded);
        EXPECT_EQ(appeared[i].after->key, ports[i].key);
    }
    // The removed port keeps its old index; the ports after it move up.
    std::vector<PortState> after = {ports[0], ports[2], ports[3]};
    for (unsigned i = 0; i < after.size(); ++i) {
        after[i].index = i;
    }
    const std::vector<PortChange> gone = snapshot::portChanges(ports, after);
    ASSERT_EQ(kindsOf(gone), std::vector<Kind>{Kind::PortRemoved});
    EXPECT_EQ(gone[0].before->index, 1u);
    EXPECT_EQ(gone[0].before->target.targetId, 0x1041u);
}

TEST(PortChanges, AMonitorAttachedOrDetachedIsOneChangeWithItsMonitor) {
    const std::vector<PortState> before = machine();
    std::vector<PortState> after = before;
    after[1] = port(1, 0x1041, false);
    after[1].displayId = before[1].displayId;
    const std::vector<PortChange> detached = snapshot::portChanges(before, after);
    ASSERT_EQ(kindsOf(detached), std::vector<Kind>{Kind::MonitorDetached});
    EXPECT_EQ(detached[0].before->monitor->name, before[1].monitor->name);

    const std::vector<PortChange> attached = snapshot::portChanges(after, before);
    ASSERT_EQ(kindsOf(attached), std::vector<Kind>{Kind::MonitorAttached});
    EXPECT_EQ(attached[0].after->monitor->preferredMode, before[1].monitor->preferredMode);
}

TEST(PortChanges, EachChangeOfAPortThatStays) {
    const std::vector<PortState> before = machine();
    std::vector<PortState> after = before;
    after[0].monitor->name = "Another";
    after[0].monitor->preferredMode = Mode{};
    after[0].displayId = "\\\\.\\DISPLAY7";
    after[3].connector = "DVI";
    after[3].connectorType = 4;
    EXPECT_EQ(kindsOf(snapshot::portChanges(before, after)),
              (std::vector<Kind>{Kind::NameChanged, Kind::PreferredModeChanged,
                                 Kind::DisplayIdChanged, Kind::ConnectorChanged}));
}

TEST(PortChanges, ModeListsCountWhatCameAndWent) {
    const std::vector<PortState> before = machine();
    std::vector<PortState> after = before;
    auto& modes = after[1].modes;
    std::reverse(modes.begin(), modes.end()); // the order alone is no change
    EXPECT_TRUE(snapshot::portChanges(before, after).empty());

    modes.erase(modes.begin());
    modes.push_back(Mode{800, 600, 60, 32});
    modes.push_back(Mode{800, 600, 60, 16}); // differs only in depth
    const std::vector<PortChange> changes = snapshot::portChanges(before, after);
    ASSERT_EQ(kindsOf(changes), std::vector<Kind>{Kind::ModesChanged});
    EXPECT_EQ(changes[0].modesAdded, 2u);
    EXPECT_EQ(changes[0].modesRemoved, 1u);
}

// What a port in use can change while it stays in use, each alone.
TEST(PortChanges, EachChangeOfAPortInUse) {
    const std::vector<PortState> before = machine();
    struct Case {
        const char* what;
        void (*change)(DisplayState&);
        std::vector<Kind> kinds;
    };
    const Case cases[] = {
        {"size", [](DisplayState& s) { s.width = 1280; }, {Kind::CurrentModeChanged}},
        {"rate",
         [](DisplayState& s) {
             s.refreshRate = {5994, 100};
         },
         {Kind::CurrentModeChanged}},
        {"scan", [](DisplayState& s) { s.interlaced = true; }, {Kind::CurrentModeChanged}},
        {"place", [](DisplayState& s) { s.y = -200; }, {Kind::PositionChanged}},
        {"rotation", [](DisplayState& s) { s.rotation = 90; }, {Kind::RotationChanged}},
        {"primary", [](DisplayState& s) { s.primary = true; }, {Kind::PrimaryChanged}},
    };
    for (const Case& c : cases) {
        std::vector<PortState> after = before;
        c.change(*after[1].current);
        EXPECT_EQ(kindsOf(snapshot::portChanges(before, after)), c.kinds) << c.what;
    }
}

// A watch whose readings are scripted: each look takes the next one.
struct ScriptedWatch {
    explicit ScriptedWatch(std::vector<std::optional<std::vector<PortState>>> readings)
        : readings_(std::move(readings)),
          watch(1, {}, snapshot::Watch::Source{[this] { return nextReading(); }, {}}) {}

    snapshot::Reading nextReading() {
        snapshot::Reading reading;
        reading.ports = readings_.at(taken_++);
        reading.reason = reading.ports ? "" : "unreadable";
        return reading;
    }

    std::vector<std::optional<std::vector<PortState>>> readings_;
    std::size_t taken_ = 0;
    snapshot::Watch watch;
};

using Type = snapshot::WatchEvent::Type;

std::vector<Type> typesOf(const snapshot::Look& look) {
    std::vector<Type> types;
    for (const snapshot::WatchEvent& event : look.events) {
        types.push_back(event.type);
    }
    return types;
}

// A failed reading between two good ones: told once, as is the recovery, and
// the next good list is compared with the last good one, so that what
// changed and changed back meanwhile is no change.
TEST(Watch, AFailedReadingBetweenTwoGoodOnes) {
    const std::vector<PortState> good = machine();
    std::vector<PortState> next = good;
    next[2] = port(2, 0x1042, true); // a monitor attached
    ScriptedWatch scripted({std::nullopt, std::nullopt, next, std::nullopt, next, good});
    snapshot::Watch& watch = scripted.watch;
    watch.begin(good);
    EXPECT_EQ(typesOf(watch.next()), std::vector<Type>{Type::ReadFailed});
    EXPECT_TRUE(watch.next().events.empty()) << "only the first failure is told";
    const snapshot::Look recovered = watch.next();
    ASSERT_EQ(typesOf(recovered), (std::vector<Type>{Type::ReadRecovered, Type::Changes}));
    EXPECT_EQ(kindsOf(recovered.events[1].changes), std::vector<Kind>{Kind::MonitorAttached});
    EXPECT_EQ(recovered.events[0].before, recovered.events[1].before)
        << "a read event carries the last good list";

    const snapshot::Look failed = watch.next();
    ASSERT_EQ(typesOf(failed), std::vector<Type>{Type::ReadFailed});
    EXPECT_EQ(failed.events[0].reason, "unreadable");
    EXPECT_EQ(typesOf(watch.next()), std::vector<Type>{Type::ReadRecovered});
    const snapshot::Look back = watch.next();
    EXPECT_EQ(kindsOf(back.events.at(0).changes), std::vector<Kind>{Kind::MonitorDetached});
    EXPECT_EQ(watch.known()->size(), good.size());
}

// The same ports in another order are no event, but the next change is told
// with the lists it compares: its indexes reach the port that left in the
// event's own `before`, not in the list seen before the reordering.
TEST(Watch, AReorderingThenARemovalNamesThePortThatLeft) {
    const std::vector<PortState> first = machine();
    std::vector<PortState> reordered = {first[1], first[0], first[2], first[3]};
    std::vector<PortState> without = {first[0], first[2], first[3]};
    for (auto* list : {&reordered, &without}) {
        for (unsigned i = 0; i < list->size(); ++i) {
            (*list)[i].index = i;
        }
    }
    ScriptedWatch scripted({reordered, without});
    scripted.watch.begin(first);
    EXPECT_TRUE(scripted.watch.next().events.empty());
    const snapshot::Look removed = scripted.watch.next();
    ASSERT_EQ(removed.events.size(), 1u);
    const snapshot::WatchEvent& event = removed.events[0];
    ASSERT_EQ(kindsOf(event.changes), std::vector<Kind>{Kind::PortRemoved});
    const PortState& gone = *event.changes[0].before;
    EXPECT_EQ(gone.key, first[1].key);
    EXPECT_EQ(event.before->at(gone.index).key, first[1].key);
}

// With a probe, a poll reads in full only when the fingerprint changed or
// enough polls have passed for the reading's cost; here a reading is made to
// cost far more than the 0.01% of 10 ms that a poll may spend on it. The
// probe asks for the displays of the last list only.
TEST(Watch, PollsReadInFullWhenTheFingerprintChanges) {
    std::string fingerprint = "a";
    std::set<std::string> probed;
    unsigned reads = 0;
    std::vector<PortState> now = machine();
    snapshot::Watch watch(
        10, {},
        snapshot::Watch::Source{[&] {
                                    ++reads;
                                    std::this_thread::sleep_for(
                                        std::chrono::milliseconds(2)); // a costly reading
                                    snapshot::Reading reading;
                                    reading.ports = now;
                                    return reading;
                                },
                                [&](const std::set<std::string>& displayIds) {
                                    probed = displayIds;
                                    return std::optional<std::string>(fingerprint);
                                }});
    watch.begin(machine());
    watch.next(); // the first poll reads, and learns what reading costs
    EXPECT_EQ(reads, 1u);
    EXPECT_EQ(probed.size(), machine().size()) << "every display of the list is probed";
    for (int poll = 0; poll < 3; ++poll) {
        EXPECT_TRUE(watch.next().read);
    }
    EXPECT_EQ(reads, 1u) << "an unchanged fingerprint needs no reading";
    now.pop_back();
    fingerprint = "b";
    watch.next();
    EXPECT_EQ(reads, 2u);
    watch.next();
    EXPECT_EQ(probed.size(), now.size()) << "a display that went is probed no more";
    watch.stop();
    EXPECT_EQ(watch.next().wake, snapshot::DisplayWatcher::Wake::Stop);
}

TEST(PortReport, TableShowsUnknownModesAndIdleDisplayIdsInParentheses) {
    std::vector<PortState> ports = machine();
    ports[0].monitor->preferredMode = Mode{};
    ports[3].displayId.clear();
    const std::string table = tools::tableText(ports, false);
    const std::vector<std::string> expectedCells = {"unknown", "1920x1080 @ 60 Hz",
                                                    "(" + ports[2].displayId + ")"};
    for (const std::string& cell : expectedCells) {
        EXPECT_NE(table.find(cell), std::string::npos) << cell << " in\n" << table;
    }
    EXPECT_EQ(table.find("(" + ports[0].displayId + ")"), std::string::npos) << table;
    EXPECT_EQ(table.find("()"), std::string::npos) << "no id is no parentheses";
}

TEST(PortReport, CurrentModesAsXGeometryWithTheirRateAndPrimary) {
    std::vector<PortState> ports = machine();
    ports[0].current->x = -1920;
    ports[0].current->primary = false;
    ports[1].current->x = 0;
    ports[1].current->primary = true;
    ports[1].current->rotation = 90;
    ports[1].current->refreshRate = {241500000, 4028320};
    const std::string table = tools::tableText(ports, false);
    for (const char* cell :
         {"1920x1080-1920+0 @ 60.00 Hz  ", "1920x1080+0+0 @ 59.95 Hz, rotated 90, primary  "}) {
        EXPECT_NE(table.find(cell), std::string::npos) << cell << " in\n" << table;
    }
    EXPECT_NE(table.find("CURRENT MODE"), std::string::npos) << table;
}

TEST(PortReport, DisplayWidthCountsTerminalColumns) {
    const struct {
        const char* text;
        std::size_t columns;
    } cases[] = {
        {"", 0},
        {"DELL U2719D", 11},
        {"\u00C9cran", 5},   // É as one character
        {"E\u0301cran", 5},  // E and a combining acute accent
        {"\u6771\u4EAC", 4}, // 東京: wide
        {"\uD55C", 2},       // 한: a Hangul syllable
        {"\uFF21", 2},       // Ａ: fullwidth
        {"\U0001F600", 2},   // an emoji beyond U+FFFF
        {"a\u200Db", 2},     // ZERO WIDTH JOINER: a format character
        {"\u3099", 0},       // a combining kana mark: wide, but a mark first
        {"\xFF!", 2},        // an ill-formed byte: one U+FFFD
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tools::displayWidth(c.text), c.columns) << c.text;
    }
}

// Names with wide and combining characters: every row's last column starts at
// the header's, counted in terminal columns.
TEST(PortReport, TableAlignsByTerminalColumns) {
    std::vector<PortState> ports = machine();
    ports[0].monitor->name = "\u6771\u4EAC Monitor"; // 東京: 12 columns, 14 bytes
    ports[1].monitor->name = "E\u0301cran \u5927";   // Écran 大: 8 columns, 11 bytes
    const std::string table = tools::tableText(ports, false);
    std::istringstream lines(table);
    std::string header;
    std::getline(lines, header);
    EXPECT_EQ(header.find("PREFERRED MODE"), header.find("NAME") + 12 + 2) << table;
    const std::size_t lastColumn = header.find("SCALE");
    unsigned rows = 0;
    for (std::string line; std::getline(lines, line); ++rows) {
        const std::size_t lastCell = line.rfind("  ") + 2;
        EXPECT_EQ(tools::displayWidth(line.substr(0, lastCell)), lastColumn) << table;
    }
    EXPECT_EQ(rows, ports.size());
}

TEST(PortReport, ChangeLinesNameThePortAndWhatChanged) {
    const std::vector<PortState> before = machine();
    std::vector<PortState> after = before;
    after[1].monitor->name = "B";
    const PortChange change = snapshot::portChanges(before, after).at(0);
    const nlohmann::ordered_json json = tools::changeJson(change, "T");
    std::vector<std::string> keys;
    for (const auto& item : json.items()) {
        keys.push_back(item.key());
    }
    EXPECT_EQ(keys, (std::vector<std::string>{"time", "event", "index", "adapterId", "targetId",
                                              "key", "before", "after"}));
    EXPECT_EQ(json["event"], "nameChanged");
    EXPECT_EQ(json["adapterId"], "00000000:0000d6a1");
    EXPECT_EQ(json["targetId"], 0x1041);
    EXPECT_EQ(json["before"], before[1].monitor->name);
    EXPECT_EQ(json["after"], "B");
    const std::string text = tools::changeText(change);
    EXPECT_NE(text.find("port 1 (target " + std::to_string(0x1041) + " on adapter"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\"" + before[1].monitor->name + "\" -> \"B\""), std::string::npos) << text;
}

TEST(PortReport, TimestampsAreLocalWithTheirOffset) {
    // A zone 5 h 30 min east of UTC, without daylight saving time.
    setEnvironment("TZ", "XYZ-5:30");
#ifdef _WIN32
    _tzset();
#else
    tzset();
#endif
    const std::time_t utc = 1700000000;
    const auto time = std::chrono::system_clock::from_time_t(utc) + std::chrono::milliseconds(42);
    const std::time_t shifted = utc + (5 * 60 + 30) * 60;
    char expected[64];
    std::strftime(expected, sizeof expected, "%Y-%m-%dT%H:%M:%S", std::gmtime(&shifted));
    EXPECT_EQ(tools::localTimestamp(time), std::string(expected) + ".042+05:30");
}

} // namespace
