// Writes the validation report: runs every case at full size and writes
// docs-ready Markdown (tables, findings) plus the data files that
// tests/validation/report.gp turns into the plots.
//
// Usage: validation_report <markdown file> <data directory> [<revision>]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cases.h"
#include "schemelimits.h"

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
    if (!std::isfinite(v))
        return "diverged";
    std::ostringstream s;
    s << std::scientific << std::setprecision(digits) << v;
    return s.str();
}

std::string order(double coarse, double fine)
{
    if (!(coarse > 0 && fine > 0) || !std::isfinite(coarse) || !std::isfinite(fine))
        return "";
    return fixed(observedorder(coarse, fine), 2);
}

std::string measure(double v, int digits = 5)
{
    if (!std::isfinite(v) || v > 1e3)
        return "diverged";
    return fixed(v, digits);
}

class Report {
public:
    Report(const std::string& markdown, const std::string& data) : md_(markdown), data_(data) {}

    std::ofstream& md() { return md_; }
    std::ofstream file(const std::string& name)
    {
        std::ofstream f(data_ + "/" + name);
        f << std::setprecision(12);
        return f;
    }

private:
    std::ofstream md_;
    std::string data_;
};

const std::vector<int> gridsizes = {100, 200, 400, 800};

// ---------------------------------------------------------------------------

void shocktubes(Report& r)
{
    auto& md = r.md();
    md << "## 1. Shock tubes\n\n"
          "Three Riemann problems for an ideal gas with gamma 1.4 (molar mass 28.97), realised "
          "in SI on a horizontal tube of 100 m and 0.5 m bore made of two pipes whose joint is the "
          "diaphragm; no viscosity, no wall heat. The starting states come from "
          "`loadinitialconditions` (one state per pipe); an end where the gas is at rest is closed "
          "(zero mass flow imposed), an end where it leaves supersonically imposes nothing. One "
          "host step of the final time (`transientpipes` sub-steps it and lands on it). The state "
          "is read from the conserved variables (`getuhistory`); the exact solution comes from an "
          "exact Riemann solver in the test code (Newton iteration on the star pressure, checked "
          "against the published star states of the five standard problems), averaged over each "
          "cell. L1 errors are the mean absolute error over the tube in the usual non-dimensional "
          "units (density, pressure and velocity scales of the SI realisation below). The terrace "
          "column is the largest amount by which a cell leaves the range of the exact values "
          "within two cells of it, in percent of the exact profile's whole range: zero for a "
          "scheme free of new extrema.\n\n";

    for (const RiemannProblem& p : riemannproblems()) {
        md << "### " << p.name << "\n\n";
        md << "Left (rho, u, p) = (" << p.left.density << ", " << p.left.velocity << ", "
           << p.left.pressure << "), right (" << p.right.density << ", " << p.right.velocity << ", "
           << p.right.pressure << "), time " << p.time << ". Scales: " << p.scales.density
           << " kg/m3, " << sci(p.scales.pressure, 0) << " Pa, " << fixed(p.scales.velocity(), 1)
           << " m/s, " << fixed(p.scales.time(), 4) << " s.\n\n";
        for (double courant : {0.0, 0.25}) {
            md << (courant == 0.0
                       ? "Sub-step of the drivers (Courant number up to 0.5):\n\n"
                       : "Sub-step capped with `maxtimestep` at Courant number 0.25 (of the "
                         "fastest exact signal speed):\n\n");
            md << "| cells | L1 density | order | L1 velocity | order | L1 pressure | order | "
                  "terrace "
                  "density % | terrace velocity % | error code |\n";
            md << "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
            std::vector<ShockTubeResult> runs;
            for (int n : gridsizes)
                runs.push_back(runshocktube(p, n, courant));
            for (size_t i = 0; i < runs.size(); ++i) {
                const ShockTubeResult& a = runs[i];
                const bool first = i == 0;
                md << "| " << a.cells << " | " << measure(a.l1density) << " | "
                   << (first ? "" : order(runs[i - 1].l1density, a.l1density)) << " | "
                   << measure(a.l1velocity) << " | "
                   << (first ? "" : order(runs[i - 1].l1velocity, a.l1velocity)) << " | "
                   << measure(a.l1pressure, p.key == "strong" ? 3 : 5) << " | "
                   << (first ? "" : order(runs[i - 1].l1pressure, a.l1pressure)) << " | "
                   << measure(100 * a.densityovershoot, 1) << " | "
                   << measure(100 * a.velocityovershoot, 1) << " | " << a.errorcode << " |\n";
            }
            md << "\n";
            // Profiles at 200 cells for the plots.
            const ShockTubeResult& show = runs[1];
            std::ofstream f = r.file(p.key + (courant == 0.0 ? "-own" : "-quarter") + ".dat");
            f << "# x rho u p rho_exact u_exact p_exact\n";
            for (size_t i = 0; i < show.x.size(); ++i)
                f << show.x[i] << ' ' << show.computed[i].density << ' '
                  << show.computed[i].velocity << ' ' << show.computed[i].pressure << ' '
                  << show.exact[i].density << ' ' << show.exact[i].velocity << ' '
                  << show.exact[i].pressure << '\n';
            if (courant == 0.0) {
                std::ofstream c = r.file(p.key + "-convergence.dat");
                for (const ShockTubeResult& a : runs)
                    c << a.cells << ' ' << a.l1density << ' ' << a.l1velocity << ' ' << a.l1pressure
                      << '\n';
            }
        }
        md << "![" << p.name << "](validation/" << p.key << ".png)\n\n";
    }
    md << "![L1 errors against cells](validation/convergence.png)\n\n";

    // How the sub-step cap changes Sod's errors.
    md << "### Sod's problem against the sub-step cap, 400 cells\n\n"
          "| sub-step | L1 density | L1 velocity | L1 pressure | terrace density % | error code "
          "|\n|---|---:|---:|---:|---:|---:|\n";
    for (double c : {0.1, 0.25, 0.35, 0.45, 0.0}) {
        const ShockTubeResult a = runshocktube(riemannproblems()[0], 400, c);
        md << "| " << (c == 0.0 ? std::string("drivers' own (0.5)") : "Courant " + fixed(c, 2))
           << " | " << measure(a.l1density) << " | " << measure(a.l1velocity) << " | "
           << measure(a.l1pressure) << " | " << measure(100 * a.densityovershoot, 1) << " | "
           << a.errorcode << " |\n";
    }
    md << "\n";
}

