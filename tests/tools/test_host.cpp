// pelmora-run as a user meets it: the examples run with sane results, broken
// input gets one message and its exit status, a venting end is held choked,
// the checks before a run warn or refuse, and the results are exactly those
// of the same calls made directly on the library.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <nlohmann/json.hpp>

#include "pelmora.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;

std::string readtext(const fs::path& path)
{
    std::stringstream s;
    s << std::ifstream(path).rdbuf();
    return s.str();
}

const json cases = json::parse(readtext(fs::path(__FILE__).parent_path() / "cases.json"));

json example(const std::string& name)
{
    return json::parse(readtext(std::string(PELMORA_EXAMPLES) + "/" + name + ".json"));
}

struct Outcome {
    int status;
    std::string err, out;
    json summary;
};

// Writes `scenario` into a fresh scratch directory and runs pelmora-run on
// it with the engine built beside it, capturing stdout, stderr and the
// summary.
Outcome run(const std::string& name, const json& scenario, const std::string& options = "")
{
    const fs::path dir = fs::path(PELMORA_TEST_SCRATCH) / name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "s.json") << scenario.dump();
    const std::string command = std::string(PELMORA_RUN_EXECUTABLE) + " --library " +
                                PELMORA_LIBRARY + " " + (dir / "s.json").string() + " --output " +
                                dir.string() + " --no-plots " + options + " >" +
                                (dir / "out").string() + " 2>" + (dir / "err").string();
    const int status = std::system(command.c_str());
    Outcome o{WIFEXITED(status) ? WEXITSTATUS(status) : -1, readtext(dir / "err"),
              readtext(dir / "out"), json()};
    if (fs::exists(dir / "summary.json"))
        o.summary = json::parse(readtext(dir / "summary.json"));
    return o;
}

double at(const json& s, const char* a, const char* b) { return s[a][b].get<double>(); }

// A number of the summary (a JSON pointer), or the number itself.
double value(const json& summary, const json& where)
{
    const json& v = where.is_string() ? summary.at(json::json_pointer(where)) : where;
    return v.is_boolean() ? double(v.get<bool>()) : v.get<double>();
}

TEST(PelmoraRun, ExamplesRunCleanAndShowWhatTheyAreFor)
{
    // Each example with what it shows: [a, op, b, factor, offset] for
    // a op factor b + offset.
    for (const json& e : cases["examples"]) {
        const std::string name = e[0];
        SCOPED_TRACE(name);
        const Outcome o = run(name, example(name));
        ASSERT_EQ(o.status, 0) << o.err;
        const json& s = o.summary;
        EXPECT_TRUE(s["completed"].get<bool>() && s["codes"].empty() && s["warnings"].empty());
        EXPECT_TRUE(o.err.empty()) << o.err;
        EXPECT_LT(std::abs(s["massbalance_error"].get<double>()), 5e-3);
        EXPECT_GT(at(s, "line", "pressure_min"), 0.5e5);
        EXPECT_LT(at(s, "line", "pressure_max"), 100e5);
        EXPECT_GT(at(s, "line", "temperature_min"), 120.0);
        EXPECT_LT(at(s, "line", "temperature_max"), 400.0);
        for (const json& c : e[2]) {
            const double a = value(s, c[0]),
                         b = value(s, c[2]) * (c.size() > 3 ? c[3].get<double>() : 1.0) +
                             (c.size() > 4 ? c[4].get<double>() : 0.0);
            const std::string op = c[1];
            EXPECT_TRUE(op == "<"   ? a < b
                        : op == ">" ? a > b
                                    : a == b)
                << c << ": " << a << " " << b;
        }
    }
}

