// Writing the results of a run: CSV, summary text and JSON, gnuplot plots.
#include "report.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

extern char** environ;

namespace pelmorarun {

namespace {

// Shortest text that reads back as the same double.
std::string exact(double v)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return buffer;
}

std::string fixed(double v, int decimals)
{
    std::ostringstream s;
    s << std::fixed << std::setprecision(decimals) << v;
    return s.str();
}

std::ofstream openout(const std::string& path)
{
    std::ofstream out(path);
    if (!out)
        throw std::runtime_error("cannot write " + path);
    return out;
}

// Simulated time in the unit that reads best.
std::string span(double seconds)
{
    if (seconds >= 7200)
        return fixed(seconds / 3600, 2) + " h";
    if (seconds >= 120)
        return fixed(seconds / 60, 1) + " min";
    return fixed(seconds, 1) + " s";
}

std::string bar(double pa) { return fixed(pa / 1e5, 2) + " bar"; }

const char* codemeaning(int code)
{
    switch (code) {
    case 1:
        return "a fluid state was raised to its floors";
    case 2:
        return "a Reynolds number was capped at 1e10";
    case 3:
        return "a call was refused or cut short";
    case 4:
        return "a steady-march step did not converge";
    default:
        return "unknown code";
    }
}

const char* endname(int end) { return end == 0 ? "inlet" : "outlet"; }

std::string at(const Extreme& e, const std::string& value)
{
    return value + " at t = " + span(e.time);
}

} // namespace

double massbalanceerror(const Results& r)
{
    const double stored = r.linepackend - r.linepackstart;
    const double through = r.massin - r.massout;
    const double scale =
        std::max({std::abs(r.linepackstart), std::abs(r.massin), std::abs(r.massout), 1e-30});
    return (stored - through) / scale;
}

void writeseries(const std::string& path, const Results& r, double interval)
{
    std::ofstream out = openout(path);
    out << "time_s";
    for (const char* end : {"inlet", "outlet"}) {
        out << ',' << end << "_pressure_Pa," << end << "_temperature_K," << end << "_massflow_kg_s,"
            << end << "_density_kg_m3," << end << "_velocity_m_s," << end << "_mach";
    }
    out << ",linepack_kg,lowest_temperature_K\n";
    double next = 0;
    for (std::size_t k = 0; k < r.series.size(); ++k) {
        const EndSample& s = r.series[k];
        const bool last = k + 1 == r.series.size();
        if (interval > 0 && s.time < next - 1e-9 * interval && !last)
            continue;
        while (interval > 0 && next <= s.time + 1e-9 * interval)
            next += interval;
        out << exact(s.time);
        for (std::size_t e = 0; e < 2; ++e) {
            out << ',' << exact(s.pressure[e]) << ',' << exact(s.temperature[e]) << ','
                << exact(s.massflow[e]) << ',' << exact(s.density[e]) << ',' << exact(s.velocity[e])
                << ',' << exact(s.mach[e]);
        }
        out << ',' << exact(s.linepack) << ',' << exact(s.lowesttemperature) << '\n';
    }
}

void writeprofiles(const std::string& path, const Results& r)
{
    std::ofstream out = openout(path);
    out << "time_s,pipe,position_m,pressure_Pa,temperature_K,massflow_kg_s,density_kg_m3,"
           "velocity_m_s,mach\n";
    for (const Profile& p : r.profiles) {
        for (std::size_t i = 0; i < p.pressure.size(); ++i) {
            out << exact(p.time) << ',' << p.pipe[i] << ',' << exact(p.position[i]) << ','
                << exact(p.pressure[i]) << ',' << exact(p.temperature[i]) << ','
                << exact(p.massflow[i]) << ',' << exact(p.density[i]) << ',' << exact(p.velocity[i])
                << ',' << exact(p.mach[i]) << '\n';
        }
    }
}