// ---------------------------------------------------------------------------

void steadyfriction(Report& r)
{
    auto& md = r.md();
    md << "## 2. Steady flow with friction\n\n"
          "**Isothermal.** 50 km of 0.5 m line (roughness 20 um) carrying 60 kg/s of a "
          "natural-gas-like ideal gas (molar mass 16.04, gamma 1.31, viscosity 1.1e-5 Pa s) from "
          "50 bar and 288.15 K; 100 W/(m2 K) to ground at 288.15 K holds the gas at the wall "
          "temperature. Exact: p1^2 - p2^2 = G^2 RT (4 f L / D + 2 ln(p1/p2)) with the Fanning "
          "factor of the engine's friction law at the (constant) Reynolds number. 'March' is "
          "`steadystate` mode 1 from the inlet; 'settled' starts uniform at the inlet state, "
          "imposes inlet pressure and temperature and the outlet delivery, and runs `steadypipes` "
          "until no cell pressure moves by 1e-9 over 2000 s. Errors are relative to the pressure "
          "drop along the pipe.\n\n"
          "**Adiabatic (Fanno).** 40 m of 0.1 m tube (roughness 1 um), air (gamma 1.4, viscosity "
          "1.8e-5 Pa s) entering at 10 bar, 300 K and Mach 0.3, no wall heat. Exact: the Fanno "
          "relations with the same friction law. The settled case imposes the inlet mass flow and "
          "temperature and the Fanno outlet pressure; its free end is the inlet, whose pressure "
          "is compared.\n\n";
    for (bool fanno : {false, true}) {
        md << (fanno ? "Fanno flow" : "Isothermal flow") << ":\n\n";
        md << "| cells | how | largest pressure error | order | free-end pressure error | "
              "largest temperature error K | marched s |\n|---:|---|---:|---:|---:|---:|---:|\n";
        for (bool settle : {false, true}) {
            double previous = 0;
            for (int n : {25, 50, 100, 200}) {
                const SteadyResult s = fanno ? runfanno(n, settle) : runisothermal(n, settle);
                md << "| " << n << " | " << (settle ? "settled" : "march") << " | "
                   << sci(s.pressureerror) << " | "
                   << (previous > 0 ? order(previous, s.pressureerror) : "") << " | "
                   << sci(s.endpressureerror) << " | " << sci(s.temperatureerror) << " | "
                   << fixed(s.settletime, fanno ? 1 : 0) << " |\n";
                previous = s.pressureerror;
                if (n == 100) {
                    std::ofstream f = r.file(std::string(fanno ? "fanno" : "isothermal") +
                                             (settle ? "-settled" : "-march") + ".dat");
                    f << "# x p p_exact T T_exact M M_exact\n";
                    for (size_t i = 0; i < s.x.size(); ++i)
                        f << s.x[i] << ' ' << s.pressure[i] << ' ' << s.exactpressure[i] << ' '
                          << s.temperature[i] << ' ' << s.exacttemperature[i] << ' ' << s.mach[i]
                          << ' ' << s.exactmach[i] << '\n';
                }
            }
        }
        md << "\n![" << (fanno ? "Fanno flow" : "Isothermal flow") << "](validation/"
           << (fanno ? "fanno" : "isothermal") << ".png)\n\n";
    }
    md << "An inlet that imposes pressure and temperature does not settle at higher inlet Mach "
          "numbers: it keeps sending mass-flow waves down the pipe. Largest relative deviation "
          "of a cell's mass flow from the outlet's, over one second after 20 s of settling, on the "
          "Fanno tube (50 cells) with the Fanno outlet pressure imposed:\n\n"
          "| inlet Mach | 0.05 | 0.1 | 0.2 | 0.3 |\n|---|---:|---:|---:|---:|\n| mass-flow wiggle "
          "|";
    for (double m : {0.05, 0.1, 0.2, 0.3})
        md << ' ' << sci(inletpressurewiggle(m, 50)) << " |";
    md << "\n\n";
}