TEST(PelmoraRun, BrokenInputGetsOneMessageAndItsExitStatus)
{
    json doc = example("blowdown");
    doc["pipes"][0]["length"] = -10;
    Outcome o = run("broken", doc);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("pipes[0].length: expected a positive number"), std::string::npos);
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_TRUE(o.out.empty());
    o = run("nolibrary", example("blowdown"), "--library /nonexistent/libpelmora.so");
    EXPECT_EQ(o.status, 2);
    EXPECT_NE(o.err.find("cannot load the engine library '/nonexistent/"), std::string::npos);
    doc = example("compressor_trip"); // bores differ: the steady start cannot march
    doc["pipes"][1]["diameter"] = 0.4;
    o = run("steadyfails", doc);
    EXPECT_EQ(o.status, 3);
    EXPECT_NE(o.err.find("status 1: the pipe diameters are not all equal"), std::string::npos);
}

// The 2 km, 0.3 m line fed at 60 bar whose outlet opens to the atmosphere
// within 5 s: left alone it is cut short (code 3) or runs at Mach 4 and 83 K.
json vent(double hoststep)
{
    json doc = example("blowdown").patch(cases["vent"]);
    doc["timestep"] = hoststep;
    return doc;
}

TEST(PelmoraRun, VentingEndsStaySubsonicAndChokedForAnyHostStep)
{
    // Measured: the vent settles at 126.6 kg/s (126.5 with 5 s and 60 s
    // steps); the blowdown empties within 7 minutes (24 kg/s last with 60 s
    // steps, whose choke starts late).
    for (auto [hoststep, flow, blowdown] : {std::tuple{0.1, 126.6, false},
                                            {1.0, 126.6, false},
                                            {5.0, 126.5, false},
                                            {60.0, 126.5, false},
                                            {0.1, 27.0, true},
                                            {60.0, 24.0, true}}) {
        SCOPED_TRACE(std::to_string(hoststep) + (blowdown ? " s blowdown" : " s vent"));
        json doc = blowdown ? example("blowdown") : vent(hoststep);
        doc["timestep"] = hoststep;
        doc["output"] = json::object();
        const Outcome o = run("choke", doc);
        ASSERT_EQ(o.status, 0) << o.err;
        const json& s = o.summary;
        EXPECT_TRUE(s["codes"].empty()) << s["codes"].dump();
        EXPECT_LE(at(s, "outlet", "mach_max"), 1.0);
        EXPECT_GT(at(s, "line", "temperature_min"), 200.0);
        ASSERT_EQ(s["chokes"].size(), 1u);
        EXPECT_EQ(s["chokes"][0]["end"], "outlet");
        EXPECT_LE(s["chokes"][0]["from_s"].get<double>(), std::max(5.0, hoststep));
        EXPECT_NEAR(s["chokes"][0]["massflow_last"].get<double>(), flow, 0.05 * flow);
        EXPECT_NE(o.out.find("choked   outlet from t = "), std::string::npos);
    }
}

TEST(PelmoraRun, ChecksWarnOnStderrAndInTheSummaryAndRefuseCellsTooDifferent)
{
    json doc = vent(1);
    doc["endtime"] = 10;
    doc["pipes"].push_back(doc["pipes"][0]);
    doc["pipes"][1]["diameter"] = 0.25;
    Outcome o = run("checks", doc);
    ASSERT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err.rfind("pelmora-run: warning (bore-step): pipes[0] ends in 0.3 m", 0), 0u);
    ASSERT_EQ(o.summary["warnings"].size(), 1u);
    EXPECT_EQ(o.summary["warnings"][0]["where"], "pipes[0]/pipes[1]");
    EXPECT_NE(
        o.summary["warnings"][0]["message"].get<std::string>().find("docs/validation.md#bore-step"),
        std::string::npos);
    doc["pipes"][1].update({{"diameter", 0.3}, {"length", 10000}, {"celllength", 1000}});
    o = run("refused", doc);
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("not run: pipes[0] and pipes[1]: neighbouring cells of 50 m and 1000 m "
                         "(ratio 20.0)"),
              std::string::npos)
        << o.err;
    EXPECT_TRUE(o.out.empty());
}

