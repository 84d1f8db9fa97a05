// Scenario reading: what a valid file gives, the one message a broken file
// gets, and the time-table interpolation of boundary values.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include <nlohmann/json.hpp>

#include "checks.h"
#include "scenario.h"

namespace {

using nlohmann::json;
using pelmorarun::EndTable;
using pelmorarun::Scenario;
using pelmorarun::ScenarioError;
using pelmorarun::scenariofromjson;
using pelmorarun::valuesat;
using pelmorarun::Warning;

json validscenario()
{
    return json::parse(R"({
      "name": "two pipes",
      "gas": {"model": "ideal", "molweight": 18, "gamma": 1.3, "viscosity": 1.1e-5},
      "pipes": [
        {"length": 5000, "diameter": 0.5, "roughness": 2e-5, "celllength": 500,
         "ambienttemperature": 283.15, "heattransfercoefficient": 2},
        {"length": 3000, "inletdiameter": 0.5, "outletdiameter": 0.4, "inclination": 0.01,
         "roughness": 2e-5, "celllength": 500, "ambienttemperature": 280}
      ],
      "initial": {"type": "uniform", "pressure": [5e6, 4.9e6], "temperature": 288.15, "massflow": 10},
      "boundary": {
        "inlet": {"fixed": ["pressure", "temperature"],
                  "table": [{"time": 0, "pressure": 5e6, "temperature": 288.15}]},
        "outlet": {"fixed": ["massflow"],
                   "table": [{"time": 0, "massflow": 10}, {"time": 100, "massflow": 20}]}
      },
      "timestep": 10, "endtime": 200, "maxtimestep": 1,
      "output": {"directory": "out", "profiles": [200, 0], "plots": true}
    })");
}

// The message for a scenario; empty when it is accepted.
std::string messagefor(const json& document)
{
    try {
        scenariofromjson(document);
    } catch (const ScenarioError& e) {
        return e.what();
    }
    return "";
}

TEST(ScenarioReading, ValidScenarioGivesEveryValue)
{
    const Scenario s = scenariofromjson(validscenario());
    EXPECT_EQ(s.name, "two pipes");
    EXPECT_FALSE(s.gas.real);
    EXPECT_EQ(s.gas.ideal.compressibility, 1.0); // default
    ASSERT_EQ(s.pipes.size(), 2u);
    EXPECT_EQ(s.pipes[0].inletdiameter, 0.5);
    EXPECT_EQ(s.pipes[0].outletdiameter, 0.5);
    EXPECT_EQ(s.pipes[1].outletdiameter, 0.4);
    EXPECT_EQ(s.pipes[1].inclination, 0.01);
    EXPECT_EQ(s.pipes[1].heattransfercoefficient, 0.0); // default: adiabatic
    EXPECT_EQ(s.start.pressure, (std::vector<double>{5e6, 4.9e6}));
    EXPECT_EQ(s.start.temperature, (std::vector<double>{288.15, 288.15})); // one value for all
    EXPECT_TRUE(s.ends[0].pressurefixed && s.ends[0].temperaturefixed);
    EXPECT_FALSE(s.ends[0].massflowfixed);
    EXPECT_TRUE(s.ends[1].massflowfixed && !s.ends[1].pressurefixed);
    EXPECT_TRUE(std::isnan(s.ends[1].pressure[0])); // not imposed, left out
    EXPECT_EQ(s.maxtimestep, 1.0);
    EXPECT_EQ(s.output.profiletimes, (std::vector<double>{0, 200})); // sorted
    EXPECT_TRUE(s.output.plots);
}

TEST(ScenarioReading, RealGasCompositionIsReadByComponentName)
{
    json doc = validscenario();
    doc["gas"] = json::parse(R"({"model": "realgas",
        "composition": {"methane": 0.95, "ethane": 0.03, "nitrogen": 0.02},
        "reference": {"pressure": 6e6, "temperature": 288.15}})");
    const Scenario s = scenariofromjson(doc);
    ASSERT_TRUE(s.gas.real);
    EXPECT_EQ(s.gas.realgas.molefractions[0], 0.95);
    EXPECT_EQ(s.gas.realgas.molefractions[1], 0.03);
    EXPECT_EQ(s.gas.realgas.molefractions[8], 0.02); // nitrogen
    EXPECT_EQ(s.gas.realgas.referencepressure, 6e6);
}