// ---------------------------------------------------------------------------

void waves(Report& r)
{
    auto& md = r.md();
    md << "## 3. Waves\n\n"
          "10 km of frictionless, adiabatic 0.5 m line with the natural-gas-like gas at 50 bar, "
          "288.15 K and 10 m/s. With the flow: the inlet pressure steps up by 0.1 % at t = 0 "
          "(outlet delivery imposed); against the flow: the outlet pressure steps down by 0.1 % "
          "(inlet flow imposed). Host steps of a quarter of a cell's travel time; arrival is when "
          "the far end's pressure has risen by half its first plateau. Expected L/(c + u) and "
          "L/(c - u) with c = "
       << fixed(Gas{16.04, 1.31, 0.0, 1.0}.soundspeed(288.15), 1)
       << " m/s from the gas law.\n\n"
          "| cells | direction | expected s | measured s | late by (cells' travel time) |\n"
          "|---:|---|---:|---:|---:|\n";
    for (int n : {100, 200, 400}) {
        for (bool down : {true, false}) {
            const WaveResult w = runwave(down, n);
            md << "| " << n << " | " << (down ? "with the flow" : "against the flow") << " | "
               << fixed(w.expected, 3) << " | " << fixed(w.measured, 3) << " | "
               << fixed((w.measured - w.expected) / w.celltime, 2) << " |\n";
            if (n == 200) {
                std::ofstream f = r.file(std::string("wave-") + (down ? "down" : "up") + ".dat");
                f << "# expected " << w.expected << "\n";
                for (size_t i = 0; i < w.time.size(); ++i)
                    f << w.time[i] << ' ' << w.rise[i] << '\n';
                std::ofstream e =
                    r.file(std::string("wave-") + (down ? "down" : "up") + "-expected.dat");
                double top = 0;
                for (double v : w.rise)
                    top = std::max(top, v);
                e << w.expected << " 0\n" << w.expected << ' ' << 1.1 * top / 1e3 << '\n';
            }
        }
    }
    md << "\n![Far-end pressure after a small step](validation/waves.png)\n\n";
}

