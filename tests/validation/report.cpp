// Writes the validation report: runs every case at full size, fills the
// tables into the text of report.md and writes the data files that
// report.gp plots. The cases run in the order of the report (see cases.h).
//
// Usage: validation_report <template> <markdown file> <data directory> [<revision>]
#include <algorithm>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

#include "cases.h"

namespace validation {
namespace {

std::string fixed(double v, int digits)
{
    std::ostringstream s;
    s << std::fixed << std::setprecision(digits) << v;
    return s.str();
}

std::string sci(double v, int digits = 2)
{
    std::ostringstream s;
    s << std::scientific << std::setprecision(digits) << v;
    return std::isfinite(v) ? s.str() : "diverged";
}

std::string plain(double v, int digits = 6)
{
    std::ostringstream s;
    s << std::setprecision(digits) << v;
    return s.str();
}

std::string measure(double v, int digits = 5)
{
    return !std::isfinite(v) || v > 1e3 ? "diverged" : fixed(v, digits);
}

std::string order(double coarse, double fine)
{
    const bool usable = coarse > 0 && fine > 0 && std::isfinite(coarse) && std::isfinite(fine);
    return usable ? fixed(observedorder(coarse, fine), 2) : "";
}

std::string row(const std::vector<std::string>& cells)
{
    std::string s = "|";
    for (const std::string& c : cells)
        s += " " + c + " |";
    return s + "\n";
}

std::map<std::string, std::string> part; // the text of each @name@ of the template
std::string datadir;

// A data file for the plots; `rows` of numbers, written as they come.
void data(const std::string& name, const std::string& header,
          const std::vector<std::vector<double>>& rows)
{
    std::ofstream f(datadir + "/" + name, std::ios::app);
    f << std::setprecision(12) << header;
    for (const std::vector<double>& r : rows) {
        for (size_t i = 0; i < r.size(); ++i)
            f << (i ? " " : "") << r[i];
        f << '\n';
    }
}

void shocktubes()
{
    for (const RiemannProblem& p : riemannproblems) {
        std::ostringstream s;
        s << "Left (rho, u, p) = (" << p.left.density << ", " << p.left.velocity << ", "
          << p.left.pressure << "), right (" << p.right.density << ", " << p.right.velocity << ", "
          << p.right.pressure << "), time " << p.time << ". Scales: " << p.density << " kg/m3, "
          << sci(p.pressure, 0) << " Pa, " << fixed(p.velocity(), 1) << " m/s, "
          << fixed(p.timescale(), 4) << " s.";
        part[p.key + ".setup"] = s.str();
        for (double courant : {0.0, 0.25}) {
            std::vector<ShockTubeResult> runs;
            std::string& table = part[p.key + (courant == 0.0 ? ".own" : ".quarter")];
            for (int n : {100, 200, 400, 800}) {
                runs.push_back(runshocktube(p, n, courant));
                const ShockTubeResult& a = runs.back();
                const ShockTubeResult* b = runs.size() > 1 ? &runs[runs.size() - 2] : nullptr;
                table += row({std::to_string(a.cells), measure(a.l1density),
                              b ? order(b->l1density, a.l1density) : "", measure(a.l1velocity),
                              b ? order(b->l1velocity, a.l1velocity) : "",
                              measure(a.l1pressure, p.key == "strong" ? 3 : 5),
                              b ? order(b->l1pressure, a.l1pressure) : "",
                              measure(100 * a.densityovershoot, 1),
                              measure(100 * a.velocityovershoot, 1), std::to_string(a.errorcode)});
                if (courant == 0.0)
                    data(p.key + "-convergence.dat", "",
                         {{double(a.cells), a.l1density, a.l1velocity, a.l1pressure}});
            }
            const ShockTubeResult& show = runs[1]; // 200 cells
            data(p.key + (courant == 0.0 ? "-own" : "-quarter") + ".dat",
                 "# x rho u p rho_exact u_exact p_exact\n", show.rows);
        }
    }
    for (double c : {0.1, 0.25, 0.35, 0.45, 0.0}) {
        const ShockTubeResult a = runshocktube(riemannproblems[0], 400, c);
        part["sodcap"] += row({c == 0.0 ? "drivers' own (0.5)" : "Courant " + fixed(c, 2),
                               measure(a.l1density), measure(a.l1velocity), measure(a.l1pressure),
                               measure(100 * a.densityovershoot, 1), std::to_string(a.errorcode)});
    }
}

void steadyfriction()
{
    for (bool fanno : {false, true}) {
        const std::string name = fanno ? "fanno" : "isothermal";
        for (bool settled : {false, true}) {
            double previous = 0;
            for (int n : {25, 50, 100, 200}) {
                const SteadyResult s = runsteady(fanno, n, settled);
                part[name] += row(
                    {std::to_string(n), settled ? "settled" : "march", sci(s.pressureerror),
                     previous > 0 ? order(previous, s.pressureerror) : "", sci(s.endpressureerror),
                     sci(s.temperatureerror), fixed(s.settletime, fanno ? 1 : 0)});
                previous = s.pressureerror;
                if (n == 100)
                    data(name + (settled ? "-settled" : "-march") + ".dat",
                         "# x p p_exact T T_exact M M_exact\n", s.rows);
            }
        }
    }
    for (double m : {0.05, 0.1, 0.2, 0.3})
        part["wiggle"] += " " + sci(inletpressurewiggle(m, 50)) + " |";
}

void waves()
{
    part["soundspeed"] = fixed(Gas{16.04, 1.31, 0.0, 1.0}.soundspeed(288.15), 1);
    for (int n : {100, 200, 400}) {
        for (bool down : {true, false}) {
            const WaveResult w = runwave(down, n);
            part["waves"] += row({std::to_string(n), down ? "with the flow" : "against the flow",
                                  fixed(w.expected, 3), fixed(w.measured, 3),
                                  fixed((w.measured - w.expected) / w.celltime, 2)});
            if (n != 200)
                continue;
            const std::string name = std::string("wave-") + (down ? "down" : "up");
            data(name + ".dat", "# expected " + plain(w.expected, 12) + "\n", w.rows);
            double top = 0;
            for (const std::vector<double>& r : w.rows)
                top = std::max(top, r[1]);
            data(name + "-expected.dat", "", {{w.expected, 0}, {w.expected, 1.1 * top / 1e3}});
        }
    }
}

void gravityandbalances()
{
    for (int n : {50, 100, 200}) {
        const GravityResult g = rungravity(n);
        part["gravity"] += row({std::to_string(n), sci(g.pressureerror), sci(g.marchpressureerror),
                                sci(g.maxvelocity), sci(g.masschange), fixed(g.settletime, 0)});
        if (n == 100)
            data("gravity.dat", "# x height p p_exact\n", g.rows);
    }
    for (double dt : {2.0, 10.0, 60.0}) {
        const BalanceResult b = runbalance(dt);
        part["balance"] += row(
            {plain(dt), fixed(b.throughput / 1e3, 1), fixed(b.linepackchange / 1e3, 2),
             fixed(b.massresidual, 0), sci(b.massresidual / std::fabs(b.linepackchange)),
             sci(b.massresidual / b.throughput), fixed(b.energychange / 1e9, 2),
             fixed(b.wallheat / 1e9, 2), fixed(b.gravitywork / 1e9, 2),
             fixed(b.energyresidual / 1e9, 3), sci(b.energyresidual / std::fabs(b.energychange)),
             sci(b.energyresidual / b.energythroughput)});
        if (dt == 10.0)
            data("balance.dat",
                 "# t_h linepack_t netinflow_t energy_GJ netenergy_GJ in out pin_bar pout_bar\n",
                 b.record);
    }
    for (const RiemannProblem& p : riemannproblems) {
        for (int n : {200, 400, 800}) {
            const ShockTubeResult a = runshocktube(p, n, 0.0, true);
            part["freeends"] += row({p.name, std::to_string(n),
                                     a.errorcode == 3 ? "diverged" : measure(a.l1density),
                                     std::to_string(a.errorcode)});
        }
    }
}

void schemelimits()
{
    for (double ratio : {0.5, 0.7, 5.0 / 6.0, 0.9, 1.1, 1.2}) {
        const BoreStepResult b = runborestep(ratio);
        part["bore"] +=
            row({fixed(ratio, 3), fixed(ratio * ratio, 3), fixed(b.exact, 2), fixed(b.computed, 2),
                 fixed(b.computed - b.exact, 1), fixed(b.computed / 288.15, 3), fixed(b.worst, 1)});
    }
    for (double taper : {0.0, 100.0, 500.0, 2000.0}) {
        const BoreStepResult b = runborestep(5.0 / 6.0, taper);
        part["taper"] += row({taper == 0.0 ? "none (a step)" : fixed(taper, 0) + " m",
                              fixed(b.worst, 1), fixed(b.computed - b.exact, 2)});
        if (taper == 0.0 || taper == 500.0)
            data(std::string("bore-") + (taper == 0.0 ? "step" : "taper") + ".dat",
                 "# x T T_exact\n", b.rows);
    }
    for (int cells : {8, 16, 20, 24, 26, 27, 28, 30, 40}) {
        CellRatioResult c = runcellratio(cells);
        part["cellratio"] += row(
            {fixed(c.ratio, 1), c.diverged ? "diverged after " + fixed(c.time, 0) + " s" : "ran"});
        c.rows.resize(c.rows.size() + 2); // two blank lines end a data block
        if (cells == 20 || cells == 27 || cells == 28 || cells == 40)
            data("cellratio.dat", "# ratio " + plain(c.ratio, 12) + "\n", c.rows);
    }
    const auto [safe, diverges] = findcellratiolimit();
    part["cellratiosafe"] = fixed(safe, 1);
    part["cellratiodiverges"] = fixed(diverges, 1);
    for (const VentSetup& setup : {ventline, blowdownline}) {
        for (double dt : {0.1, 0.2, 1.0, 5.0, 60.0}) {
            const VentResult without = runvent(setup, dt, false), with = runvent(setup, dt, true);
            auto outcome = [](const VentResult& v) {
                return v.stopped ? "code 3 at " + fixed(v.stoppedat, 1) + " s | |"
                                 : fixed(v.maxmach, 3) + " | " + fixed(v.lowestendtemperature, 0) +
                                       " | " + fixed(v.lowesttemperature, 0);
            };
            part["vent"] +=
                row({setup.fed ? "2 km, fed" : "10 km, closed", plain(dt), outcome(without),
                     outcome(with), fixed(with.flow, 1), fixed(with.linepack / 1e3, 3)});
            if (!setup.fed || dt != 0.2)
                continue;
            for (const VentResult* v : {&without, &with}) {
                std::vector<std::vector<double>> rows;
                for (const std::vector<double>& r : v->record)
                    if (r[0] <= 120.0)
                        rows.push_back({r[0], std::min(r[1], 1e3), r[2], r[3], r[4]});
                data(std::string("vent-") + (v == &with ? "with" : "without") + ".dat",
                     "# t mach outflow T_outlet T_coldest\n", rows);
            }
        }
    }
    for (double cell : {2000.0, 1000.0, 500.0, 250.0}) {
        ImbalanceResult b = runimbalance(cell);
        part["imbalance"] += row({fixed(cell, 0), fixed(b.throughput / 1e3, 1),
                                  fixed(b.residual, 0), sci(b.residual / b.throughput)});
        b.rows.resize(b.rows.size() + 2);
        data("imbalance.dat", "# cells " + plain(cell, 12) + "\n", b.rows);
    }
    for (bool current : {false, true}) {
        const SwitchResult s = runswitch(current);
        part["switch"] += row({current ? "the current end value" : "0",
                               s.stopped ? "code 3 at " + fixed(s.stoppedat, 0) + " s" : "ran",
                               fixed(s.lowestpressure / 1e5, 3), sci(s.peakinflow)});
        data(std::string("switch-") + (current ? "current" : "zero") + ".dat",
             "# t inflow p_first\n", s.record);
    }
}

} // namespace
} // namespace validation

int main(int argc, char** argv)
{
    using namespace validation;
    if (argc < 4) {
        std::cerr << "usage: validation_report <template> <markdown> <data directory> [revision]\n";
        return 2;
    }
    datadir = argv[3];
    part["revision"] = argc > 4 ? std::string(" at revision ") + argv[4] : "";
    shocktubes();
    steadyfriction();
    waves();
    gravityandbalances();
    schemelimits();
    std::stringstream text;
    text << std::ifstream(argv[1]).rdbuf();
    std::string out = text.str();
    for (size_t at = out.find('@'); at != std::string::npos; at = out.find('@', at)) {
        const size_t end = out.find('@', at + 1);
        const auto it = part.find(out.substr(at + 1, end - at - 1));
        if (end == std::string::npos || it == part.end()) {
            ++at;
            continue;
        }
        out.replace(at, end - at + 1, it->second);
        at += it->second.size();
    }
    std::ofstream(argv[2]) << out;
    return 0;
}