void printsummary(std::ostream& out, const Scenario& s, const Results& r)
{
    out << "pelmora-run: " << s.name << '\n';
    if (!s.description.empty())
        out << "  " << s.description << '\n';
    if (r.realgas) {
        out << "  gas      real gas (natural-gas provider), M " << fixed(r.molweight, 3)
            << " kg/kmol; loaded with isentropic exponent " << fixed(r.gamma, 4) << ", Z "
            << fixed(r.compressibility, 4) << " at the reference state\n";
    } else {
        out << "  gas      ideal, M " << fixed(r.molweight, 3) << " kg/kmol, gamma "
            << fixed(r.gamma, 4) << ", Z " << fixed(r.compressibility, 4) << '\n';
    }
    out << "  line     " << s.pipes.size() << (s.pipes.size() == 1 ? " pipe, " : " pipes, ")
        << fixed(r.linelength / 1000, 3) << " km, " << r.ncells << " cells\n";
    out << "  start    "
        << (s.start.steady ? "steady state, mode " + std::to_string(s.start.mode) + " (status " +
                                 std::to_string(r.steadystatus) + ")"
                           : std::string("uniform per pipe"))
        << (s.start.settletime > 0 ? ", settled for " + span(s.start.settletime) : "") << '\n';
    out << "  run      " << span(r.simulated) << " simulated in " << r.hoststeps
        << " host steps; wall time " << fixed(r.walltime, 3) << " s; simulated/wall "
        << fixed(r.simulated / std::max(r.walltime, 1e-9), 0) << '\n';

    const EndSample& first = r.series.front();
    const EndSample& last = r.series.back();
    out << "\n                            inlet                  outlet\n";
    auto row = [&](const std::string& label, const std::string& a, const std::string& b) {
        out << "  " << std::left << std::setw(26) << label << std::setw(23) << a << b << '\n'
            << std::right;
    };
    row("pressure, start", bar(first.pressure[0]), bar(first.pressure[1]));
    row("pressure, end", bar(last.pressure[0]), bar(last.pressure[1]));
    row("mass flow, start", fixed(first.massflow[0], 2) + " kg/s",
        fixed(first.massflow[1], 2) + " kg/s");
    row("mass flow, end", fixed(last.massflow[0], 2) + " kg/s",
        fixed(last.massflow[1], 2) + " kg/s");
    row("temperature, end", fixed(last.temperature[0], 2) + " K",
        fixed(last.temperature[1], 2) + " K");
    row("pressure, lowest", bar(r.endminpressure[0].value), bar(r.endminpressure[1].value));
    row("pressure, highest", bar(r.endmaxpressure[0].value), bar(r.endmaxpressure[1].value));
    row("mass flow, lowest", fixed(r.endminflow[0].value, 2) + " kg/s",
        fixed(r.endminflow[1].value, 2) + " kg/s");
    row("mass flow, highest", fixed(r.endmaxflow[0].value, 2) + " kg/s",
        fixed(r.endmaxflow[1].value, 2) + " kg/s");
    row("Mach number, highest", fixed(r.endmaxmach[0].value, 3), fixed(r.endmaxmach[1].value, 3));

    out << "\n  line pack  start " << fixed(r.linepackstart / 1000, 3) << " t, end "
        << fixed(r.linepackend / 1000, 3) << " t, change "
        << fixed((r.linepackend - r.linepackstart) / 1000, 3) << " t\n";
    out << "  through the ends  in " << fixed(r.massin / 1000, 3) << " t, out "
        << fixed(r.massout / 1000, 3) << " t; mass balance error " << std::setprecision(2)
        << std::scientific << massbalanceerror(r) << std::defaultfloat
        << " (of line pack or throughput)\n";
    out << "  along the line  highest pressure " << at(r.maxpressure, bar(r.maxpressure.value))
        << ", lowest " << at(r.minpressure, bar(r.minpressure.value)) << '\n'
        << "                  lowest temperature "
        << at(r.mintemperature, fixed(r.mintemperature.value, 2) + " K") << ", highest "
        << at(r.maxtemperature, fixed(r.maxtemperature.value, 2) + " K") << '\n'
        << "                  highest Mach number in a cell "
        << at(r.maxmach, fixed(r.maxmach.value, 4)) << '\n';
    for (const ChokeSpell& c : r.chokes) {
        out << "  choked   " << endname(c.end) << " from t = " << span(c.from) << " to "
            << span(c.to) << ": the host held it at the choke pressure for " << c.hoststeps
            << " host steps";
        if (c.openingsteps > 0)
            out << " (and " << c.openingsteps << " while the flow built up)";
        out << " instead of the table's " << bar(c.tablepressuremin) << "; choked flow up to "
            << fixed(c.massflowmax, 2) << " kg/s, " << fixed(c.massflowlast, 2)
            << " kg/s at its end, end pressure up to " << bar(c.pressuremax) << '\n';
    }
    if (!r.warnings.empty()) {
        out << "  warnings " << r.warnings.size() << " (printed before the run, in summary.json):";
        for (std::size_t k = 0; k < r.warnings.size(); ++k)
            out << (k ? ", " : " ") << r.warnings[k].code;
        out << '\n';
    }
    if (r.codes.empty()) {
        out << "  engine codes  none\n";
    } else {
        for (const auto& [code, c] : r.codes) {
            out << "  engine code " << code << " (" << codemeaning(code) << "): " << c.count
                << (c.count == 1 ? " time" : " times") << ", first after " << c.firstcall
                << " at t = " << span(c.first) << ", last at t = " << span(c.last) << '\n';
        }
    }
    out << (r.completed ? "  completed\n" : "  STOPPED EARLY: " + r.stopreason + '\n');
}