// ---------------------------------------------------------------------------

void gravitycase(Report& r)
{
    auto& md = r.md();
    md << "## 4. Gravity\n\n"
          "A closed 2 km pipe rising 1 km (30 degrees), 0.1 m bore, natural-gas-like gas at "
          "50 bar and 288.15 K at rest, zero mass flow imposed at both ends. 100 W/(m2 K) to "
          "ground at 288.15 K keeps it isothermal, and a viscosity raised to 1e-3 Pa s damps the "
          "sloshing; neither changes the final state. `steadypipes` runs until no pressure moves "
          "by 1e-11 over 20 s. Exact: p = p_b exp(-g sin(a) x / RT) with g = 9.81 m/s2 and p_b "
          "from the mass in the pipe (cell averages). 'March' is `steadystate` with no flow from "
          "the exact bottom pressure. Errors relative to the bottom-to-top pressure difference "
          "(3.3 bar).\n\n"
          "| cells | settled error | march error | largest velocity left m/s | mass drift | "
          "marched s |\n|---:|---:|---:|---:|---:|---:|\n";
    for (int n : {50, 100, 200}) {
        const GravityResult g = rungravity(n);
        md << "| " << n << " | " << sci(g.pressureerror) << " | " << sci(g.marchpressureerror)
           << " | " << sci(g.maxvelocity) << " | " << sci(g.masschange) << " | "
           << fixed(g.settletime, 0) << " |\n";
        if (n == 100) {
            std::ofstream f = r.file("gravity.dat");
            f << "# x height p p_exact\n";
            for (size_t i = 0; i < g.x.size(); ++i)
                f << g.x[i] << ' ' << g.height[i] << ' ' << g.pressure[i] << ' '
                  << g.exactpressure[i] << '\n';
        }
    }
    md << "\n![Hydrostatic profile](validation/gravity.png)\n\n";
}

// ---------------------------------------------------------------------------

void balances(Report& r)
{
    auto& md = r.md();
    md << "## 5. Balances\n\n"
          "Three pipes of 20, 30 and 25 km, 0.6 m bore, cells of 1000, 750 and 1250 m, the middle "
          "pipe rising 200 m; gas enters at 300 K into ground at 283 K through 2.5 W/(m2 K). "
          "Steady start from `steadystate` (60 bar, 80 kg/s); the inlet pressure is ramped from 60 "
          "to 66 bar between 0.5 h and 2.5 h, the outlet demand from 80 to 130 kg/s between 1 h "
          "and 2 h; six hours. After every host step the line pack and the energy content (from "
          "the conserved variables) are compared with the time integrals (trapezoidal rule) of "
          "the end flows, the total-enthalpy flows, the wall heat and the work of gravity (from "
          "the queries).\n\n"
          "| host step s | throughput t | line pack change t | mass residual kg | of change | of "
          "throughput | energy change GJ | wall heat GJ | gravity work GJ | energy residual GJ | "
          "of change | of throughput |\n"
          "|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (double dt : {2.0, 10.0, 60.0}) {
        const BalanceResult b = runbalance(dt);
        md << "| " << dt << " | " << fixed(b.throughput / 1e3, 1) << " | "
           << fixed(b.linepackchange / 1e3, 2) << " | " << fixed(b.massresidual, 0) << " | "
           << sci(b.massresidual / std::fabs(b.linepackchange)) << " | "
           << sci(b.massresidual / b.throughput) << " | " << fixed(b.energychange / 1e9, 2) << " | "
           << fixed(b.wallheat / 1e9, 2) << " | " << fixed(b.gravitywork / 1e9, 2) << " | "
           << fixed(b.energyresidual / 1e9, 3) << " | "
           << sci(b.energyresidual / std::fabs(b.energychange)) << " | "
           << sci(b.energyresidual / b.energythroughput) << " |\n";
        if (dt == 10.0) {
            std::ofstream f = r.file("balance.dat");
            f << "# t_h linepack_t netinflow_t energy_GJ netenergy_GJ in out pin_bar pout_bar\n";
            for (size_t i = 0; i < b.time.size(); ++i)
                f << b.time[i] / 3600 << ' ' << b.linepack[i] / 1e3 << ' ' << b.netinflow[i] / 1e3
                  << ' ' << b.energy[i] / 1e9 << ' ' << b.netenergyinflow[i] / 1e9 << ' '
                  << b.inletflow[i] << ' ' << b.outletflow[i] << ' ' << b.inletpressure[i] / 1e5
                  << ' ' << b.outletpressure[i] / 1e5 << '\n';
        }
    }
    md << "\n![Line pack and energy content against the integrated flows](validation/balance.png)"
          "\n\n";
}