TEST(ScenarioReading, EachBrokenFieldGetsOneMessageNamingIt)
{
    struct Case {
        const char* pointer; // JSON pointer of the field to change
        json value;          // new value; null removes the field
        const char* message;
    };
    const Case cases[] = {
        {"/pipes/1/length", -3000, "pipes[1].length: expected a positive number"},
        {"/pipes/0/length", "5 km", "pipes[0].length: expected a positive number"},
        {"/pipes/0/celllength", nullptr,
         "pipes[0].celllength: missing; expected a positive number"},
        {"/pipes/0/roughness", -1e-5, "pipes[0].roughness: expected a number of 0 or more"},
        {"/pipes/0/inclination", 2.0,
         "pipes[0].inclination: expected radians between -pi/2 and pi/2"},
        {"/pipes/0/lenght", 1, "pipes[0].lenght: unknown field"},
        {"/pipes", json::array(), "pipes: expected a non-empty list"},
        {"/gas", nullptr, "gas: missing; expected an object"},
        {"/gas/gamma", 1.0, "gas.gamma: expected a number above 1"},
        {"/gas/model", "perfect", "gas.model: expected \"ideal\" or \"realgas\""},
        {"/initial/pressure", json::array({5e6}),
         "initial.pressure: expected one value per pipe (2)"},
        {"/initial/temperature", 0, "initial.temperature: expected a positive number"},
        {"/initial/type", "guess", "initial.type: expected \"uniform\" or \"steadystate\""},
        {"/boundary/outlet", nullptr, "boundary.outlet: missing; expected an object"},
        {"/boundary/inlet/fixed/0", "flow",
         "boundary.inlet.fixed[0]: expected \"pressure\", \"temperature\" or \"massflow\""},
        {"/boundary/inlet/table/0/pressure", nullptr,
         "boundary.inlet.table[0].pressure: missing; expected a positive number"},
        {"/boundary/outlet/table/1/time", -1,
         "boundary.outlet.table[1].time: expected a number of 0 or more"},
        {"/boundary/outlet/table/0/time", 150,
         "boundary.outlet.table[1].time: times must not decrease down the table"},
        {"/timestep", 0, "timestep: expected a positive number"},
        {"/endtime", nullptr, "endtime: missing; expected a positive number"},
        {"/maxtimestep", -1, "maxtimestep: expected a positive number"},
        {"/output/profiles/0", 500, "output.profiles[0]: after endtime"},
        {"/output/plots", "yes", "output.plots: expected true or false"},
        {"/extra", 1, "extra: unknown field"},
    };
    for (const Case& c : cases) {
        json doc = validscenario();
        const json::json_pointer at(c.pointer);
        if (c.value.is_null()) {
            doc[at.parent_pointer()].erase(at.back());
        } else {
            doc[at] = c.value;
        }
        EXPECT_EQ(messagefor(doc), c.message) << c.pointer;
    }
}

TEST(ScenarioReading, SteadyStartAndRealGasProblemsAreNamed)
{
    json doc = validscenario();
    doc["initial"] =
        json::parse(R"({"type": "steadystate", "mode": 7, "a": 5e6, "b": 288, "c": 10})");
    EXPECT_EQ(messagefor(doc), "initial.mode: expected 1 to 6");
    doc["initial"]["mode"] = 5;
    doc["initial"]["c"] = -1; // mode 5: c is the required outlet pressure
    EXPECT_EQ(messagefor(doc), "initial.c: expected a positive number");

    doc = validscenario();
    doc["gas"] =
        json::parse(R"({"model": "realgas", "composition": {"methane": 0.9, "helium": 0.1}})");
    EXPECT_EQ(
        messagefor(doc).rfind("gas.composition.helium: unknown component; known: methane,", 0), 0u);
    doc["gas"]["composition"] = json::parse(R"({"methane": 0.5})");
    EXPECT_EQ(messagefor(doc).rfind("gas.composition: mole fractions sum to 0.5", 0), 0u);

    EXPECT_EQ(messagefor(json::array()), "scenario: expected an object");
    EXPECT_THROW(pelmorarun::parsescenario("{\"name\": "), ScenarioError);
}

TEST(ScenarioTables, InterpolateLinearlyAndHoldOutside)
{
    EndTable t;
    t.time = {10, 20, 20, 40};
    t.pressure = {100, 200, 300, 500};
    t.temperature = {1, 1, 1, 1};
    t.massflow = {0, 10, 10, -10};
    EXPECT_EQ(valuesat(t, 0).pressure, 100);  // before the first row
    EXPECT_EQ(valuesat(t, 15).pressure, 150); // between rows
    EXPECT_EQ(valuesat(t, 20).pressure, 300); // a step: the later row holds from its time on
    EXPECT_EQ(valuesat(t, 30).pressure, 400);
    EXPECT_EQ(valuesat(t, 30).massflow, 0);
    EXPECT_EQ(valuesat(t, 99).pressure, 500); // after the last row
}

// --- Checks before a run -----------------------------------------------------