void writesummaryjson(const std::string& path, const Scenario& s, const Results& r)
{
    nlohmann::json j;
    j["name"] = s.name;
    j["completed"] = r.completed;
    j["stopreason"] = r.stopreason;
    j["simulated_s"] = r.simulated;
    j["walltime_s"] = r.walltime;
    j["hoststeps"] = r.hoststeps;
    j["cells"] = r.ncells;
    j["gas"] = {{"real", r.realgas},
                {"molweight", r.molweight},
                {"gamma", r.gamma},
                {"compressibility", r.compressibility}};
    j["steadystatus"] = r.steadystatus;
    j["linepack_kg"] = {{"start", r.linepackstart}, {"end", r.linepackend}};
    j["mass_kg"] = {{"in", r.massin}, {"out", r.massout}};
    j["massbalance_error"] = massbalanceerror(r);
    const EndSample& first = r.series.front();
    const EndSample& last = r.series.back();
    for (std::size_t e = 0; e < 2; ++e) {
        const char* name = e == 0 ? "inlet" : "outlet";
        j[name] = {{"pressure_start", first.pressure[e]},
                   {"pressure_end", last.pressure[e]},
                   {"massflow_start", first.massflow[e]},
                   {"massflow_end", last.massflow[e]},
                   {"pressure_min", r.endminpressure[e].value},
                   {"pressure_max", r.endmaxpressure[e].value},
                   {"massflow_min", r.endminflow[e].value},
                   {"massflow_max", r.endmaxflow[e].value},
                   {"mach_max", r.endmaxmach[e].value}};
    }
    j["line"] = {{"pressure_max", r.maxpressure.value},
                 {"pressure_min", r.minpressure.value},
                 {"temperature_min", r.mintemperature.value},
                 {"temperature_max", r.maxtemperature.value},
                 {"mach_max", r.maxmach.value}};
    j["chokes"] = nlohmann::json::array();
    for (const ChokeSpell& c : r.chokes) {
        j["chokes"].push_back({{"end", endname(c.end)},
                               {"from_s", c.from},
                               {"to_s", c.to},
                               {"hoststeps", c.hoststeps},
                               {"openingsteps", c.openingsteps},
                               {"massflow_max", c.massflowmax},
                               {"massflow_last", c.massflowlast},
                               {"pressure_max", c.pressuremax},
                               {"tablepressure_min", c.tablepressuremin}});
    }
    j["warnings"] = nlohmann::json::array();
    for (const Warning& w : r.warnings)
        j["warnings"].push_back({{"code", w.code}, {"where", w.where}, {"message", w.message}});
    j["codes"] = nlohmann::json::object();
    for (const auto& [code, c] : r.codes) {
        j["codes"][std::to_string(code)] = {{"count", c.count},
                                            {"first_s", c.first},
                                            {"last_s", c.last},
                                            {"firstcall", c.firstcall}};
    }
    openout(path) << j.dump(2) << '\n';
}