// ---------------------------------------------------------------------------

void ends(Report& r)
{
    auto& md = r.md();
    md << "## 6. Ends with nothing imposed <a id=\"free-ends\"></a>\n\n"
          "The shock tubes of section 1 again, but with every end value extrapolated from the "
          "cells (no flag set at either end), drivers' own sub-step:\n\n"
          "| problem | cells | L1 density | error code |\n|---|---:|---:|---:|\n";
    for (const RiemannProblem& p : riemannproblems()) {
        for (int n : {200, 400, 800}) {
            const ShockTubeResult a = runshocktube(p, n, 0.0, true);
            md << "| " << p.name << " | " << n << " | "
               << (a.errorcode == 3 ? std::string("diverged") : measure(a.l1density)) << " | "
               << a.errorcode << " |\n";
        }
    }
    md << "\n";
}

// ---------------------------------------------------------------------------

void borestep(Report& r)
{
    auto& md = r.md();
    md << "### 7.1 Bore steps <a id=\"bore-step\"></a>\n\n"
          "1 km of 0.6 m bore, then 1 km of another bore, 50 m cells, flat, 20 um roughness, "
          "adiabatic; natural-gas-like gas (molar mass 16.04, gamma 1.31); 60 bar and 288.15 K "
          "imposed at the inlet, 60 kg/s drawn at the outlet, settled with `steadypipes`. "
          "Exact: isentropic flow of the same mass flow into the other area, which at these "
          "Mach numbers (0.01 to 0.1) changes the temperature by hundredths of a kelvin; "
          "friction over the 2 km moves it by less still (the equal-bore line is within 0.01 "
          "K). The scheme's conserved variables "
          "weight only the mass by the flow area (rho A, rho u, rho E), so the energy flux per "
          "unit area crosses the step unchanged while the mass flux per unit area scales with "
          "the area: the temperature downstream comes out multiplied by the area ratio. "
          "Pressures and flows stay right.\n\n"
          "| bore after / before | area ratio | exact T K | computed T K | error K | computed / "
          "inlet T | largest cell error K |\n|---:|---:|---:|---:|---:|---:|---:|\n";
    for (double ratio : {0.5, 0.7, 5.0 / 6.0, 0.9, 1.1, 1.2}) {
        const BoreStepResult b = runborestep(ratio);
        md << "| " << fixed(ratio, 3) << " | " << fixed(ratio * ratio, 3) << " | "
           << fixed(b.exact, 2) << " | " << fixed(b.computed, 2) << " | "
           << fixed(b.computed - b.exact, 1) << " | " << fixed(b.computed / 288.15, 3) << " | "
           << fixed(b.worst, 1) << " |\n";
    }
    md << "\nThe same 0.6 m to 0.5 m change spread over a taper pipe of 50 m cells between the "
          "two bores (the engine's area-gradient source then carries the change):\n\n"
          "| taper | largest cell error K, taper and after | mean error after K |\n"
          "|---|---:|---:|\n";
    for (double taper : {0.0, 100.0, 500.0, 2000.0}) {
        const BoreStepResult b = runborestep(5.0 / 6.0, taper);
        md << "| " << (taper == 0.0 ? std::string("none (a step)") : fixed(taper, 0) + " m")
           << " | " << fixed(b.worst, 1) << " | " << fixed(b.computed - b.exact, 2) << " |\n";
        if (taper == 0.0 || taper == 500.0) {
            std::ofstream f =
                r.file(std::string("bore-") + (taper == 0.0 ? "step" : "taper") + ".dat");
            f << "# x T T_exact\n";
            for (size_t i = 0; i < b.x.size(); ++i)
                f << b.x[i] << ' ' << b.temperature[i] << ' ' << b.exacttemperature[i] << '\n';
        }
    }
    md << "\n![Temperature across a bore change](validation/borestep.png)\n\n"
          "Advice: do not join pipes of different bore directly where temperatures matter; put "
          "a taper pipe of ten cells or more between them, and expect a few kelvin of "
          "cell-to-cell scatter inside it.\n\n";
}

