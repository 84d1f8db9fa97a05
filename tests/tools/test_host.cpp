// pelmora-run as a user meets it: the example scenarios run to completion
// with sane results, a broken scenario gets its message and a non-zero exit,
// and the host's results are exactly those of the same calls made directly
// on the library.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pelmora.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Outcome {
    int status = -1;
    std::string out, err;
};

std::string readtext(const fs::path& path)
{
    std::ifstream in(path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Runs pelmora-run with the given arguments (the engine built beside it),
// capturing stdout and stderr.
Outcome runhost(const std::vector<std::string>& arguments, const fs::path& workdir)
{
    fs::create_directories(workdir);
    const std::string out = (workdir / "stdout.txt").string(),
                      err = (workdir / "stderr.txt").string();
    std::vector<std::string> words = {PELMORA_RUN_EXECUTABLE, "--library", PELMORA_LIBRARY};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    Outcome o;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    o.out = readtext(out);
    o.err = readtext(err);
    return o;
}

fs::path scratch(const std::string& name) { return fs::path(PELMORA_TEST_SCRATCH) / name; }

std::vector<std::vector<double>> readcsv(const fs::path& path)
{
    std::ifstream in(path);
    std::string line;
    std::getline(in, line); // header
    std::vector<std::vector<double>> rows;
    while (std::getline(in, line)) {
        std::vector<double> row;
        std::stringstream cells(line);
        std::string cell;
        while (std::getline(cells, cell, ','))
            row.push_back(std::stod(cell));
        rows.push_back(row);
    }
    return rows;
}

// --- The examples --------------------------------------------------------

// What each example is about, checked on its summary.
struct ExampleCase {
    const char* name;
    void (*about)(const json& summary);
};

void demandcycle(const json& s)
{
    // The inlet feeds at fixed pressure while the outlet follows the
    // demand; the outlet pressure swings with the line pack.
    EXPECT_NEAR(s["inlet"]["pressure_max"].get<double>(), 60e5, 0.1e5);
    EXPECT_GT(s["outlet"]["pressure_max"].get<double>() - s["outlet"]["pressure_min"].get<double>(),
              5e5);
}

void compressortrip(const json& s)
{
    // Real gas; after the trip the customer draws the line pack down.
    EXPECT_TRUE(s["gas"]["real"].get<bool>());
    EXPECT_LT(s["outlet"]["pressure_end"].get<double>(),
              s["outlet"]["pressure_start"].get<double>() - 10e5);
    EXPECT_LT(s["linepack_kg"]["end"].get<double>(), 0.7 * s["linepack_kg"]["start"].get<double>());
}

void emergencyshutdown(const json& s)
{
    // The closed outlet packs the line up towards the inlet pressure.
    EXPECT_GT(s["linepack_kg"]["end"].get<double>(), s["linepack_kg"]["start"].get<double>());
    EXPECT_GT(s["outlet"]["pressure_max"].get<double>(),
              s["outlet"]["pressure_start"].get<double>() + 5e5);
    EXPECT_EQ(s["outlet"]["massflow_end"].get<double>(), 0.0);
}

void blowdown(const json& s)
{
    // The line empties through its outlet, which the host holds at its choke
    // pressure while the flow would otherwise go supersonic.
    EXPECT_LT(s["linepack_kg"]["end"].get<double>(),
              0.05 * s["linepack_kg"]["start"].get<double>());
    ASSERT_EQ(s["chokes"].size(), 1u);
    EXPECT_EQ(s["chokes"][0]["end"], "outlet");
    EXPECT_GT(s["chokes"][0]["pressure_max"].get<double>(), 5e5);
    EXPECT_LE(s["outlet"]["mach_max"].get<double>(), 1.0);
}

class Example : public ::testing::TestWithParam<ExampleCase> {};

TEST_P(Example, RunsToCompletionWithSaneResults)
{
    const std::string name = GetParam().name;
    const fs::path dir = scratch("example-" + name);
    fs::remove_all(dir);
    const Outcome o = runhost({std::string(PELMORA_EXAMPLES) + "/" + name + ".json", "--output",
                               dir.string(), "--no-plots"},
                              dir);
    ASSERT_EQ(o.status, 0) << o.err << o.out;
    const json s = json::parse(readtext(dir / "summary.json"));

    // 1. It ran to the end, the engine reported nothing and the checks before
    //    the run found nothing to warn about.
    EXPECT_TRUE(s["completed"].get<bool>());
    EXPECT_TRUE(s["codes"].empty()) << s["codes"].dump();
    EXPECT_TRUE(s["warnings"].empty()) << s["warnings"].dump();
    EXPECT_TRUE(o.err.empty()) << o.err;
    // 2. The mass balance closes: what the line gained is what came in
    //    minus what went out, within a few parts in a thousand.
    EXPECT_LT(std::abs(s["massbalance_error"].get<double>()), 5e-3);
    // 3. Pressures and temperatures stay physical everywhere.
    EXPECT_GT(s["line"]["pressure_min"].get<double>(), 0.5e5);
    EXPECT_LT(s["line"]["pressure_max"].get<double>(), 100e5);
    EXPECT_GT(s["line"]["temperature_min"].get<double>(), 120.0);
    EXPECT_LT(s["line"]["temperature_max"].get<double>(), 400.0);
    // 4. Files for every host step and profile.
    EXPECT_GT(readcsv(dir / "ends.csv").size(), 10u);
    EXPECT_TRUE(fs::exists(dir / "profiles.csv"));
    // 5. The scenario shows what it is meant to.
    GetParam().about(s);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Example,
                         ::testing::Values(ExampleCase{"demand_cycle", demandcycle},
                                           ExampleCase{"compressor_trip", compressortrip},
                                           ExampleCase{"emergency_shutdown", emergencyshutdown},
                                           ExampleCase{"blowdown", blowdown}),
                         [](const auto& test) { return std::string(test.param.name); });

// --- Broken input ----------------------------------------------------------

TEST(HostErrors, BrokenScenarioGetsOneMessageAndNonZeroExit)
{
    const fs::path dir = scratch("broken");
    fs::create_directories(dir);
    json doc = json::parse(readtext(std::string(PELMORA_EXAMPLES) + "/blowdown.json"));
    doc["pipes"][0]["length"] = -10;
    std::ofstream(dir / "broken.json") << doc.dump();
    const Outcome o = runhost({(dir / "broken.json").string(), "--no-output"}, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("pipes[0].length: expected a positive number"), std::string::npos)
        << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_TRUE(o.out.empty());

    std::ofstream(dir / "syntax.json") << "{\"name\": ";
    EXPECT_EQ(runhost({(dir / "syntax.json").string()}, dir).status, 1);
    EXPECT_EQ(runhost({(dir / "missing.json").string()}, dir).status, 1);
    EXPECT_EQ(runhost({"--no-such-option"}, dir).status, 1);
}

TEST(HostErrors, MissingLibraryIsNamed)
{
    const fs::path dir = scratch("nolibrary");
    const Outcome o = runhost({"--library", "/nonexistent/libpelmora.so", "--no-output"}, dir);
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("cannot load the engine library '/nonexistent/libpelmora.so'"),
              std::string::npos)
        << o.err;
}

TEST(HostErrors, SteadyStateThatFailsIsReported)
{
    // Two pipes of different bore cannot be marched as one duct.
    const fs::path dir = scratch("steadyfails");
    fs::create_directories(dir);
    json doc = json::parse(readtext(std::string(PELMORA_EXAMPLES) + "/compressor_trip.json"));
    doc["pipes"][1]["diameter"] = 0.4;
    std::ofstream(dir / "s.json") << doc.dump();
    const Outcome o = runhost({(dir / "s.json").string(), "--no-output"}, dir);
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("status 1: the pipe diameters are not all equal"), std::string::npos)
        << o.err;
}