pelmorarun::Checks checksof(const json& document)
{
    const Scenario s = scenariofromjson(document);
    return pelmorarun::checkscenario(s, pelmorarun::gasconstants(s));
}

// The valid scenario without its taper: nothing to warn about.
json cleanscenario()
{
    json doc = validscenario();
    doc["pipes"][1].erase("inletdiameter");
    doc["pipes"][1].erase("outletdiameter");
    doc["pipes"][1]["diameter"] = 0.5;
    return doc;
}

TEST(ScenarioChecks, EachKnownProblemWarnsOnceWhereItIs)
{
    struct Case {
        const char* code;
        const char* where;
        std::function<void(json&)> change;
    };
    const Case cases[] = {
        {"bore-step", "pipes[0]/pipes[1]", [](json& d) { d["pipes"][1]["diameter"] = 0.4; }},
        {"taper", "pipes[1]",
         [](json& d) {
             d["pipes"][1].erase("diameter");
             d["pipes"][1]["inletdiameter"] = 0.5;
             d["pipes"][1]["outletdiameter"] = 0.45;
         }},
        {"free-end", "boundary.inlet",
         [](json& d) { d["boundary"]["inlet"]["fixed"] = json::array(); }},
        // 50 bar typed as 50 Pa, 15 degrees Celsius typed as 15 K.
        {"pressure-unit", "boundary.inlet.table[0].pressure",
         [](json& d) { d["boundary"]["inlet"]["table"][0]["pressure"] = 50; }},
        {"temperature-unit", "boundary.inlet.table[0].temperature",
         [](json& d) { d["boundary"]["inlet"]["table"][0]["temperature"] = 15; }},
        {"pressure-unit", "initial.pressure[0]", [](json& d) { d["initial"]["pressure"][0] = 50; }},
        {"temperature-unit", "pipes[0].ambienttemperature",
         [](json& d) { d["pipes"][0]["ambienttemperature"] = 10; }},
        // The 0.5 m outlet passes about 2900 kg/s at Mach 1 at 49 bar.
        {"flow-above-choke", "boundary.outlet",
         [](json& d) { d["boundary"]["outlet"]["table"][1]["massflow"] = 4000; }},
    };
    EXPECT_TRUE(checksof(cleanscenario()).warnings.empty());
    for (const Case& c : cases) {
        json doc = cleanscenario();
        c.change(doc);
        const pelmorarun::Checks found = checksof(doc);
        EXPECT_TRUE(found.refusal.empty()) << c.code;
        ASSERT_EQ(found.warnings.size(), 1u) << c.code << ": " << found.warnings.back().message;
        const Warning& w = found.warnings[0];
        EXPECT_EQ(w.code, c.code);
        EXPECT_EQ(w.where, c.where) << c.code;
        // The message starts with the (first) place.
        EXPECT_EQ(w.message.rfind(w.where.substr(0, w.where.find('/')), 0), 0u) << w.message;
    }
}

TEST(ScenarioChecks, TheShippedExamplesAreClean)
{
    for (const auto& file : std::filesystem::directory_iterator(PELMORA_EXAMPLES)) {
        std::ifstream in(file.path());
        std::stringstream text;
        text << in.rdbuf();
        const pelmorarun::Checks c = checksof(json::parse(text.str()));
        EXPECT_TRUE(c.refusal.empty()) << file.path();
        for (const Warning& w : c.warnings)
            ADD_FAILURE() << file.path() << ": " << w.message;
    }
}

TEST(ScenarioChecks, NeighbouringCellsBeyondTheLimitAreRefused)
{
    // 500 m cells next to 50 m (ratio 10) run; next to 40 m (12.5) not.
    json doc = cleanscenario();
    doc["pipes"][1]["celllength"] = 50;
    EXPECT_TRUE(checksof(doc).refusal.empty());
    doc["pipes"][1]["celllength"] = 40;
    EXPECT_EQ(checksof(doc).refusal.rfind("pipes[0] and pipes[1]: neighbouring cells of 500 m and "
                                          "40 m (ratio 12.5) are beyond the ratio 10",
                                          0),
              0u)
        << checksof(doc).refusal;
    // The engine's cell count: round(L / s), at least 3, more in a steep taper.
    pelmorarun::Pipe p;
    p.length = 1000;
    p.inletdiameter = p.outletdiameter = 0.5;
    p.celllength = 400;
    EXPECT_EQ(pelmorarun::cellcount(p), 3);
    p.celllength = 90;
    EXPECT_EQ(pelmorarun::cellcount(p), 11);
    p.outletdiameter = 0.1; // at most half the smaller diameter per cell: 8 cells
    p.celllength = 1000;
    EXPECT_EQ(pelmorarun::cellcount(p), 8);
}

} // namespace