void cellratio(Report& r)
{
    auto& md = r.md();
    md << "### 7.2 Neighbouring cells of different length <a id=\"cell-ratio\"></a>\n\n"
          "10 km of 1000 m cells, 2 km of shorter cells, 10 km of 1000 m cells, one 0.6 m bore; "
          "60 kg/s drawn from 60 bar and 288.15 K, uniform start, an hour in 10 s host steps "
          "with the drivers' own sub-step. Diverged: a step cut short with code 3. The plot "
          "shows the largest jump of mass flow between neighbouring cells after each host "
          "step: below the limit it settles at the few percent the coarse cells' gradients "
          "give; beyond it, it grows without bound within minutes.\n\n"
          "| ratio of neighbouring cell lengths | outcome |\n|---:|---|\n";
    std::vector<CellRatioResult> shown;
    for (int cells : {8, 16, 20, 24, 26, 27, 28, 30, 40}) {
        const CellRatioResult c = runcellratio(cells);
        md << "| " << fixed(c.ratio, 1) << " | "
           << (c.diverged ? "diverged after " + fixed(c.time, 0) + " s" : std::string("ran"))
           << " |\n";
        if (cells == 20 || cells == 27 || cells == 28 || cells == 40)
            shown.push_back(c);
    }
    const CellRatioLimit limit = findcellratiolimit();
    md << "\nBisection on the count of short cells: the largest ratio that runs the hour is "
       << fixed(limit.safe, 1) << ", the smallest that diverges " << fixed(limit.diverges, 1)
       << ". `pelmora-run` refuses a scenario whose neighbouring cells differ by more than 10.\n\n";
    std::ofstream f = r.file("cellratio.dat");
    for (const CellRatioResult& c : shown) {
        f << "# ratio " << c.ratio << "\n";
        for (size_t i = 0; i < c.hour.size(); ++i)
            f << c.hour[i] * 60.0 << ' ' << std::max(c.deviation[i], 1e-12) << '\n';
        f << "\n\n";
    }
    md << "![Growth of the flow disturbance](validation/cellratio.png)\n\n"
          "Advice: keep the ratio of neighbouring cell lengths, across pipe joints, below 10; "
          "refine a coarse pipe next to a fine one, or put a pipe of intermediate cells "
          "between them.\n\n";
}