// --- Choked ends and the checks before a run --------------------------------

// The 2 km, 0.3 m line fed at 60 bar whose outlet opens to the atmosphere
// within 5 s: without choke handling it was cut short with code 3 after 6 s
// (1 s host steps) or ran with the outlet at Mach 4 and 83 K.
json ventscenario(double hoststep)
{
    json doc = json::parse(readtext(std::string(PELMORA_EXAMPLES) + "/blowdown.json"));
    doc["pipes"][0]["length"] = 2000;
    doc["pipes"][0]["celllength"] = 50;
    doc["pipes"][0]["heattransfercoefficient"] = 0;
    doc["boundary"]["inlet"] = json::parse(R"({"fixed": ["pressure", "temperature"],
        "table": [{"time": 0, "pressure": 6e6, "temperature": 288.15}]})");
    doc["timestep"] = hoststep;
    doc["endtime"] = 600;
    doc["output"] = json::object();
    return doc;
}

TEST(ChokedEnds, VentsStaySubsonicAndSayWhenTheyChokedForAnyHostStep)
{
    struct Case {
        const char* name;
        double hoststep;
        double chokedflow; // kg/s leaving at the end of the choke, measured
    };
    // Measured: the vent settles at 126.6 kg/s (126.5 with 5 s and 60 s
    // steps) at Mach 0.974; the blowdown empties the line within 7 minutes
    // at Mach 0.96 to 0.975 (0.81 with 60 s steps, whose choke starts late).
    const Case cases[] = {{"vent", 0.1, 126.6}, {"vent", 1, 126.6},    {"vent", 5, 126.5},
                          {"vent", 60, 126.5},  {"blowdown", 0.1, 27}, {"blowdown", 60, 24}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.hoststep) + " s");
        const fs::path dir = scratch(std::string("choke-") + c.name);
        fs::remove_all(dir);
        fs::create_directories(dir);
        json doc = std::string(c.name) == "vent"
                       ? ventscenario(c.hoststep)
                       : json::parse(readtext(std::string(PELMORA_EXAMPLES) + "/blowdown.json"));
        doc["timestep"] = c.hoststep;
        doc["output"] = json::object();
        std::ofstream(dir / "s.json") << doc.dump();
        const Outcome o = runhost({(dir / "s.json").string(), "--output", dir.string()}, dir);
        ASSERT_EQ(o.status, 0) << o.err << o.out;
        const json s = json::parse(readtext(dir / "summary.json"));
        EXPECT_TRUE(s["codes"].empty()) << s["codes"].dump();
        EXPECT_LE(s["outlet"]["mach_max"].get<double>(), 1.0);
        EXPECT_GT(s["line"]["temperature_min"].get<double>(), 200.0);
        ASSERT_EQ(s["chokes"].size(), 1u) << s["chokes"].dump();
        const json& choke = s["chokes"][0];
        EXPECT_EQ(choke["end"], "outlet");
        EXPECT_LE(choke["from_s"].get<double>(), std::max(5.0, c.hoststep));
        EXPECT_NEAR(choke["massflow_last"].get<double>(), c.chokedflow, 0.05 * c.chokedflow);
        EXPECT_NE(o.out.find("choked   outlet from t = "), std::string::npos) << o.out;
    }
}