bool drawplots(const std::string& directory, const Scenario& s, const Results& r,
               std::string& error)
{
    // 1. A self-contained gnuplot script with the data inline, kept beside
    //    the plots so they can be redrawn or restyled.
    const std::string script = directory + "/plots.gp";
    {
        std::ofstream gp = openout(script);
        const bool hours = r.simulated >= 7200;
        const double scale = hours ? 3600.0 : 60.0;
        gp << "# Plots of '" << s.name << "' written by pelmora-run\n";
        gp << "$ends << EOD\n";
        for (const EndSample& e : r.series) {
            gp << e.time / scale << ' ' << e.pressure[0] / 1e5 << ' ' << e.pressure[1] / 1e5 << ' '
               << e.massflow[0] << ' ' << e.massflow[1] << ' ' << e.temperature[0] << ' '
               << e.temperature[1] << ' ' << e.lowesttemperature << ' ' << e.linepack / 1000
               << '\n';
        }
        gp << "EOD\n";
        for (std::size_t k = 0; k < r.profiles.size(); ++k) {
            gp << "$profile" << k << " << EOD\n";
            const Profile& p = r.profiles[k];
            for (std::size_t i = 0; i < p.pressure.size(); ++i) {
                gp << p.position[i] / 1000 << ' ' << p.pressure[i] / 1e5 << '\n';
            }
            gp << "EOD\n";
        }
        const std::string xlabel = hours ? "time (h)" : "time (min)";
        const std::string unit = hours ? " h" : " min";
        gp << "set xrange [0:" << r.simulated / scale << "]\n";
        gp << "set terminal pngcairo size 1000,600 font 'DejaVu Sans,11'\n"
           << "set grid\nset key outside top center horizontal\n"
           << "set title \"" << s.name << ": pressure at the network ends\"\n"
           << "set xlabel '" << xlabel << "'\nset ylabel 'pressure (bar)'\n"
           << "set output '" << directory << "/ends_pressure.png'\n"
           << "plot $ends using 1:2 with lines lw 2 title 'inlet', "
              "$ends using 1:3 with lines lw 2 title 'outlet'\n"
           << "set title \"" << s.name << ": mass flow at the network ends\"\n"
           << "set ylabel 'mass flow (kg/s)'\n"
           << "set output '" << directory << "/ends_flow.png'\n"
           << "plot $ends using 1:4 with lines lw 2 title 'inlet', "
              "$ends using 1:5 with lines lw 2 title 'outlet'\n"
           << "set title \"" << s.name << ": temperature at the network ends\"\n"
           << "set ylabel 'temperature (K)'\n"
           << "set output '" << directory << "/ends_temperature.png'\n"
           << "plot $ends using 1:6 with lines lw 2 title 'inlet', "
              "$ends using 1:7 with lines lw 2 title 'outlet', "
              "$ends using 1:8 with lines lw 1 dt 2 title 'coldest cell of the line'\n"
           << "set title \"" << s.name << ": line pack\"\n"
           << "set ylabel 'mass in the line (t)'\n"
           << "set output '" << directory << "/linepack.png'\n"
           << "plot $ends using 1:9 with lines lw 2 notitle\n";
        if (!r.profiles.empty()) {
            gp << "set autoscale x\nset title \"" << s.name << ": pressure along the line\"\n"
               << "set xlabel 'distance from the inlet (km)'\nset ylabel 'pressure (bar)'\n"
               << "set output '" << directory << "/profiles_pressure.png'\nplot ";
            for (std::size_t k = 0; k < r.profiles.size(); ++k) {
                gp << (k ? ", " : "") << "$profile" << k << " using 1:2 with lines lw 2 title 't = "
                   << fixed(r.profiles[k].time / scale, 1) << unit << "'";
            }
            gp << '\n';
        }
        gp << "unset output\n";
    }
    // 2. Run gnuplot on it, without a shell.
    pid_t pid = 0;
    std::string program = "gnuplot";
    char* argv[] = {program.data(), const_cast<char*>(script.c_str()), nullptr};
    if (posix_spawnp(&pid, "gnuplot", nullptr, nullptr, argv, environ) != 0) {
        error = "gnuplot was not found (install the gnuplot-nox package)";
        return false;
    }
    int status = 0;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        error = "gnuplot failed on " + script;
        return false;
    }
    return true;
}

} // namespace pelmorarun