// A two-pipe scenario with a taper, a wall, table ramps and a sub-step cap
// through pelmora-run, against the same calls made here: every end value
// after every host step and the final profile must be identical.
TEST(PelmoraRun, ResultsEqualTheSameCallsMadeDirectly)
{
    const Outcome o = run("direct", cases["direct"]);
    ASSERT_EQ(o.status, 0) << o.err;
    auto csv = [](const fs::path& path) {
        std::vector<std::vector<double>> rows;
        std::istringstream in(readtext(path));
        std::string line, cell;
        for (std::getline(in, line); std::getline(in, line);) {
            std::istringstream cells(line);
            rows.emplace_back();
            while (std::getline(cells, cell, ','))
                rows.back().push_back(std::stod(cell));
        }
        return rows;
    };
    const fs::path dir = fs::path(PELMORA_TEST_SCRATCH) / "direct";
    const auto ends = csv(dir / "ends.csv"), profile = csv(dir / "profiles.csv");

    const double molweight = 18, gamma = 1.3, viscosity = 1.1e-5, z = 0.9, limit = 0.4;
    const int32_t model = 0, npipes = 2;
    loadfluid(nullptr, nullptr, nullptr, nullptr, &molweight, &gamma, &viscosity, &z, &model);
    const double length[] = {4000, 2000}, din[] = {0.3, 0.3}, dout[] = {0.3, 0.25};
    const double incl[] = {0, 0.01}, rough[] = {2e-5, 3e-5}, cell[] = {400, 250};
    loadpipedata(&npipes, length, din, dout, incl, rough, cell);
    const double amb[] = {283.15, 285.15}, htc[] = {2, 0};
    loadwalldata(amb, htc);
    maxtimestep(&limit);
    const double p0[] = {5e6, 4.95e6}, t0[] = {288.15, 288.15}, m0[] = {8, 8};
    loadinitialconditions(p0, t0, m0);
    // What an end does not impose gets its current value there.
    double inflow = 8, outletp = 4.95e6, outlett = 288.15, t = 0;
    ASSERT_EQ(ends.size(), 13u);             // t = 0 and 12 host steps, the last one 3 s
    loadbc(1, 5e6, 288.15, inflow, 1, 1, 0); // where the first step's ramps start
    loadbc(2, outletp, outlett, 8, 0, 0, 1);
    for (std::size_t k = 1; k < ends.size(); ++k) {
        const double dt = std::min(7.0, 80 - t), f = std::min((t + dt) / 60, 1.0),
                     g = std::min((t + dt) / 45, 1.0);
        loadbc(1, 5e6 + f * 0.2e6, 288.15 + f * 2, inflow, 1, 1, 0);
        loadbc(2, outletp, outlett, 8 + g * (2 - 8), 0, 0, 1);
        transientpipes(&dt);
        t += dt;
        std::vector<double> direct = {t};
        for (int end = 1; end <= 2; ++end)
            for (auto query : {getbcpressure, getbctemperature, getbcmassflowrate, getbcdensity,
                               getbcvelocity, getbcmachnumber})
                query(end, &direct.emplace_back());
        EXPECT_EQ(std::vector<double>(ends[k].begin(), ends[k].begin() + 13), direct) << k;
        getbcmassflowrate(1, &inflow);
        getbcpressure(2, &outletp);
        getbctemperature(2, &outlett);
    }
    int32_t n1 = 0, n2 = 0, code = 0;
    getnumberofcells(1, &n1);
    getnumberofcells(2, &n2);
    ASSERT_EQ(profile.size(), static_cast<std::size_t>(n1 + n2));
    std::vector<double> p(profile.size());
    getpressure(1, p.data());
    getpressure(2, p.data() + n1);
    for (std::size_t i = 0; i < p.size(); ++i)
        EXPECT_EQ(profile[i][3], p[i]) << "cell " << i + 1;
    geterrorcode(&code);
    EXPECT_EQ(code, 0);
}

} // namespace