TEST(ScenarioChecks, WarningsReachStderrAndTheSummaryAndTooDifferentCellsAreRefused)
{
    const fs::path dir = scratch("checks");
    fs::remove_all(dir);
    fs::create_directories(dir);
    // 1. A bore step: warned on stderr and in summary.json, and run.
    json doc = ventscenario(1);
    doc["endtime"] = 10;
    json second = doc["pipes"][0];
    second["diameter"] = 0.25;
    doc["pipes"].push_back(second);
    std::ofstream(dir / "bore.json") << doc.dump();
    Outcome o = runhost({(dir / "bore.json").string(), "--output", dir.string()}, dir);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err.rfind("pelmora-run: warning (bore-step): pipes[0] ends in 0.3 m", 0), 0u)
        << o.err;
    const json s = json::parse(readtext(dir / "summary.json"));
    ASSERT_EQ(s["warnings"].size(), 1u);
    EXPECT_EQ(s["warnings"][0]["code"], "bore-step");
    EXPECT_EQ(s["warnings"][0]["where"], "pipes[0]/pipes[1]");
    EXPECT_NE(s["warnings"][0]["message"].get<std::string>().find("docs/validation.md#bore-step"),
              std::string::npos);
    // 2. Cells of 50 m next to cells of 1000 m: refused, naming both.
    doc["pipes"][1]["diameter"] = 0.3;
    doc["pipes"][1]["length"] = 10000;
    doc["pipes"][1]["celllength"] = 1000;
    std::ofstream(dir / "cells.json") << doc.dump();
    o = runhost({(dir / "cells.json").string(), "--no-output"}, dir);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("not run: pipes[0] and pipes[1]: neighbouring cells of 50 m and 1000 m "
                         "(ratio 20.0)"),
              std::string::npos)
        << o.err;
    EXPECT_TRUE(o.out.empty());
}

// --- The host makes exactly the calls a host would ------------------------

