// A minimal host of the engine over the public C interface (see host.h).
#include "host.h"

#include <numbers>
#include <string>

#include "pelmora.h"

namespace validation {

namespace {

void refusedcheck(const char* call)
{
    int32_t code = 0;
    geterrorcode(&code);
    if (code == 3)
        throw EngineRefused(std::string(call) + " was refused");
}

} // namespace

Line::Line(const Gas& gas, const std::vector<Pipe>& pipes) : gas_(gas), pipes_(pipes)
{
    const int32_t model = 1; // built-in ideal gas
    loadfluid(nullptr, nullptr, nullptr, nullptr, &gas.molweight, &gas.gamma, &gas.viscosity,
              &gas.compressibility, &model);
    refusedcheck("loadfluid");

    std::vector<double> length, diameter, outlet, inclination, roughness, celllength, ambient, heat;
    for (const Pipe& p : pipes) {
        length.push_back(p.length);
        diameter.push_back(p.diameter);
        outlet.push_back(p.outletdiameter > 0.0 ? p.outletdiameter : p.diameter);
        inclination.push_back(p.inclination);
        roughness.push_back(p.roughness);
        celllength.push_back(p.celllength);
        ambient.push_back(p.ambient);
        heat.push_back(p.heattransfer);
    }
    const auto npipes = static_cast<int32_t>(pipes.size());
    loadpipedata(&npipes, length.data(), diameter.data(), outlet.data(), inclination.data(),
                 roughness.data(), celllength.data());
    refusedcheck("loadpipedata");
    loadwalldata(ambient.data(), heat.data());
    refusedcheck("loadwalldata");

    // Geometry along the line, as the host knows it: its own pipe lengths and
    // the engine's cell counts.
    double offset = 0.0;
    for (int32_t p = 1; p <= npipes; ++p) {
        int32_t n = 0;
        getnumberofcells(p, &n);
        count_.push_back(n);
        const Pipe& pipe = pipes[static_cast<size_t>(p - 1)];
        const double dx = pipe.length / n;
        std::vector<double> d(static_cast<size_t>(n));
        getdiameter(p, d.data());
        for (int i = 0; i < n; ++i) {
            centre_.push_back(offset + (i + 0.5) * dx);
            width_.push_back(dx);
            area_.push_back(std::numbers::pi / 4.0 * d[static_cast<size_t>(i)] *
                            d[static_cast<size_t>(i)]);
            owner_.push_back(p);
        }
        offset += pipe.length;
    }
}

double Line::length() const
{
    double sum = 0.0;
    for (const Pipe& p : pipes_)
        sum += p.length;
    return sum;
}

void Line::start(const std::vector<double>& p, const std::vector<double>& t,
                 const std::vector<double>& m)
{
    loadinitialconditions(p.data(), t.data(), m.data());
    refusedcheck("loadinitialconditions");
}

void Line::start(double p, double t, double m)
{
    const size_t n = pipes_.size();
    start(std::vector<double>(n, p), std::vector<double>(n, t), std::vector<double>(n, m));
}

double Line::refreshends(double dt)
{
    transientpipes(&dt);
    return dt;
}

std::vector<double> Line::profile(ProfileQuery query) const
{
    std::vector<double> all;
    for (size_t p = 0; p < count_.size(); ++p) {
        std::vector<double> one(static_cast<size_t>(count_[p]));
        query(static_cast<int32_t>(p + 1), one.data());
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

double Line::end(EndQuery query, int end)
{
    double value = 0.0;
    query(end, &value);
    return value;
}

void Line::conserved(std::vector<double>& current) const
{
    const size_t n = centre_.size();
    std::vector<double> previous(3 * n);
    current.assign(3 * n, 0.0);
    getuhistory(previous.data(), current.data());
}

// Conserved variables per cell: A rho (kg/m), rho u (kg/(m2 s)), rho E (J/m3),
// variable k of cell i at (k-1) * ncells + (i-1).
std::vector<GasState> Line::state() const
{
    std::vector<double> u;
    conserved(u);
    const size_t n = centre_.size();
    std::vector<GasState> w(n);
    for (size_t i = 0; i < n; ++i) {
        const double rho = u[i] / area_[i];
        const double vel = u[n + i] / rho;
        const double e = u[2 * n + i] / rho - 0.5 * vel * vel;
        w[i] = {rho, vel, (gas_.gamma - 1.0) * rho * e};
    }
    return w;
}

double Line::mass() const
{
    std::vector<double> u;
    conserved(u);
    double sum = 0.0;
    for (size_t i = 0; i < centre_.size(); ++i)
        sum += u[i] * width_[i];
    return sum;
}

double Line::energy() const
{
    std::vector<double> u;
    conserved(u);
    const size_t n = centre_.size();
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i)
        sum += u[2 * n + i] * area_[i] * width_[i];
    return sum;
}

int Line::errorcode()
{
    int32_t code = 0;
    geterrorcode(&code);
    return code;
}

} // namespace validation