void chokedvent(Report& r)
{
    auto& md = r.md();
    md << "### 7.3 A choked vent <a id=\"choked-vent\"></a>\n\n"
          "The outlet of a line at 60 bar and 288.15 K opens to the atmosphere within 5 s "
          "(pressure and temperature imposed, the pressure falling linearly to 1 atm); the gas "
          "of `examples/scenarios/blowdown.json`. Two lines: a 2 km, 0.3 m line with 50 m cells "
          "whose inlet is held at 60 bar (it settles to a steady choked flow), and the 10 km, "
          "0.3 m, 200 m-cell line of the blowdown example with a closed inlet. Without choke "
          "handling the host imposes the table pressure: the outlet goes supersonic, the engine "
          "then stops imposing the pressure there, and the end runs free. With it, the host "
          "imposes what `pelmora-run` does (`tools/pelmora-run/choke.h`): the table pressure "
          "unless the end can choke against it (it is below the isentropic critical pressure "
          "of the end cell), and then the largest of the table pressure, 1.03 times the choke "
          "pressure of the flow leaving after the last step (`approxchokepressure` at the end "
          "temperature and bore), and half the pressure imposed for the last step. Mach number "
          "at the outlet end sampled after each host step.\n\n"
          "| line | host step s | without: highest Mach | coldest end K | coldest cell K | "
          "with: highest Mach | coldest end K | coldest cell K | flow at the end kg/s | line "
          "pack at the end t |\n|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    for (bool vent : {true, false}) {
        const VentSetup setup = vent ? ventline() : blowdownline();
        for (double dt : {0.1, 0.2, 1.0, 5.0, 60.0}) {
            const VentResult without = runvent(setup, dt, false);
            const VentResult with = runvent(setup, dt, true);
            auto outcome = [](const VentResult& v) {
                return v.stopped ? "code 3 at " + fixed(v.stoppedat, 1) + " s | |"
                                 : fixed(v.maxmach, 3) + " | " + fixed(v.lowestendtemperature, 0) +
                                       " | " + fixed(v.lowesttemperature, 0);
            };
            md << "| " << (vent ? "2 km, fed" : "10 km, closed") << " | " << dt << " | "
               << outcome(without) << " | " << outcome(with) << " | " << fixed(with.flow, 1)
               << " | " << fixed(with.linepack / 1e3, 3) << " |\n";
            if (vent && dt == 0.2) {
                for (const VentResult* v : {&without, &with}) {
                    std::ofstream f =
                        r.file(std::string("vent-") + (v->choke ? "with" : "without") + ".dat");
                    f << "# t mach outflow T_outlet T_coldest\n";
                    for (size_t i = 0; i < v->time.size() && v->time[i] <= 120.0; ++i)
                        f << v->time[i] << ' ' << std::min(v->mach[i], 1e3) << ' ' << v->outflow[i]
                          << ' ' << v->outlettemperature[i] << ' ' << v->coldest[i] << '\n';
                }
            }
        }
    }
    md << "\n![The 2 km vent with 0.2 s host steps](validation/vent.png)\n\n"
          "Advice: at a pressure-held end where gas may leave, impose the larger of the wanted "
          "pressure and a few percent above the choke pressure of the leaving flow, and let "
          "the imposed pressure fall at most by half per host step while the end can choke.\n\n";
}

void imposedflows(Report& r)
{
    auto& md = r.md();
    md << "### 7.4 Mass through ends with imposed flow <a id=\"imposed-flow-balance\"></a>\n\n"
          "60 km of 0.5 m line, flows imposed at both ends, steady at 70 bar and 50 kg/s; the "
          "inlet flow runs down to nothing between 600 and 660 s (a compressor trip) while the "
          "outlet draws 50 kg/s for two hours, 30 s host steps. The line pack from the conserved "
          "variables against the time integral of the imposed flows (exact: the engine ramps "
          "them linearly over each step). The end faces also carry the scheme's diffusive and "
          "antidiffusive fluxes, so more mass crosses them than the imposed flow.\n\n"
          "| cell length m | mass out t | residual kg | of the mass out |\n|---:|---:|---:|---:|\n";
    std::ofstream f = r.file("imbalance.dat");
    for (double cell : {2000.0, 1000.0, 500.0, 250.0}) {
        const ImbalanceResult b = runimbalance(cell);
        md << "| " << fixed(cell, 0) << " | " << fixed(b.throughput / 1e3, 1) << " | "
           << fixed(b.residual, 0) << " | " << sci(b.residual / b.throughput) << " |\n";
        f << "# cells " << cell << "\n";
        for (size_t i = 0; i < b.hour.size(); ++i)
            f << b.hour[i] << ' ' << b.cumulative[i] / 1e3 << '\n';
        f << "\n\n";
    }
    md << "\n![Line pack against the imposed flows](validation/imbalance.png)\n\n"
          "Advice: take the line pack from the conserved variables (`getuhistory`), not from "
          "integrating imposed flows, and do not expect the two to agree better than this.\n\n";
}

