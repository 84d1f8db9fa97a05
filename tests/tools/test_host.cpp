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

// A refusal or failure is one line on stderr and an exit status; a warning
// goes to stderr and into the summary and the run goes on.
TEST(PelmoraRun, BrokenInputIsRefusedWithOneMessageAndChecksWarn)
{
    json vent = example("blowdown").patch(cases["vent"]);
    vent["endtime"] = 10;
    vent["timestep"] = 1;
    vent["pipes"].push_back(vent["pipes"][0]);
    json broken = vent, refused = vent, steadyfails = example("compressor_trip");
    broken["pipes"][0]["length"] = -10;
    refused["pipes"][1].update({{"length", 10000}, {"celllength", 1000}});
    steadyfails["pipes"][1]["diameter"] = 0.4; // bores differ: the steady start cannot march
    vent["pipes"][1]["diameter"] = 0.25;
    for (auto [doc, options, status, message] :
         {std::tuple{broken, "", 1, "pipes[0].length: expected a positive number"},
          {refused, "", 1,
           "not run: pipes[0] and pipes[1]: neighbouring cells of 50 m and 1000 m (ratio 20.0)"},
          {example("blowdown"), "--library /nonexistent/libpelmora.so", 2,
           "cannot load the engine library '/nonexistent/"},
          {steadyfails, "", 3, "status 1: the pipe diameters are not all equal"},
          {vent, "", 0, "pelmora-run: warning (bore-step): pipes[0] ends in 0.3 m"}}) {
        const Outcome o = run("refused", doc, options);
        EXPECT_EQ(o.status, status) << o.err;
        EXPECT_NE(o.err.find(message), std::string::npos) << o.err;
        // One line, but a failed steady start is warned about first.
        EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), status == 3 ? 2 : 1) << o.err;
        EXPECT_EQ(o.out.empty(), status != 0);
    }
    const json warnings = run("checks", vent).summary["warnings"];
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0]["where"], "pipes[0]/pipes[1]");
    EXPECT_NE(warnings[0]["message"].get<std::string>().find("docs/validation.md#bore-step"),
              std::string::npos);
}

// The 2 km, 0.3 m line fed at 60 bar whose outlet opens to the atmosphere
// within 5 s (cases.json "vent"): left alone it is cut short (code 3) or
// runs at Mach 4 and 83 K.
TEST(PelmoraRun, VentingEndsStaySubsonicAndChokedForAnyHostStep)
{
    // Measured: the vent settles at 126.6 kg/s (126.5 with 5 s and 60 s
    // steps); the blowdown empties within 7 minutes (24 kg/s last with 60 s
    // steps, whose choke starts late).
    for (const json& c : cases["venting"]) { // host step, last flow, blowdown (or vent)
        const double hoststep = c[0], flow = c[1];
        SCOPED_TRACE(c.dump());
        json doc = c[2] ? example("blowdown") : example("blowdown").patch(cases["vent"]);
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

// A two-pipe scenario with a taper, a wall, table ramps and a sub-step cap
// through pelmora-run, against the same calls made here: the end values
// after the last host step and the final profile must be identical.
TEST(PelmoraRun, ResultsEqualTheSameCallsMadeDirectly)
{
    const Outcome o = run("direct", cases["direct"]);
    ASSERT_EQ(o.status, 0) << o.err;
    auto lastrow = [](const std::string& file, std::size_t rows, int column) {
        std::istringstream in(readtext(fs::path(PELMORA_TEST_SCRATCH) / "direct" / file));
        std::string line, cell;
        std::vector<double> values; // column `column` of every row, or the whole last row
        for (std::getline(in, line); std::getline(in, line); --rows) {
            std::istringstream cells(line);
            for (int k = 0; std::getline(cells, cell, ','); ++k)
                if (k == column || (column < 0 && rows == 1))
                    values.push_back(std::stod(cell));
        }
        return rows == 0 ? values : std::vector<double>{};
    };
    const double molweight = 18, gamma = 1.3, viscosity = 1.1e-5, z = 0.9, limit = 0.4;
    const int32_t model = 0, npipes = 2;
    loadfluid(nullptr, nullptr, nullptr, nullptr, &molweight, &gamma, &viscosity, &z, &model);
    const double length[] = {4000, 2000}, din[] = {0.3, 0.3}, dout[] = {0.3, 0.25};
    const double incl[] = {0, 0.01}, rough[] = {2e-5, 3e-5}, cell[] = {400, 250};
    loadpipedata(&npipes, length, din, dout, incl, rough, cell);
    const double amb[] = {283.15, 285.15}, htc[] = {2, 0}, p0[] = {5e6, 4.95e6},
                 t0[] = {288.15, 288.15}, m0[] = {8, 8};
    loadwalldata(amb, htc);
    maxtimestep(&limit);
    loadinitialconditions(p0, t0, m0);
    // What an end does not impose gets its current value there; the first
    // step's ramps start from the table at 0 s. 12 host steps, the last 3 s.
    double inflow = 8, outletp = 4.95e6, outlett = 288.15, t = 0;
    loadbc(1, 5e6, 288.15, inflow, 1, 1, 0);
    loadbc(2, outletp, outlett, 8, 0, 0, 1);
    std::vector<double> ends;
    for (; t < 80; getbcpressure(2, &outletp), getbctemperature(2, &outlett)) {
        const double dt = std::min(7.0, 80 - t), f = std::min((t + dt) / 60, 1.0);
        loadbc(1, 5e6 + f * 0.2e6, 288.15 + f * 2, inflow, 1, 1, 0);
        loadbc(2, outletp, outlett, 8 - 6 * std::min((t + dt) / 45, 1.0), 0, 0, 1);
        transientpipes(&dt);
        ends = {t += dt};
        for (int end = 1; end <= 2; ++end)
            for (auto query : {getbcpressure, getbctemperature, getbcmassflowrate, getbcdensity,
                               getbcvelocity, getbcmachnumber})
                query(end, &ends.emplace_back());
        inflow = ends[3];
    }
    std::vector<double> last = lastrow("ends.csv", 13, -1);
    last.resize(std::min<std::size_t>(last.size(), 13));
    EXPECT_EQ(last, ends);
    int32_t n1 = 0, n2 = 0, code = 0;
    getnumberofcells(1, &n1);
    getnumberofcells(2, &n2);
    std::vector<double> p(static_cast<std::size_t>(n1 + n2));
    getpressure(1, p.data());
    getpressure(2, p.data() + n1);
    EXPECT_EQ(lastrow("profiles.csv", p.size(), 3), p);
    geterrorcode(&code);
    EXPECT_EQ(code, 0);
}

} // namespace