TEST(HostCalls, ResultsEqualTheSameCallsMadeDirectly)
{
    // 1. A small scenario through pelmora-run.
    const fs::path dir = scratch("direct");
    fs::remove_all(dir);
    fs::create_directories(dir);
    const json doc = json::parse(R"({
      "name": "direct",
      "gas": {"model": "ideal", "molweight": 18, "gamma": 1.3, "viscosity": 1.1e-5, "compressibility": 0.9},
      "pipes": [
        {"length": 4000, "diameter": 0.3, "roughness": 2e-5, "celllength": 400,
         "ambienttemperature": 283.15, "heattransfercoefficient": 2},
        {"length": 2000, "inletdiameter": 0.3, "outletdiameter": 0.25, "inclination": 0.01,
         "roughness": 3e-5, "celllength": 250, "ambienttemperature": 285.15}
      ],
      "initial": {"type": "uniform", "pressure": [5e6, 4.95e6], "temperature": 288.15, "massflow": 8},
      "boundary": {
        "inlet": {"fixed": ["pressure", "temperature"],
                  "table": [{"time": 0, "pressure": 5e6, "temperature": 288.15},
                            {"time": 60, "pressure": 5.2e6, "temperature": 290.15}]},
        "outlet": {"fixed": ["massflow"],
                   "table": [{"time": 0, "massflow": 8}, {"time": 45, "massflow": 2}]}
      },
      "timestep": 7, "endtime": 80, "maxtimestep": 0.4,
      "output": {"profiles": [80]}
    })");
    std::ofstream(dir / "direct.json") << doc.dump();
    const Outcome o = runhost({(dir / "direct.json").string(), "--output", dir.string()}, dir);
    ASSERT_EQ(o.status, 0) << o.err;
    const auto ends = readcsv(dir / "ends.csv");
    const auto profile = readcsv(dir / "profiles.csv");

    // 2. The same calls straight on the library.
    const double molweight = 18, gamma = 1.3, viscosity = 1.1e-5, z = 0.9;
    const int32_t model = 0, npipes = 2;
    loadfluid(nullptr, nullptr, nullptr, nullptr, &molweight, &gamma, &viscosity, &z, &model);
    const double length[] = {4000, 2000}, din[] = {0.3, 0.3}, dout[] = {0.3, 0.25};
    const double incl[] = {0, 0.01}, rough[] = {2e-5, 3e-5}, cell[] = {400, 250};
    loadpipedata(&npipes, length, din, dout, incl, rough, cell);
    const double amb[] = {283.15, 285.15}, htc[] = {2, 0}, limit = 0.4;
    loadwalldata(amb, htc);
    maxtimestep(&limit);
    const double p0[] = {5e6, 4.95e6}, t0[] = {288.15, 288.15}, m0[] = {8, 8};
    loadinitialconditions(p0, t0, m0);
    // What an end does not impose gets its current value there: the starting
    // state of the end cells, then the end state after each step.
    double inflow = 8, outletp = 4.95e6, outlett = 288.15;
    auto boundary = [&](double t) {
        const double f = std::min(t / 60, 1.0), g = std::min(t / 45, 1.0);
        loadbc(1, 5e6 + f * 0.2e6, 288.15 + f * 2, inflow, 1, 1, 0);
        loadbc(2, outletp, outlett, 8 + g * (2 - 8), 0, 0, 1);
    };
    boundary(0);
    ASSERT_EQ(ends.size(), 13u); // t = 0 and 12 host steps (the last one 3 s)
    double t = 0;
    for (std::size_t k = 1; k < ends.size(); ++k) {
        const double dt = std::min(7.0, 80 - t);
        if (k > 1) {
            getbcmassflowrate(1, &inflow);
            getbcpressure(2, &outletp);
            getbctemperature(2, &outlett);
        }
        boundary(t + dt);
        transientpipes(&dt);
        t += dt;
        int32_t code = 0;
        geterrorcode(&code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(ends[k][0], t);
        for (int end = 1; end <= 2; ++end) {
            const std::size_t c = 1 + 6 * static_cast<std::size_t>(end - 1);
            double p, T, m, rho, u, mach;
            getbcpressure(end, &p);
            getbctemperature(end, &T);
            getbcmassflowrate(end, &m);
            getbcdensity(end, &rho);
            getbcvelocity(end, &u);
            getbcmachnumber(end, &mach);
            EXPECT_EQ(ends[k][c], p) << "step " << k << " end " << end;
            EXPECT_EQ(ends[k][c + 1], T);
            EXPECT_EQ(ends[k][c + 2], m);
            EXPECT_EQ(ends[k][c + 3], rho);
            EXPECT_EQ(ends[k][c + 4], u);
            EXPECT_EQ(ends[k][c + 5], mach);
        }
    }
    // 3. The final profile, cell by cell across both pipes.
    int32_t n1 = 0, n2 = 0;
    getnumberofcells(1, &n1);
    getnumberofcells(2, &n2);
    ASSERT_EQ(profile.size(), static_cast<std::size_t>(n1 + n2));
    std::vector<double> p(profile.size());
    getpressure(1, p.data());
    getpressure(2, p.data() + n1);
    for (std::size_t i = 0; i < p.size(); ++i) {
        EXPECT_EQ(profile[i][1], i < static_cast<std::size_t>(n1) ? 1 : 2);
        EXPECT_EQ(profile[i][3], p[i]) << "cell " << i + 1;
    }
    freepipememory();
}

} // namespace
