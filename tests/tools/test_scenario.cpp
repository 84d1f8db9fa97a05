// Scenario reading and the checks before a run: what a valid file gives, the
// one message each broken field gets, time tables, and each known problem
// warned once where it is, or refused. The cases are JSON patches of one
// valid scenario, in cases.json.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "checks.h"
#include "choke.h"
#include "scenario.h"

namespace {

using nlohmann::json;
using namespace pelmorarun;

json load(const std::filesystem::path& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return json::parse(text.str());
}

const json cases = load(std::filesystem::path(__FILE__).parent_path() / "cases.json");

std::string messagefor(const json& document)
{
    try {
        scenariofromjson(document);
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "";
}

Checks checksof(const json& document)
{
    const Scenario s = scenariofromjson(document);
    return checkscenario(s, gasconstants(s));
}

TEST(Scenario, ValidFileGivesEveryValueWithDefaults)
{
    const Scenario s = scenariofromjson(cases["scenario"]);
    EXPECT_EQ(s.gas.ideal.compressibility, 1.0);
    EXPECT_EQ(s.pipes[0].outletdiameter, 0.5);
    EXPECT_EQ(s.pipes[1].outletdiameter, 0.4);
    EXPECT_EQ(s.pipes[1].inclination, 0.01);
    EXPECT_EQ(s.pipes[1].heattransfercoefficient, 0.0);
    EXPECT_EQ(s.start.pressure, (std::vector<double>{5e6, 4.9e6}));
    EXPECT_EQ(s.start.temperature, (std::vector<double>{288.15, 288.15}));
    EXPECT_TRUE(s.ends[0].pressurefixed && s.ends[0].temperaturefixed && !s.ends[0].massflowfixed);
    EXPECT_TRUE(s.ends[1].massflowfixed && !s.ends[1].pressurefixed);
    EXPECT_EQ(s.output.profiletimes, (std::vector<double>{0, 200}));
    const Scenario real = scenariofromjson(cases["scenario"].patch(cases["realgas"]));
    ASSERT_TRUE(real.gas.real);
    EXPECT_EQ(real.gas.realgas.molefractions[8], 0.02); // nitrogen, by name
    EXPECT_EQ(real.gas.realgas.referencepressure, 6e6);
    // Tables: linear between rows, held outside, a repeated time is a step.
    EndTable t{false,        false,           false, {10, 20, 20, 40}, {100, 200, 300, 500},
               {1, 1, 1, 1}, {0, 10, 10, -10}};
    for (auto [time, p] :
         {std::pair{0.0, 100.0}, {15.0, 150.0}, {20.0, 300.0}, {30.0, 400.0}, {99.0, 500.0}})
        EXPECT_EQ(valuesat(t, time).pressure, p) << time;
    EXPECT_EQ(valuesat(t, 30).massflow, 0);
}

TEST(Scenario, EachBrokenFieldGetsOneMessageNamingIt)
{
    for (const json& c : cases["errors"]) {
        const std::string message = c[0], got = messagefor(cases["scenario"].patch(c[1]));
        EXPECT_EQ(got.substr(0, message.size()), message);
    }
    EXPECT_EQ(messagefor(json::array()), "scenario: expected an object");
    EXPECT_THROW(parsescenario("{\"name\": "), ScenarioError);
}

TEST(ScenarioChecks, EachKnownProblemWarnsOnceWhereItIsAndCellsTooDifferentAreRefused)
{
    json clean = cases["scenario"].patch(cases["clean"]);
    EXPECT_TRUE(checksof(clean).warnings.empty());
    for (const json& c : cases["warnings"]) {
        const Checks found = checksof(clean.patch(c[2]));
        EXPECT_TRUE(found.refusal.empty()) << c[0];
        ASSERT_EQ(found.warnings.size(), 1u) << c[0];
        EXPECT_EQ(found.warnings[0].code, c[0]);
        EXPECT_EQ(found.warnings[0].where, c[1]);
    }
    // 500 m cells next to 50 m (ratio 10) run, next to 40 m not.
    clean["pipes"][1]["celllength"] = 50;
    EXPECT_TRUE(checksof(clean).refusal.empty());
    clean["pipes"][1]["celllength"] = 40;
    EXPECT_EQ(checksof(clean).refusal.rfind("pipes[0] and pipes[1]: neighbouring cells of 500 m "
                                            "and 40 m (ratio 12.5) are beyond the ratio 10",
                                            0),
              0u);
    // The engine's cell count: round(L / s), at least 3, a steep taper more.
    Pipe p;
    p.length = 1000;
    p.inletdiameter = 0.5;
    for (auto [cell, outlet, count] :
         {std::tuple{400.0, 0.5, 3}, {90.0, 0.5, 11}, {1000.0, 0.1, 8}}) {
        p.celllength = cell;
        p.outletdiameter = outlet;
        EXPECT_EQ(cellcount(p), count) << cell;
    }
    for (const auto& file : std::filesystem::directory_iterator(PELMORA_EXAMPLES)) {
        const Checks c = checksof(load(file.path()));
        EXPECT_TRUE(c.refusal.empty() && c.warnings.empty()) << file.path();
    }
}

// The choke rule of a pressure-held end where gas may leave: imposed as it
// is unless the end can choke against it (below 1.03 times the isentropic
// critical pressure of the end cell), then the largest of the table value,
// 1.03 times the choke pressure of the leaving flow and half the pressure
// imposed before.
TEST(Choke, EndsAreHeldAboveTheChokePressureAndFallAtMostByHalf)
{
    VentingEnd end{0, 0.6e6, 50, 280, 0.3, 1e6, 300, 0};
    // Gas at rest, gamma 1.4.
    EXPECT_NEAR(criticalpressure(end, 1.4, 1004.5), 0.528282e6, 1);
    end.cellspeed = 200; // the stagnation pressure of a moving cell is higher
    EXPECT_NEAR(criticalpressure(end, 1.4, 1004.5),
                0.528282e6 * std::pow(1 + 2e4 / 1004.5 / 300, 3.5), 1);
    end.cellspeed = 0;
    const auto choke = [](double, double, double) { return 0.55e6; };
    for (auto [table, last, pressure, choked] : {std::tuple{0.6e6, 0.6e6, 0.6e6, false},
                                                 {0.5e6, 0.6e6, 1.03 * 0.55e6, true},
                                                 {0.5e6, 1.4e6, 0.7e6, false}}) {
        end.tablepressure = table;
        end.lastimposed = last;
        const ChokeDecision d = chokedend(end, 1.4, 1004.5, choke);
        EXPECT_DOUBLE_EQ(d.pressure, pressure) << table << " " << last;
        EXPECT_EQ(d.choked, choked) << table << " " << last;
    }
}

} // namespace
