// pelmora-run: runs a pipeline scenario through the engine library.
//
//   pelmora-run                      the built-in scenario (a day on a 100 km line)
//   pelmora-run scenario.json        a scenario file
//
// Exit status: 0 run completed; 1 bad command line or scenario (also one
// with neighbouring cells too different in length for the scheme); 2 engine
// library not loadable; 3 engine refused the set-up; 4 run stopped early.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

#include "checks.h"
#include "default_scenario.h"
#include "engine.h"
#include "report.h"
#include "scenario.h"
#include "simulation.h"

namespace {

using namespace pelmorarun;

const char* usage = "usage: pelmora-run [SCENARIO.json] [options]\n"
                    "Runs a gas pipeline scenario through the Pelmora engine library.\n"
                    "With no scenario it runs the built-in one: a 100 km, 0.6 m natural-gas line\n"
                    "at 60 bar through a 24-hour outlet demand cycle.\n"
                    "\n"
                    "options:\n"
                    "  --library PATH   the engine library to load (default: the one built\n"
                    "                   beside this program)\n"
                    "  --output DIR     write ends.csv, profiles.csv, summary.json (and plots)\n"
                    "                   to DIR instead of the scenario's output directory\n"
                    "  --no-output      write no files, only the summary\n"
                    "  --plots          draw PNG plots with gnuplot\n"
                    "  --no-plots       draw no plots\n"
                    "  --quiet          no summary on stdout\n"
                    "  --print-default  print the built-in scenario and exit\n"
                    "  --help           this text\n";

struct Options {
    std::string scenariofile;
    std::string library;
    std::string output;
    bool nooutput = false;
    int plots = -1; // -1 = as the scenario says
    bool quiet = false;
};

// Reads the command line; returns false (after printing why) on an error.
bool readoptions(int argc, char** argv, Options& o, bool& done)
{
    done = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& target) {
            if (i + 1 >= argc) {
                std::cerr << "pelmora-run: " << a << " needs a value\n" << usage;
                return false;
            }
            target = argv[++i];
            return true;
        };
        if (a == "--help" || a == "-h") {
            std::cout << usage;
            done = true;
        } else if (a == "--print-default") {
            std::cout << defaultscenario;
            done = true;
        } else if (a == "--library") {
            if (!value(o.library))
                return false;
        } else if (a == "--output") {
            if (!value(o.output))
                return false;
        } else if (a == "--no-output") {
            o.nooutput = true;
        } else if (a == "--plots") {
            o.plots = 1;
        } else if (a == "--no-plots") {
            o.plots = 0;
        } else if (a == "--quiet") {
            o.quiet = true;
        } else if (!a.empty() && a[0] == '-') {
            std::cerr << "pelmora-run: unknown option " << a << "\n" << usage;
            return false;
        } else if (o.scenariofile.empty()) {
            o.scenariofile = a;
        } else {
            std::cerr << "pelmora-run: only one scenario file, got " << o.scenariofile << " and "
                      << a << "\n";
            return false;
        }
    }
    return true;
}

// A progress bar on stderr, redrawn at most ten times a second.
class ProgressBar {
public:
    explicit ProgressBar(double endtime) : endtime_(endtime) {}
    void operator()(double t)
    {
        const auto now = std::chrono::steady_clock::now();
        if (t < endtime_ && now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        const int width = 40;
        const double f = std::min(1.0, t / endtime_);
        const int filled = static_cast<int>(f * width);
        std::fprintf(stderr, "\r[%s%s] %3d%%",
                     std::string(static_cast<std::size_t>(filled), '#').c_str(),
                     std::string(static_cast<std::size_t>(width - filled), '.').c_str(),
                     static_cast<int>(100 * f));
        if (t >= endtime_)
            std::fprintf(stderr, "\r%*s\r", width + 8, "");
        std::fflush(stderr);
    }

private:
    double endtime_;
    std::chrono::steady_clock::time_point last_{};
};

std::string readfile(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw ScenarioError(path + ": cannot read the scenario file");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

int run(const Options& o)
{
    // 1. The scenario.
    Scenario scenario;
    try {
        const std::string text =
            o.scenariofile.empty() ? std::string(defaultscenario) : readfile(o.scenariofile);
        scenario = parsescenario(text);
    } catch (const ScenarioError& e) {
        std::cerr << "pelmora-run: "
                  << (o.scenariofile.empty() ? "built-in scenario" : o.scenariofile) << ": "
                  << e.what() << '\n';
        return 1;
    }
    // 2. What the scheme is known to get wrong, before anything runs.
    Checks checks;
    try {
        checks = checkscenario(scenario, gasconstants(scenario));
    } catch (const ScenarioError& e) {
        std::cerr << "pelmora-run: " << e.what() << '\n';
        return 1;
    }
    if (!checks.refusal.empty()) {
        std::cerr << "pelmora-run: " << scenario.name << ": not run: " << checks.refusal << '\n';
        return 1;
    }
    for (const Warning& w : checks.warnings)
        std::cerr << "pelmora-run: warning (" << w.code << "): " << w.message << '\n';
    std::string directory = o.output.empty() ? scenario.output.directory : o.output;
    if (o.nooutput)
        directory.clear();
    const bool plots = o.plots < 0 ? scenario.output.plots : o.plots == 1;

    // 3. The engine, loaded at run time.
    Engine engine;
    std::string error;
    const std::string library = o.library.empty() ? defaultlibrarypath() : o.library;
    if (!loadengine(library, engine, error)) {
        std::cerr << "pelmora-run: " << error << '\n';
        return 2;
    }

    // 4. The run.
    Results results;
    try {
        if (isatty(STDERR_FILENO)) {
            ProgressBar bar(scenario.endtime);
            results = runscenario(engine, scenario, std::ref(bar));
        } else {
            results = runscenario(engine, scenario);
        }
    } catch (const RunError& e) {
        std::cerr << "pelmora-run: " << scenario.name << ": " << e.what() << '\n';
        return 3;
    }

    // 5. What it leaves behind.
    results.warnings = checks.warnings;
    if (!o.quiet)
        printsummary(std::cout, scenario, results);
    if (!directory.empty()) {
        try {
            std::filesystem::create_directories(directory);
            writeseries(directory + "/ends.csv", results, scenario.output.interval);
            if (!results.profiles.empty())
                writeprofiles(directory + "/profiles.csv", results);
            writesummaryjson(directory + "/summary.json", scenario, results);
            if (plots && !drawplots(directory, scenario, results, error)) {
                std::cerr << "pelmora-run: no plots: " << error << '\n';
            }
            if (!o.quiet)
                std::cout << "  files in " << directory << '\n';
        } catch (const std::exception& e) {
            std::cerr << "pelmora-run: " << e.what() << '\n';
            return 1;
        }
    }
    return results.completed ? 0 : 4;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    bool done = false;
    if (!readoptions(argc, argv, options, done))
        return 1;
    if (done)
        return 0;
    try {
        return run(options);
    } catch (const std::exception& e) {
        std::cerr << "pelmora-run: " << e.what() << '\n';
        return 1;
    }
}