void controlswitch(Report& r)
{
    auto& md = r.md();
    md << "### 7.5 Switching an end from flow to pressure control <a "
          "id=\"control-switch\"></a>\n\n"
          "10 km of 0.5 m line, 50 m cells, 50 bar, 30 kg/s drawn at the outlet. For 300 s the "
          "inlet imposes its flow and temperature, then pressure (50.5 bar) and temperature; "
          "10 s host steps. The engine keeps the value a host passes for a quantity it does not "
          "impose and ramps from it when the quantity becomes imposed.\n\n"
          "| the host passes for what it does not impose | outcome | lowest first-cell pressure "
          "bar | largest inflow kg/s |\n|---|---|---:|---:|\n";
    for (bool current : {false, true}) {
        const SwitchResult s = runswitch(current);
        md << "| " << (current ? "the current end value" : "0") << " | "
           << (s.stopped ? "code 3 at " + fixed(s.stoppedat, 0) + " s" : std::string("ran"))
           << " | " << fixed(s.lowestpressure / 1e5, 3) << " | " << sci(s.peakinflow) << " |\n";
        std::ofstream f = r.file(std::string("switch-") + (current ? "current" : "zero") + ".dat");
        f << "# t inflow p_first\n";
        for (size_t i = 0; i < s.time.size(); ++i)
            f << s.time[i] << ' ' << s.inflow[i] << ' ' << s.firstpressure[i] / 1e5 << '\n';
    }
    md << "\n![Inflow around the switch](validation/switch.png)\n\n"
          "Advice: for every quantity an end does not impose, pass its current value at that "
          "end (the network-end queries after the last step), never 0.\n\n";
}

void schemelimits(Report& r)
{
    r.md() << "## 7. Where the scheme is wrong, and by how much <a id=\"scheme-limits\"></a>\n\n"
              "The engine's scheme is fixed and reproduced exactly; these cases measure where "
              "that scheme, or a host that drives it naively, gives answers a pipeline engineer "
              "cannot trust, and say how a host avoids them. `pelmora-run` checks a scenario "
              "before it runs and points here: its warnings `bore-step` and `taper` to 7.1 "
              "(with the temperature error measured for the nearest step), its refusal of "
              "neighbouring cells more than 10 times different to 7.2, `flow-above-choke` to "
              "7.3, whose choke handling it applies to every pressure-held end, and `free-end` "
              "to section 6. It follows the rules of 7.4 and 7.5 itself.\n\n";
    borestep(r);
    cellratio(r);
    chokedvent(r);
    imposedflows(r);
    controlswitch(r);
}

} // namespace
} // namespace validation

int main(int argc, char** argv)
{
    using namespace validation;
    if (argc < 3) {
        std::cerr << "usage: validation_report <markdown> <data directory> [revision]\n";
        return 2;
    }
    Report r(argv[1], argv[2]);
    auto& md = r.md();
    md << "# Validation against exact solutions and physical balances\n\n"
          "Generated by `scripts/validation-report.sh`"
       << (argc > 3 ? std::string(" at revision ") + argv[3] : std::string())
       << "; do not "
          "edit by hand. The cases drive the engine only through `include/pelmora.h` and the "
          "shared library, as a host does; the reference solutions are written independently in "
          "`tests/validation/`. The CI part of the suite (`tests/validation/validation_test.cpp`) "
          "runs the same cases on coarser grids with bounds set from these measurements.\n\n";
    shocktubes(r);
    steadyfriction(r);
    waves(r);
    gravitycase(r);
    balances(r);
    ends(r);
    schemelimits(r);
    return 0;
}
