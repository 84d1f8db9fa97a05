// Interpreter of a call sequence: decodes the input (encoding.h) and drives
// the engine through its C interface, the way a host would, but with every
// kind of argument a host could hand over: pipe numbers, ends and counts in
// and out of range, NaN, infinities, negative and huge values, NULL
// pointers, calls before any load and after a free, repeated loads, and host
// property routines that misbehave.
//
// What the harness keeps to, because the contract asks it of the caller:
// every buffer is as long as the documented count says (a profile gets
// getnumberofcells elements, a set call gets buffers sized by the counts it
// passes, a get call buffers sized by getshape), and the amount of work it
// asks for stays small (see the limits in encoding.h).
//
// Besides what ASan and UBSan see, it checks the promises the header makes:
//   - a call that sets code 3 and was refused changed nothing readable and
//     wrote none of its outputs;
//   - a query with an end other than 1 or 2 writes nothing and sets no code;
//   - a successful profile query writes every element;
//   - no count the engine reports exceeds what the harness ever loaded;
//   - a successful network load has the documented shape;
//   - a driver whose span needs more sub-steps than its budget stops with
//     code 3;
//   - the host context reaches the property routines unchanged.
#include "callsequence.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "drivers/drivers.h"
#include "encoding.h"
#include "engine/store.h"
#include "pelmora.h"
#include "physlayout.h"

namespace pelmorafuzz {
namespace {

// ===========================================================================
// Findings and tracing
// ===========================================================================

bool tracing = false;
bool uncutspans = false; // see keepspanswhole

void trace(const char* format, ...)
{
    if (!tracing)
        return;
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
}

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "FINDING: %s\n", what);
    std::abort();
}

std::string showreals(const double* values, std::int64_t n)
{
    std::string text = "{";
    const std::int64_t shown = std::min<std::int64_t>(n, 8);
    char item[40];
    for (std::int64_t i = 0; i < shown; ++i) {
        std::snprintf(item, sizeof item, "%s%.17g", i ? ", " : "", values[i]);
        text += item;
    }
    if (n > shown)
        text += ", ...";
    return text + "}";
}

// ===========================================================================
// Reading the input
// ===========================================================================

class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data(data), size(size) {}

    bool done() const { return position >= size; }

    std::uint8_t byte() { return position < size ? data[position++] : 0; }

    std::int32_t integer(const pelmora::Store& s)
    {
        const std::uint8_t tag = byte();
        if (tag == rawtag) {
            std::uint32_t bits = 0;
            for (int i = 0; i < 4; ++i)
                bits |= std::uint32_t(byte()) << (8 * i);
            return std::bit_cast<std::int32_t>(bits);
        }
        if (tag >= integertablesize)
            return tag - integertablesize;
        return resolve(integertable[tag], s);
    }

    double real()
    {
        const std::uint8_t tag = byte();
        if (tag == rawtag) {
            std::uint64_t bits = 0;
            for (int i = 0; i < 8; ++i)
                bits |= std::uint64_t(byte()) << (8 * i);
            return std::bit_cast<double>(bits);
        }
        if (tag < realtablesize)
            return realtable[tag];
        const double scale = 1.0 + (double(byte()) - 128.0) / 512.0;
        return realtable[(tag - realtablesize) % realtablesize] * scale;
    }

    // Index (from 0) of the pointer argument of a call with `count` pointer
    // arguments to pass as NULL, or -1 for none.
    int nullarg(int count)
    {
        if (byte() < firstnulltag)
            return -1;
        return byte() % count;
    }

    // n reals: either one value repeated or one value per element.
    std::vector<double> array(std::int64_t n)
    {
        std::vector<double> values(static_cast<std::size_t>(std::max<std::int64_t>(n, 1)));
        if (byte() % 2 == 0)
            std::fill(values.begin(), values.end(), real());
        else
            for (double& v : values)
                v = real();
        return values;
    }

private:
    // Counts stored through the exchange may be anything, INT32_MIN
    // included: form the neighbours in 64 bits and wrap them back.
    static std::int32_t resolve(std::int32_t entry, const pelmora::Store& s)
    {
        const std::int64_t pipes = s.numberofpipes, cells = s.totalcells, faces = s.totalfaces;
        std::int64_t value = entry;
        switch (entry) {
        case intnpipes:
            value = pipes;
            break;
        case intnpipesplusone:
            value = pipes + 1;
            break;
        case intnpipesminusone:
            value = pipes - 1;
            break;
        case intncells:
            value = cells;
            break;
        case intncellsplusone:
            value = cells + 1;
            break;
        case intncellsminusone:
            value = cells - 1;
            break;
        case intnfaces:
            value = faces;
            break;
        case intnfacesplusone:
            value = faces + 1;
            break;
        default:
            break;
        }
        return static_cast<std::int32_t>(value);
    }

    const std::uint8_t* data;
    std::size_t size;
    std::size_t position = 0;
};

template <class T>
T* unlessnull(T* pointer, int index, int nullindex)
{
    return index == nullindex ? nullptr : pointer;
}

// ===========================================================================
// Output buffers with a recognisable fill
// ===========================================================================

// A signalling NaN with a payload no computation produces: an output still
// holding it was not written.
constexpr std::uint64_t sentinelbits = 0x7ff4deadbeef0001ULL;
constexpr std::int32_t integersentinel = 0x5ee5ee5e;

double sentinel() { return std::bit_cast<double>(sentinelbits); }
bool issentinel(double v) { return std::bit_cast<std::uint64_t>(v) == sentinelbits; }

std::vector<double> realbuffer(std::int64_t n)
{
    return std::vector<double>(static_cast<std::size_t>(std::max<std::int64_t>(n, 1)), sentinel());
}
std::vector<std::int32_t> integerbuffer(std::int64_t n)
{
    return std::vector<std::int32_t>(static_cast<std::size_t>(std::max<std::int64_t>(n, 1)),
                                     integersentinel);
}

bool untouched(const std::vector<double>& b) { return std::all_of(b.begin(), b.end(), issentinel); }
bool untouched(const std::vector<std::int32_t>& b)
{
    return std::all_of(b.begin(), b.end(), [](std::int32_t v) { return v == integersentinel; });
}

// Length the harness gives a buffer for a count the caller passes: the count
// itself when it is one the harness could have loaded, else one element. A
// count beyond every allocation must be refused before anything is read.
std::int64_t bufferlength(std::int64_t count)
{
    return count >= 1 && count <= maximumbuffer ? count : 1;
}

// ===========================================================================
// Engine counts, error codes and snapshots through the C interface
// ===========================================================================

struct Shape {
    std::int32_t nvars = 0, ncells = 0, nfaces = 0, npipes = 0;
};

std::int32_t checkedcount(std::int32_t n, const char* what)
{
    if (n > maximumbuffer) {
        std::fprintf(stderr, "%s = %d\n", what, n);
        finding("the engine reports a count larger than any network the harness loaded");
    }
    return std::max(n, 0);
}

Shape shape()
{
    Shape s;
    getshape(&s.nvars, &s.ncells, &s.nfaces, &s.npipes);
    s.nvars = checkedcount(s.nvars, "nvars");
    s.ncells = checkedcount(s.ncells, "ncells");
    s.nfaces = checkedcount(s.nfaces, "nfaces");
    s.npipes = checkedcount(s.npipes, "npipes");
    if (s.nvars > 3)
        finding("the engine reports more than the three conserved variables it allocates");
    return s;
}

std::int32_t takecode()
{
    std::int32_t code = 0;
    geterrorcode(&code);
    return code;
}

// Buffers for the 106 items of getphysparams, one vector per item, each as
// long as its group's count.
struct PhysBuffers {
    std::vector<std::vector<double>> reals;
    std::vector<std::vector<std::int32_t>> integers;
    void* pointers[physitemcount] = {};

    void build(const std::int64_t groupcounts[5])
    {
        reals.assign(physitemcount, {});
        integers.assign(physitemcount, {});
        for (int i = 0; i < physitemcount; ++i) {
            const std::int64_t n = bufferlength(groupcounts[static_cast<int>(physitems[i].group)]);
            if (physitems[i].kind == Kind::real) {
                reals[i] = realbuffer(n);
                pointers[i] = reals[i].data();
            } else {
                integers[i] = integerbuffer(n);
                pointers[i] = integers[i].data();
            }
        }
    }

    bool alluntouched() const
    {
        for (int i = 0; i < physitemcount; ++i)
            if (physitems[i].kind == Kind::real ? !untouched(reals[i]) : !untouched(integers[i]))
                return false;
        return true;
    }
};

void groupcountsof(const Shape& s, std::int64_t counts[5])
{
    counts[static_cast<int>(Group::scalar)] = 1;
    counts[static_cast<int>(Group::pipe)] = s.npipes;
    counts[static_cast<int>(Group::variable)] = s.nvars;
    counts[static_cast<int>(Group::face)] = s.nfaces;
    counts[static_cast<int>(Group::cell)] = s.ncells;
}

// Buffers for the arguments of gethyperparams: its integers (the counts and
// the evaluation context), the simulation time and its arrays, each array
// as long as its group's count.
constexpr auto hyperarguments = argumentsof<Call::hyper>();
constexpr int hypercount = static_cast<int>(hyperarguments.size());
constexpr int hyperintegers = 7;
constexpr int hyperarrays = 12;
static_assert(hypercount == hyperintegers + 1 + hyperarrays);

// The index in HyperBuffers::counts of an integer, in HyperBuffers::arrays
// of an array (the integers come first, then the time, then the arrays).
constexpr int hyperinteger(ItemRow row) { return static_cast<int>(argumentof(row)); }
constexpr int hyperarray(ItemRow row)
{
    return static_cast<int>(argumentof(row)) - hypercount + hyperarrays;
}

struct HyperBuffers {
    std::int32_t counts[hyperintegers] =
        {}; // nvars, ncells, nfaces, cell, face, at inlet, at outlet
    double time = 0.0;
    std::vector<double> arrays[hyperarrays]; // six per variable, three per face, three per cell

    // The group of array j.
    static Group group(int j)
    {
        return hyperarguments[static_cast<std::size_t>(hypercount - hyperarrays + j)].group;
    }

    void build(std::int64_t nvars, std::int64_t nfaces, std::int64_t ncells)
    {
        std::fill(std::begin(counts), std::end(counts), integersentinel);
        time = sentinel();
        for (int j = 0; j < hyperarrays; ++j)
            arrays[j] = realbuffer(bufferlength(group(j) == Group::variable ? nvars
                                                : group(j) == Group::face   ? nfaces
                                                                            : ncells));
    }

    // The argument pointers, in argument order, with argument `nullindex`
    // NULL (none when it is out of range).
    std::array<void*, hypercount> pointers(int nullindex)
    {
        std::array<void*, hypercount> p{};
        int integer = 0, array = 0;
        for (int slot = 0; slot < hypercount; ++slot) {
            const Argument a = hyperarguments[static_cast<std::size_t>(slot)];
            p[static_cast<std::size_t>(slot)] =
                a.group != Group::scalar  ? static_cast<void*>(arrays[array++].data())
                : a.kind == Kind::integer ? static_cast<void*>(&counts[integer++])
                                          : static_cast<void*>(&time);
        }
        if (nullindex >= 0 && nullindex < hypercount)
            p[static_cast<std::size_t>(nullindex)] = nullptr;
        return p;
    }
};

void callgethyperparams(HyperBuffers& b, int nullindex)
{
    callwith(::gethyperparams, b.pointers(nullindex).data());
}

void callsethyperparams(HyperBuffers& b, int nullindex)
{
    callwith(::sethyperparams, b.pointers(nullindex).data());
}

// Buffers for the arguments of getfluidparams: its reals and the model.
constexpr auto fluidarguments = argumentsof<Call::fluid>();
constexpr int fluidcount = static_cast<int>(fluidarguments.size());

struct FluidBuffers {
    double reals[fluidcount - 1] = {};
    std::int32_t model = 0;

    void fill()
    {
        std::fill(std::begin(reals), std::end(reals), sentinel());
        model = integersentinel;
    }
    bool alluntouched() const
    {
        return model == integersentinel &&
               std::all_of(std::begin(reals), std::end(reals), issentinel);
    }

    // The argument pointers, in argument order, with argument `nullindex`
    // NULL (none when it is out of range).
    std::array<void*, fluidcount> pointers(int nullindex)
    {
        std::array<void*, fluidcount> p{};
        int real = 0;
        for (int slot = 0; slot < fluidcount; ++slot)
            p[static_cast<std::size_t>(slot)] =
                fluidarguments[static_cast<std::size_t>(slot)].kind == Kind::integer
                    ? static_cast<void*>(&model)
                    : static_cast<void*>(&reals[real++]);
        if (nullindex >= 0 && nullindex < fluidcount)
            p[static_cast<std::size_t>(nullindex)] = nullptr;
        return p;
    }
};

void callgetfluidparams(FluidBuffers& b, int n)
{
    callwith(::getfluidparams, b.pointers(n).data());
}

void callsetfluidparams(FluidBuffers& b, int n)
{
    callwith(::setfluidparams, b.pointers(n).data());
}

// Running FNV-1a hash of everything a snapshot reads.
class Digest {
public:
    template <class T>
    void add(const T* values, std::size_t n)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(values);
        for (std::size_t i = 0; i < n * sizeof(T); ++i)
            value = (value ^ bytes[i]) * 1099511628211ULL;
    }
    std::uint64_t value = 14695981039346656037ULL;
};

// Everything the engine lets a host read, hashed: two snapshots are equal
// (barring a hash collision) exactly when no readable item changed, NaN
// payloads included.
std::uint64_t snapshot()
{
    Digest out;
    const Shape s = shape();
    out.add(&s, 1);
    std::int32_t total = 0;
    gettotalnumberofcells(&total);
    out.add(&total, 1);

    FluidBuffers fluid;
    fluid.fill();
    callgetfluidparams(fluid, -1);
    out.add(fluid.reals, std::size(fluid.reals));
    out.add(&fluid.model, 1);

    HyperBuffers hyper;
    hyper.build(s.nvars, s.nfaces, s.ncells);
    callgethyperparams(hyper, -1);
    out.add(hyper.counts, std::size(hyper.counts));
    out.add(&hyper.time, 1);
    for (const auto& a : hyper.arrays)
        out.add(a.data(), a.size());

    std::vector<double> previous = realbuffer(std::int64_t(s.nvars) * s.ncells);
    std::vector<double> current = realbuffer(std::int64_t(s.nvars) * s.ncells);
    getuhistory(previous.data(), current.data());
    out.add(previous.data(), previous.size());
    out.add(current.data(), current.size());

    PhysBuffers phys;
    std::int64_t counts[5];
    groupcountsof(s, counts);
    phys.build(counts);
    callgetphysparams(phys.pointers);
    for (int i = 0; i < physitemcount; ++i) {
        if (physitems[i].kind == Kind::real)
            out.add(phys.reals[i].data(), phys.reals[i].size());
        else
            out.add(phys.integers[i].data(), phys.integers[i].size());
    }
    takecode(); // a snapshot of an engine without a network is itself refused
    return out.value;
}

// ===========================================================================
// Host property routines
// ===========================================================================

// The host's own gas: ideal, in the host's units (kPa, degC, kJ/kg, cP).
struct HostGas {
    HostBehaviour behaviour = hostgood;
    std::uint64_t calls = 0;
    const void* expectedcontext = nullptr;
    static constexpr double R = 0.287;   // kJ/(kg K)
    static constexpr double cv = 0.7175; // kJ/(kg K)
    static constexpr double cp = cv + R;
};

HostGas host;
int hostcontext; // the address handed to loadfluid as the context

// Decides this call's behaviour; true means the routine writes good values.
HostBehaviour behaviourofcall()
{
    ++host.calls;
    if (host.behaviour == hostalternate)
        return host.calls % 2 ? hostgood : hostnan;
    return host.behaviour;
}

void checkcontext(void* context)
{
    if (context != host.expectedcontext)
        finding("a host property routine received a context other than the one loaded");
}

// Writes the five outputs for a misbehaving routine; false when the routine
// should compute good values instead.
bool misbehave(HostBehaviour b, double* r[5], const double good[5])
{
    switch (b) {
    case hostgood:
        return false;
    case hostnan:
        for (int i = 0; i < 5; ++i)
            *r[i] = std::nan("");
        return true;
    case hostnegative:
        for (int i = 0; i < 5; ++i)
            *r[i] = -std::fabs(good[i]) - 500.0;
        return true;
    case hostunwritten:
        return true;
    case hostinfinite:
        for (int i = 0; i < 5; ++i)
            *r[i] = INFINITY;
        return true;
    case hosthuge:
        for (int i = 0; i < 5; ++i)
            *r[i] = 1e300;
        return true;
    case hostzero:
        for (int i = 0; i < 5; ++i)
            *r[i] = 0.0;
        return true;
    case hostpartial:
        *r[0] = good[0];
        *r[1] = good[1];
        return true;
    default:
        return false;
    }
}

void finishhostcall(HostBehaviour b, double* r[5], const double good[5])
{
    if (!misbehave(b, r, good))
        for (int i = 0; i < 5; ++i)
            *r[i] = good[i];
}

// Given pressure kPa, temperature degC: density, energy, enthalpy, viscosity, sound speed.
void hostpt(void* context, double p, double t, double* r1, double* r2, double* r3, double* r4,
            double* r5)
{
    checkcontext(context);
    const double T = t + 273.15;
    const double good[5] = {p / (HostGas::R * T), HostGas::cv * T, HostGas::cp * T, 0.011,
                            std::sqrt(1.4 * HostGas::R * 1000.0 * std::fabs(T))};
    double* r[5] = {r1, r2, r3, r4, r5};
    finishhostcall(behaviourofcall(), r, good);
}

// Given density kg/m3, energy kJ/kg: pressure, temperature, enthalpy, viscosity, sound speed.
void hostrhoe(void* context, double rho, double e, double* r1, double* r2, double* r3, double* r4,
              double* r5)
{
    checkcontext(context);
    const double T = e / HostGas::cv;
    const double good[5] = {rho * HostGas::R * T, T - 273.15, HostGas::cp * T, 0.011,
                            std::sqrt(1.4 * HostGas::R * 1000.0 * std::fabs(T))};
    double* r[5] = {r1, r2, r3, r4, r5};
    finishhostcall(behaviourofcall(), r, good);
}

// Given pressure kPa, enthalpy kJ/kg: density, temperature, energy, viscosity, sound speed.
void hostph(void* context, double p, double h, double* r1, double* r2, double* r3, double* r4,
            double* r5)
{
    checkcontext(context);
    const double T = h / HostGas::cp;
    const double good[5] = {p / (HostGas::R * T), T - 273.15, HostGas::cv * T, 0.011,
                            std::sqrt(1.4 * HostGas::R * 1000.0 * std::fabs(T))};
    double* r[5] = {r1, r2, r3, r4, r5};
    finishhostcall(behaviourofcall(), r, good);
}

// ===========================================================================
// Work estimates, so that one input stays fast
// ===========================================================================

// Cells the engine gives a pipe, by the documented rule; NaN when the data
// is invalid (the engine must refuse it).
double estimatedcells(double L, double din, double dout, double s)
{
    const bool valid = std::isfinite(L) && L > 0 && std::isfinite(din) && din > 0 &&
                       std::isfinite(dout) && dout > 0 && std::isfinite(s) && s > 0;
    if (!valid)
        return std::nan("");
    const double r = std::max(1.0 / s, std::fabs(din - dout) * 2.0 / (std::min(din, dout) * L));
    return std::max(std::floor(L / (1.0 / r) + 0.5), 3.0);
}

// Fastest signal speed over cell length, s^-1, that the state in the store
// implies: from the cell arrays, from the conserved variables (which a set
// call may have changed without updating the cell arrays), from the boundary
// values a pipe end may impose, and from the network-end states.
double fastestrate(const pelmora::Store& s)
{
    double rate = 0.0;
    auto consider = [&](double speed, double dx) {
        const double r = std::fabs(speed) / dx;
        if (r > rate) // NaN never raises the rate; the engine must refuse it
            rate = r;
    };
    const double gamma = std::isfinite(s.gamma) ? std::fabs(s.gamma) : 1.4;
    const double gasR = std::fabs(s.cp - s.cv);
    // Every allocated cell: the drivers walk the pipes' cell ranges, which
    // a stored cell count smaller than the allocation does not shorten.
    const std::int64_t ncells =
        std::min<std::int64_t>({s.celllength.size(), s.velocity.size(), s.soundspeed.size(),
                                s.cellarea.size(), s.conserved.ncols()});
    double dxmin = INFINITY;
    for (std::int64_t i = 1; i <= ncells; ++i) {
        const double dx = std::fabs(s.celllength(i));
        dxmin = std::min(dxmin, dx);
        consider(std::fabs(s.velocity(i)) + std::fabs(s.soundspeed(i)), dx);
        if (s.conserved.nrows() >= 3) {
            const double rho = std::max(std::fabs(s.conserved(1, i) / s.cellarea(i)), 0.001);
            const double u = s.conserved(2, i) / rho;
            const double e = std::fabs(s.conserved(3, i) / rho) + u * u;
            consider(std::fabs(u) + std::sqrt(gamma * gamma * e), dx);
        }
    }
    if (!(dxmin > 0.0) || !std::isfinite(dxmin))
        return rate;
    // Imposed end values: a temperature sets a sound speed, a mass flow a
    // velocity at the floored density.
    const double area = s.cellarea.empty() ? 1.0 : std::fabs(s.cellarea(1));
    for (std::int64_t p = 1; p <= s.firstcell.size(); ++p)
        for (std::int32_t end = 1; end <= 2; ++end) {
            const pelmora::ConstPipeEnd e = pelmora::pipeend(s, static_cast<std::int32_t>(p), end);
            for (double T : {e.temperature, e.lasttemperature})
                consider(std::sqrt(gamma * gasR * std::fabs(T)) * 4.0, dxmin);
            for (double m : {e.massflow, e.lastmassflow})
                consider(m / (0.001 * area), dxmin);
        }
    for (int end = 1; end <= 2; ++end) {
        consider(std::fabs(s.bcvelocity(end)) + std::fabs(s.bcsoundspeed(end)), dxmin);
        consider(std::sqrt(gamma * gasR * std::fabs(s.bctemperature(end))) * 4.0, dxmin);
        consider(std::sqrt(gamma * gasR * std::fabs(s.lastbctemperature(end))) * 4.0, dxmin);
        consider(s.lastbcmassflow(end) / (0.001 * area), dxmin);
    }
    // A host routine that returns huge pressures makes the sound speed huge.
    if (s.fluidmodel == 2 && host.behaviour == hosthuge)
        consider(std::sqrt(gamma * 1e303 / 0.001), dxmin);
    return rate;
}

// The longest span the harness lets a driver march, so that it takes at most
// `steps` sub-steps by a generous estimate.
double allowedspan(const pelmora::Store& s, double steps)
{
    const double rate = fastestrate(s);
    double h = rate > 0.0 ? 0.5 / rate : INFINITY;
    if (s.maximumtimestep > 0.0)
        h = std::min(h, s.maximumtimestep);
    return h * steps / 8.0; // states accelerate while they march
}

// The longest sub-step a driver can take from this store, whatever its
// state does: the time-step limit, and half the crossing time of the
// longest cell at the floor speed of 1e-5 m/s. Neither changes during a call.
double longestsubstep(const pelmora::Store& s)
{
    double dx = 0.0;
    for (std::int64_t i = 1; i <= s.celllength.size(); ++i)
        dx = std::max(dx, std::fabs(s.celllength(i))); // NaN never raises it
    return std::min(s.maximumtimestep, 0.5 * dx / 1.0e-5);
}

// True when a span needs more sub-steps than the drivers' budget even at
// that longest sub-step: the driver must then stop with code 3 after at most
// one sub-step, however long the span.
bool beyondbudget(const pelmora::Store& s, double span)
{
    const double h = longestsubstep(s);
    return std::isfinite(span) && h > 0.0 &&
           span / h > 2.0 * static_cast<double>(pelmora::maximumsubsteps);
}

// ===========================================================================
// The interpreter
// ===========================================================================

// Copies of what the host read last, used to write realistic values back.
struct SaveArea {
    bool havefluid = false, havehyper = false, havehistory = false, havephys = false;
    FluidBuffers fluid;
    HyperBuffers hyper;
    std::int32_t historycounts[2] = {};
    std::vector<double> previous, current;
    Shape physshape;
    PhysBuffers phys;
};

const char* const profilenames[10] = {
    "getdiameter",     "getdensity",  "getenthalpy",   "getinternalenergy", "getmachnumber",
    "getmassflowrate", "getpressure", "getsoundspeed", "gettemperature",    "getvelocity"};
void (*const profilequeries[10])(int32_t, double*) = {
    getdiameter,     getdensity,  getenthalpy,   getinternalenergy, getmachnumber,
    getmassflowrate, getpressure, getsoundspeed, gettemperature,    getvelocity};

const char* const bcnames[9] = {"getbcdensity",    "getbcenthalpy",     "getbcinternalenergy",
                                "getbcmachnumber", "getbcmassflowrate", "getbcpressure",
                                "getbcsoundspeed", "getbctemperature",  "getbcvelocity"};
void (*const bcqueries[9])(int32_t, double*) = {
    getbcdensity,  getbcenthalpy,   getbcinternalenergy, getbcmachnumber, getbcmassflowrate,
    getbcpressure, getbcsoundspeed, getbctemperature,    getbcvelocity};

class Interpreter {
public:
    Interpreter(const std::uint8_t* data, std::size_t size) : in(data, size) {}

    void run()
    {
        // Every input starts from an engine as a freshly loaded library has it.
        pelmora::engine() = pelmora::Store{};
        host = HostGas{};
        for (int count = 0; !in.done() && count < 400; ++count) {
            takecode(); // so the code read after the call is the call's own
            const auto op = static_cast<Op>(in.byte() % opnumberofops);
            lastcode = -1;
            perform(op);
            const std::int32_t code = lastcode >= 0 ? lastcode : takecode();
            trace("    -> code %d\n", code);
        }
    }

private:
    const pelmora::Store& store() const { return pelmora::engine(); }
    std::int32_t integer() { return in.integer(store()); }
    double real() { return in.real(); }

    // The error code of the call just made, kept for the caller's check.
    std::int32_t peekcode()
    {
        lastcode = takecode();
        return lastcode;
    }

    // Runs a call that must change nothing when it sets code 3 (refused).
    // The check reads the whole state twice, so it is made only while the
    // network is small; larger ones are still fuzzed for crashes.
    template <class Call>
    void refusable(const char* name, Call&& call)
    {
        const bool check = store().totalcells <= maximumcheckedcells;
        const std::uint64_t before = check ? snapshot() : 0;
        call();
        const std::int32_t code = takecode();
        if (check && code == 3 && store().totalcells <= maximumcheckedcells &&
            snapshot() != before) {
            std::fprintf(stderr, "%s\n", name);
            finding("a call refused with code 3 changed the engine state");
        }
        restorecode(code);
    }

    // Keeps a code that a check took, so the trace still shows it.
    void restorecode(std::int32_t code) { lastcode = code; }

    void perform(Op op)
    {
        switch (op) {
        case oploadfluid:
            doloadfluid();
            break;
        case oploadpipedata:
            doloadpipedata();
            break;
        case oploadbc:
            doloadbc();
            break;
        case oploadbcpipe:
            doloadbcpipe();
            break;
        case oploadwalldata:
            doloadwalldata();
            break;
        case opmaxtimestep:
            domaxtimestep();
            break;
        case oploadinitialconditions:
            doloadinitialconditions();
            break;
        case opfreepipememory:
            trace("freepipememory()\n");
            freepipememory();
            break;
        case optransientpipes:
            dotransientpipes();
            break;
        case optransientpipe:
            dotransientpipe();
            break;
        case opsteadypipes:
            dosteadypipes();
            break;
        case opsteadypipe:
            dosteadypipe();
            break;
        case opsteadystate:
            dosteadystate();
            break;
        case opapproxchokepressure:
            doapproxchokepressure();
            break;
        case opgettotalnumberofcells:
            dogettotalnumberofcells();
            break;
        case opgetshape:
            dogetshape();
            break;
        case opgetnumberofcells:
            dogetnumberofcells();
            break;
        case opgetprofile:
            dogetprofile();
            break;
        case opgetbcvalue:
            dogetbcvalue();
            break;
        case opgeterrorcode:
            dogeterrorcode();
            break;
        case opgetfluidparams:
            dogetfluidparams();
            break;
        case opsetfluidparams:
            dosetfluidparams();
            break;
        case opgethyperparams:
            dogethyperparams();
            break;
        case opsethyperparams:
            dosethyperparams();
            break;
        case opgetuhistory:
            dogetuhistory();
            break;
        case opsetuhistory:
            dosetuhistory();
            break;
        case opgetphysparams:
            dogetphysparams();
            break;
        case opsetphysparams:
            dosetphysparams();
            break;
        case opsethostbehaviour:
            host.behaviour = static_cast<HostBehaviour>(in.byte() % hostbehaviours);
            trace("[host routines now behave as %d]\n", host.behaviour);
            break;
        case opstandardsetup:
            dostandardsetup();
            break;
        case opsavestate:
            dosavestate();
            break;
        case oprestorestate:
            dorestorestate();
            break;
        case opnumberofops:
            break;
        }
    }

    // ---- Loading -----------------------------------------------------------

    void doloadfluid()
    {
        const std::uint8_t routines = in.byte();
        const bool missing = routines >= 200; // then the low bits drop routines
        propertyroutine pt = missing && (routines & 1) ? nullptr : hostpt;
        propertyroutine rhoe = missing && (routines & 2) ? nullptr : hostrhoe;
        propertyroutine ph = missing && (routines & 4) ? nullptr : hostph;
        void* context = missing && (routines & 8) ? nullptr : &hostcontext;
        const double molweight = real(), gamma = real(), viscosity = real(), z = real();
        const std::int32_t model = integer();
        const int n = in.nullarg(5);
        trace("loadfluid(ctx=%s, pt=%s, rhoe=%s, ph=%s, molweight=%.17g, gamma=%.17g, "
              "viscosity=%.17g, Z=%.17g, model=%d, null=%d)\n",
              context ? "host" : "NULL", pt ? "host" : "NULL", rhoe ? "host" : "NULL",
              ph ? "host" : "NULL", molweight, gamma, viscosity, z, model, n);
        refusable("loadfluid", [&] {
            loadfluid(context, pt, rhoe, ph, unlessnull(&molweight, 0, n), unlessnull(&gamma, 1, n),
                      unlessnull(&viscosity, 2, n), unlessnull(&z, 3, n), unlessnull(&model, 4, n));
        });
        if (lastcode == 0)
            host.expectedcontext = context;
    }

    void doloadpipedata()
    {
        std::int32_t npipes = integer();
        if (npipes > maximumpipes)
            npipes = maximumpipes;
        std::vector<double> data[6];
        for (auto& a : data)
            a = in.array(npipes);
        const int n = in.nullarg(7);
        trace("loadpipedata(npipes=%d, length=%s, inletdiameter=%s, outletdiameter=%s, "
              "inclination=%s, roughness=%s, celllength=%s, null=%d)\n",
              npipes, showreals(data[0].data(), npipes).c_str(),
              showreals(data[1].data(), npipes).c_str(), showreals(data[2].data(), npipes).c_str(),
              showreals(data[3].data(), npipes).c_str(), showreals(data[4].data(), npipes).c_str(),
              showreals(data[5].data(), npipes).c_str(), n);

        // Cells the load would make. Stay within the harness limit, unless
        // the data is invalid or the count is far beyond 32-bit numbering,
        // both of which the engine must refuse before allocating.
        double cells = 0.0;
        bool valid = true;
        for (std::int32_t p = 0; p < npipes; ++p) {
            const double c = estimatedcells(data[0][p], data[1][p], data[2][p], data[5][p]);
            valid = valid && !std::isnan(c) && std::isfinite(data[3][p]) &&
                    std::isfinite(data[4][p]) && data[4][p] >= 0.0;
            cells += std::isnan(c) ? 0.0 : c;
        }
        if (valid && n < 0 && cells > double(maximumcells) && cells < 2.5e9) {
            trace("    [skipped: about %.0f cells]\n", cells);
            return;
        }
        refusable("loadpipedata", [&] {
            loadpipedata(unlessnull(&npipes, 0, n), unlessnull(data[0].data(), 1, n),
                         unlessnull(data[1].data(), 2, n), unlessnull(data[2].data(), 3, n),
                         unlessnull(data[3].data(), 4, n), unlessnull(data[4].data(), 5, n),
                         unlessnull(data[5].data(), 6, n));
        });
        if (lastcode == 0 && npipes >= 1)
            checkloadedshape(npipes, data);
    }

    // A network that loaded has the shape the documented cell rule gives.
    void checkloadedshape(std::int32_t npipes, const std::vector<double> data[6])
    {
        const Shape s = shape();
        std::int32_t total = -1;
        gettotalnumberofcells(&total);
        std::int64_t sum = 0;
        for (std::int32_t p = 1; p <= npipes; ++p) {
            std::int32_t cells = -1;
            getnumberofcells(p, &cells);
            const double expected =
                estimatedcells(data[0][p - 1], data[1][p - 1], data[2][p - 1], data[5][p - 1]);
            if (cells != expected) {
                std::fprintf(stderr, "pipe %d: %d cells, expected %.0f\n", p, cells, expected);
                finding("a loaded pipe does not have the documented number of cells");
            }
            sum += cells;
        }
        if (s.nvars != 3 || s.npipes != npipes || s.ncells != sum || s.nfaces != sum + 1 ||
            total != s.ncells)
            finding("a loaded network's counts disagree (getshape, gettotalnumberofcells, "
                    "getnumberofcells)");
        takecode();
    }

    void doloadbc()
    {
        const std::int32_t end = integer();
        const double p = real(), T = real(), m = real();
        const std::int32_t pf = integer(), tf = integer(), mf = integer();
        trace("loadbc(end=%d, p=%.17g, T=%.17g, m=%.17g, pfixed=%d, tfixed=%d, mfixed=%d)\n", end,
              p, T, m, pf, tf, mf);
        refusable("loadbc", [&] { loadbc(end, p, T, m, pf, tf, mf); });
    }

    void doloadbcpipe()
    {
        const std::int32_t pipe = integer(), end = integer();
        const double p = real(), T = real(), m = real();
        const std::int32_t pf = integer(), tf = integer(), mf = integer();
        trace("loadbcpipe(pipe=%d, end=%d, p=%.17g, T=%.17g, m=%.17g, pfixed=%d, tfixed=%d, "
              "mfixed=%d)\n",
              pipe, end, p, T, m, pf, tf, mf);
        refusable("loadbcpipe", [&] { loadbcpipe(pipe, end, p, T, m, pf, tf, mf); });
    }

    std::int64_t pipecount() { return shape().npipes; }

    void doloadwalldata()
    {
        const std::int64_t np = pipecount();
        const std::vector<double> ambient = in.array(np), coefficient = in.array(np);
        const int n = in.nullarg(2);
        trace("loadwalldata(ambient=%s, coefficient=%s, null=%d)\n",
              showreals(ambient.data(), np).c_str(), showreals(coefficient.data(), np).c_str(), n);
        refusable("loadwalldata", [&] {
            loadwalldata(unlessnull(ambient.data(), 0, n), unlessnull(coefficient.data(), 1, n));
        });
    }

    void domaxtimestep()
    {
        const double dt = real();
        const int n = in.nullarg(1);
        trace("maxtimestep(%.17g, null=%d)\n", dt, n);
        refusable("maxtimestep", [&] { maxtimestep(unlessnull(&dt, 0, n)); });
    }

    void doloadinitialconditions()
    {
        const std::int64_t np = pipecount();
        const std::vector<double> p = in.array(np), T = in.array(np), m = in.array(np);
        const int n = in.nullarg(3);
        trace("loadinitialconditions(p=%s, T=%s, m=%s, null=%d)\n", showreals(p.data(), np).c_str(),
              showreals(T.data(), np).c_str(), showreals(m.data(), np).c_str(), n);
        refusable("loadinitialconditions", [&] {
            loadinitialconditions(unlessnull(p.data(), 0, n), unlessnull(T.data(), 1, n),
                                  unlessnull(m.data(), 2, n));
        });
    }

    // ---- Solving ------------------------------------------------------------

    // The span a driver may march: the requested one, or less when the
    // state would make it take too many sub-steps for a fuzzing run. A span
    // beyond the sub-step budget is left whole: the driver must refuse it
    // at once (checked by budgetstop).
    double boundedspan(double requested)
    {
        spanbeyondbudget = beyondbudget(store(), requested);
        if (spanbeyondbudget) {
            trace("    [span %.17g beyond the sub-step budget: kept]\n", requested);
            return requested;
        }
        if (uncutspans)
            return requested;
        const double cells = std::max<double>(store().totalcells, 1.0);
        const double allowance = std::min(maximumcellsteps, cellstepsleft);
        const double allowed = allowedspan(store(), allowance / (2.0 * cells));
        double span = requested;
        if (requested > allowed && allowed >= 0.0) {
            trace("    [span %.17g cut to %.17g]\n", requested, allowed);
            span = allowed;
        }
        // The input's allowance pays for the span by the same estimate.
        if (allowed > 0.0 && span > 0.0)
            cellstepsleft -= allowance * std::min(1.0, span / allowed);
        return span;
    }

    // After a driver call with a span beyond the sub-step budget: it must
    // have stopped with code 3, unless steadypipe found its pipe steady
    // after its first sub-step (`settled`).
    void budgetstop(bool settled = false)
    {
        if (!spanbeyondbudget)
            return;
        if (peekcode() != 3 && !settled)
            finding("a driver whose span needs more sub-steps than its budget did not stop with "
                    "code 3");
        restorecode(lastcode);
    }

    void dotransientpipes()
    {
        const double dt = boundedspan(real());
        const int n = in.nullarg(1);
        trace("transientpipes(%.17g, null=%d)\n", dt, n);
        transientpipes(unlessnull(&dt, 0, n));
        budgetstop();
    }

    void dotransientpipe()
    {
        const std::int32_t pipe = integer();
        const double dt = boundedspan(real());
        const int n = in.nullarg(2);
        trace("transientpipe(pipe=%d, dt=%.17g, null=%d)\n", pipe, dt, n);
        transientpipe(unlessnull(&pipe, 0, n), unlessnull(&dt, 1, n));
        budgetstop();
    }

    void dosteadypipes()
    {
        const double tmax = boundedspan(real());
        const int n = in.nullarg(2);
        double elapsed = sentinel();
        trace("steadypipes(tmax=%.17g, null=%d)\n", tmax, n);
        steadypipes(unlessnull(&tmax, 0, n), unlessnull(&elapsed, 1, n));
        trace("    elapsed=%.17g\n", elapsed);
        budgetstop();
    }

    void dosteadypipe()
    {
        const std::int32_t pipe = integer();
        const double tmax = boundedspan(real());
        const int n = in.nullarg(3);
        double elapsed = sentinel();
        trace("steadypipe(pipe=%d, tmax=%.17g, null=%d)\n", pipe, tmax, n);
        steadypipe(unlessnull(&pipe, 0, n), unlessnull(&tmax, 1, n), unlessnull(&elapsed, 2, n));
        trace("    elapsed=%.17g\n", elapsed);
        budgetstop(elapsed < tmax);
    }

    void dosteadystate()
    {
        const std::int32_t mode = integer();
        const double a = real(), b = real(), c = real();
        const int n = in.nullarg(1);
        trace("steadystate(mode=%d, a=%.17g, b=%.17g, c=%.17g, null=%d)\n", mode, a, b, c, n);
        const std::int64_t cells = std::max(store().totalcells, 0);
        if (!uncutspans && (cells > maximumsteadycells || cells > steadycellsleft)) {
            trace("    [skipped: %d cells]\n", store().totalcells);
            return;
        }
        steadycellsleft -= cells;
        std::int32_t status = integersentinel;
        const std::uint64_t before = snapshot();
        steadystate(mode, a, b, c, unlessnull(&status, 0, n));
        const std::int32_t code = takecode();
        trace("    status=%d\n", status);
        if (n < 0 && status == integersentinel)
            finding("steadystate returned without writing its status");
        if ((status == 2 || n == 0) && snapshot() != before)
            finding("steadystate refused (status 2 or no status pointer) but changed the state");
        restorecode(code);
    }

    void doapproxchokepressure()
    {
        const double T = real(), D = real(), m = real();
        const int n = in.nullarg(1);
        double p = sentinel();
        trace("approxchokepressure(T=%.17g, D=%.17g, m=%.17g, null=%d)\n", T, D, m, n);
        approxchokepressure(T, D, m, unlessnull(&p, 0, n));
        trace("    p=%.17g\n", p);
    }

    // ---- Queries --------------------------------------------------------------

    void dogettotalnumberofcells()
    {
        const int n = in.nullarg(1);
        std::int32_t total = integersentinel;
        trace("gettotalnumberofcells(null=%d)\n", n);
        gettotalnumberofcells(unlessnull(&total, 0, n));
        if (n < 0)
            checkedcount(total, "gettotalnumberofcells");
    }

    void dogetshape()
    {
        const int n = in.nullarg(4);
        std::int32_t c[4] = {integersentinel, integersentinel, integersentinel, integersentinel};
        trace("getshape(null=%d)\n", n);
        getshape(unlessnull(&c[0], 0, n), unlessnull(&c[1], 1, n), unlessnull(&c[2], 2, n),
                 unlessnull(&c[3], 3, n));
        if (peekcode() == 3 && !std::all_of(c, c + 4, [](int v) { return v == integersentinel; }))
            finding("getshape refused but wrote an output");
        restorecode(lastcode);
    }

    void dogetnumberofcells()
    {
        const std::int32_t pipe = integer();
        const int n = in.nullarg(1);
        std::int32_t cells = integersentinel;
        trace("getnumberofcells(pipe=%d, null=%d)\n", pipe, n);
        getnumberofcells(pipe, unlessnull(&cells, 0, n));
        if (peekcode() == 3 && cells != integersentinel)
            finding("getnumberofcells refused but wrote its output");
        if (cells != integersentinel)
            checkedcount(cells, "getnumberofcells");
        restorecode(lastcode);
    }

    // Cells of a pipe as the engine reports them; -1 when it refuses.
    std::int32_t cellsofpipe(std::int32_t pipe)
    {
        std::int32_t cells = 0;
        getnumberofcells(pipe, &cells);
        if (takecode() == 3)
            return -1;
        return checkedcount(cells, "getnumberofcells");
    }

    void dogetprofile()
    {
        const int which = in.byte() % 10;
        const std::int32_t pipe = integer();
        const int n = in.nullarg(1);
        const std::int32_t cells = cellsofpipe(pipe);
        // When getnumberofcells refuses the pipe, the profile query must
        // refuse it too. The buffer then has room for every cell the engine
        // holds, so a query that wrongly writes is caught by the check below
        // rather than by an overflow.
        const std::int64_t room = cells >= 0 ? cells : bufferlength(store().celllength.size());
        std::vector<double> values = realbuffer(room);
        trace("%s(pipe=%d, null=%d) with room for %lld\n", profilenames[which], pipe, n,
              static_cast<long long>(room));
        profilequeries[which](pipe, unlessnull(values.data(), 0, n));
        const std::int32_t code = peekcode();
        if (code == 3 && !untouched(values))
            finding("a profile query refused with code 3 but wrote values");
        if (cells < 0 && !untouched(values))
            finding("a profile query wrote cells of a pipe that getnumberofcells refuses");
        if (code == 0 && n < 0 && cells > 0 &&
            std::any_of(values.begin(), values.begin() + cells, issentinel))
            finding("a profile query succeeded but left some of the pipe's cells unwritten");
        restorecode(code);
    }

    void dogetbcvalue()
    {
        const int which = in.byte() % 9;
        const std::int32_t end = integer();
        const int n = in.nullarg(1);
        double value = sentinel();
        trace("%s(end=%d, null=%d)\n", bcnames[which], end, n);
        bcqueries[which](end, unlessnull(&value, 0, n));
        const std::int32_t code = peekcode();
        if ((end != 1 && end != 2) && (code != 0 || !issentinel(value)))
            finding("a network-end query with an end other than 1 or 2 wrote or set a code");
        if (code == 3 && !issentinel(value))
            finding("a network-end query refused but wrote its output");
        trace("    value=%.17g\n", value);
        restorecode(code);
    }

    void dogeterrorcode()
    {
        const int n = in.nullarg(1);
        std::int32_t code = integersentinel;
        trace("geterrorcode(null=%d)\n", n);
        geterrorcode(unlessnull(&code, 0, n));
        if (n < 0 && code != 0)
            finding("geterrorcode returned a code after the codes were cleared");
    }

    // ---- State exchange ---------------------------------------------------------

    void dogetfluidparams()
    {
        const int n = in.nullarg(fluidcount);
        FluidBuffers b;
        b.fill();
        trace("getfluidparams(null=%d)\n", n);
        callgetfluidparams(b, n);
        if (peekcode() == 3 && !b.alluntouched())
            finding("getfluidparams refused but wrote outputs");
        if (lastcode != 3 && n < 0) {
            save.fluid = b;
            save.havefluid = true;
        }
        restorecode(lastcode);
    }

    void dosetfluidparams()
    {
        FluidBuffers b;
        if (save.havefluid && in.byte() % 2 == 0) {
            b = save.fluid;
            const int changes = in.byte() % 3;
            for (int i = 0; i < changes; ++i)
                b.reals[in.byte() % std::size(b.reals)] = real();
        } else {
            for (double& r : b.reals)
                r = real();
            b.model = integer();
        }
        const int n = in.nullarg(fluidcount);
        trace("setfluidparams(molweight=%.17g, gamma=%.17g, viscosity=%.17g, cp=%.17g, cv=%.17g, "
              "..., model=%d, null=%d)\n",
              b.reals[0], b.reals[1], b.reals[2], b.reals[3], b.reals[4], b.model, n);
        refusable("setfluidparams", [&] { callsetfluidparams(b, n); });
    }

    void dogethyperparams()
    {
        const int n = in.nullarg(hypercount);
        const Shape s = shape();
        HyperBuffers b;
        b.build(s.nvars, s.nfaces, s.ncells);
        trace("gethyperparams(null=%d) for nvars=%d nfaces=%d ncells=%d\n", n, s.nvars, s.nfaces,
              s.ncells);
        callgethyperparams(b, n);
        const std::int32_t code = peekcode();
        if (code == 3) {
            bool clean = std::all_of(std::begin(b.counts), std::end(b.counts),
                                     [](int v) { return v == integersentinel; }) &&
                         issentinel(b.time);
            for (const auto& a : b.arrays)
                clean = clean && untouched(a);
            if (!clean)
                finding("gethyperparams refused but wrote outputs");
        } else if (n < 0) {
            save.hyper = b;
            save.havehyper = true;
        }
        restorecode(code);
    }

    // Fills a buffer for a set call: from a saved copy where there is one,
    // the rest with one value, then a few single values changed.
    template <class T, class Pick>
    void fillbuffer(std::vector<T>& buffer, const std::vector<T>* saved, Pick pick)
    {
        const T fill = pick();
        for (std::size_t i = 0; i < buffer.size(); ++i)
            buffer[i] = saved && i < saved->size() ? (*saved)[i] : fill;
        const int changes = in.byte() % 3;
        for (int c = 0; c < changes; ++c) {
            const std::size_t at = std::size_t(in.byte()) % buffer.size();
            buffer[at] = pick();
        }
    }

    void dosethyperparams()
    {
        HyperBuffers b;
        const bool fromsave = save.havehyper && in.byte() % 2 == 0;
        if (fromsave) {
            b = save.hyper;
            if (in.byte() % 2 == 1) // change the counts too
                for (ItemRow count :
                     {ItemRow::numberofvariables, ItemRow::totalcells, ItemRow::totalfaces})
                    b.counts[hyperinteger(count)] = integer();
        } else {
            for (auto& c : b.counts)
                c = integer();
            b.time = real();
        }
        // Buffers as long as the counts this call passes.
        auto lengthof = [&b](Group group) {
            const ItemRow count = group == Group::variable ? ItemRow::numberofvariables
                                  : group == Group::face   ? ItemRow::totalfaces
                                                           : ItemRow::totalcells;
            return bufferlength(b.counts[hyperinteger(count)]);
        };
        for (int j = 0; j < hyperarrays; ++j) {
            const std::int64_t length = lengthof(HyperBuffers::group(j));
            const std::vector<double>* saved = fromsave ? &save.hyper.arrays[j] : nullptr;
            b.arrays[j].assign(static_cast<std::size_t>(length), 0.0);
            if (j % 3 == 0 || fromsave)
                fillbuffer(b.arrays[j], saved, [&] { return real(); });
            else
                b.arrays[j] = std::vector<double>(b.arrays[j - 1].begin(), b.arrays[j - 1].end());
        }
        const int n = in.nullarg(hypercount);
        trace("sethyperparams(nvars=%d, ncells=%d, nfaces=%d, cell=%d, face=%d, atin=%d, "
              "atout=%d, time=%.17g, celllength=%s, null=%d)\n",
              b.counts[0], b.counts[1], b.counts[2], b.counts[3], b.counts[4], b.counts[5],
              b.counts[6], b.time,
              showreals(b.arrays[hyperarray(ItemRow::celllength)].data(), lengthof(Group::cell))
                  .c_str(),
              n);
        refusable("sethyperparams", [&] { callsethyperparams(b, n); });
    }

    void dogetuhistory()
    {
        const int n = in.nullarg(2);
        const Shape s = shape();
        const std::int64_t length = std::int64_t(s.nvars) * s.ncells;
        std::vector<double> previous = realbuffer(length), current = realbuffer(length);
        trace("getuhistory(null=%d) for %d x %d\n", n, s.nvars, s.ncells);
        getuhistory(unlessnull(previous.data(), 0, n), unlessnull(current.data(), 1, n));
        const std::int32_t code = peekcode();
        if (code == 3 && !(untouched(previous) && untouched(current)))
            finding("getuhistory refused but wrote outputs");
        if (code != 3 && n < 0) {
            save.historycounts[0] = s.nvars;
            save.historycounts[1] = s.ncells;
            save.previous = previous;
            save.current = current;
            save.havehistory = true;
        }
        restorecode(code);
    }

    void dosetuhistory()
    {
        std::int32_t nvars, ncells;
        const bool fromsave = save.havehistory && in.byte() % 2 == 0;
        if (fromsave && in.byte() % 2 == 0) {
            nvars = save.historycounts[0];
            ncells = save.historycounts[1];
        } else {
            nvars = integer();
            ncells = integer();
        }
        const std::int64_t product = std::int64_t(nvars) * ncells;
        const std::int64_t length = nvars > 0 && ncells > 0 ? bufferlength(product) : 1;
        std::vector<double> previous(static_cast<std::size_t>(length)),
            current(static_cast<std::size_t>(length));
        fillbuffer(previous, fromsave ? &save.previous : nullptr, [&] { return real(); });
        fillbuffer(current, fromsave ? &save.current : nullptr, [&] { return real(); });
        const int n = in.nullarg(4);
        trace("setuhistory(nvars=%d, ncells=%d, previous=%s, current=%s, null=%d)\n", nvars, ncells,
              showreals(previous.data(), length).c_str(), showreals(current.data(), length).c_str(),
              n);
        refusable("setuhistory", [&] {
            setuhistory(unlessnull(&nvars, 0, n), unlessnull(&ncells, 1, n),
                        unlessnull(previous.data(), 2, n), unlessnull(current.data(), 3, n));
        });
    }

    void dogetphysparams()
    {
        const int n = in.nullarg(physitemcount);
        const Shape s = shape();
        std::int64_t counts[5];
        groupcountsof(s, counts);
        PhysBuffers b;
        b.build(counts);
        trace("getphysparams(null=%d) for npipes=%d nvars=%d nfaces=%d ncells=%d\n", n, s.npipes,
              s.nvars, s.nfaces, s.ncells);
        if (n >= 0 && n < physitemcount)
            b.pointers[n] = nullptr;
        callgetphysparams(b.pointers);
        const std::int32_t code = peekcode();
        if (code == 3 && !b.alluntouched())
            finding("getphysparams refused but wrote outputs");
        if (code != 3 && n < 0) {
            save.phys = std::move(b);
            for (int i = 0; i < physitemcount; ++i)
                save.phys.pointers[i] = physitems[i].kind == Kind::real
                                            ? static_cast<void*>(save.phys.reals[i].data())
                                            : static_cast<void*>(save.phys.integers[i].data());
            save.physshape = s;
            save.havephys = true;
        }
        restorecode(code);
    }

    // Item buffers for setphysparams with the given copy counts, filled from
    // the save area where it has the item, else with picked values.
    void buildphys(PhysBuffers& b, const std::int64_t counts[5], bool fromsave)
    {
        b.build(counts);
        for (int i = 0; i < physitemcount; ++i) {
            if (physitems[i].kind == Kind::real)
                fillbuffer(b.reals[i], fromsave ? &save.phys.reals[i] : nullptr,
                           [&] { return real(); });
            else
                fillbuffer(b.integers[i], fromsave ? &save.phys.integers[i] : nullptr,
                           [&] { return integer(); });
        }
    }

    void dosetphysparams()
    {
        const bool fromsave = save.havephys && in.byte() % 4 != 0;
        std::int32_t nvars, nfaces, ncells, npipes;
        if (fromsave && in.byte() % 2 == 0) {
            nvars = save.physshape.nvars;
            nfaces = save.physshape.nfaces;
            ncells = save.physshape.ncells;
            npipes = save.physshape.npipes;
        } else {
            nvars = integer();
            nfaces = integer();
            ncells = integer();
            npipes = integer();
        }
        std::int64_t counts[5];
        counts[static_cast<int>(Group::scalar)] = 1;
        counts[static_cast<int>(Group::pipe)] = npipes;
        counts[static_cast<int>(Group::variable)] = nvars;
        counts[static_cast<int>(Group::face)] = nfaces;
        counts[static_cast<int>(Group::cell)] = ncells;
        PhysBuffers b;
        buildphys(b, counts, fromsave);
        b.integers[argumentof(ItemRow::numberofpipes)][0] = npipes;
        const int n = in.nullarg(3 + physitemcount);
        trace("setphysparams(nvars=%d, nfaces=%d, ncells=%d, npipes=%d, firstcell=%d.., "
              "lastcell=%d.., maximumtimestep=%.17g, pressure=%s, null=%d)\n",
              nvars, nfaces, ncells, npipes, b.integers[argumentof(ItemRow::firstcell)][0],
              b.integers[argumentof(ItemRow::lastcell)][0],
              b.reals[argumentof(ItemRow::maximumtimestep)][0],
              showreals(b.reals[argumentof(ItemRow::pressure)].data(),
                        std::int64_t(b.reals[argumentof(ItemRow::pressure)].size()))
                  .c_str(),
              n);
        void* countpointers[3] = {&nvars, &nfaces, &ncells};
        // Null index 0..2 drops a count, 3.. drops an item (3 is the pipe count).
        if (n >= 0 && n < 3)
            countpointers[n] = nullptr;
        else if (n >= 3 && n - 3 < physitemcount)
            b.pointers[n - 3] = nullptr;
        refusable("setphysparams", [&] { callsetphysparams(countpointers, b.pointers); });
    }

    // ---- Harness operations -----------------------------------------------------

    // A realistic start: a gas, one to three pipes, wall data, a uniform
    // state and boundary values at both ends, all through the C interface.
    void dostandardsetup()
    {
        const std::uint8_t variant = in.byte();
        const int gas = variant % 3;
        const std::int32_t npipes = 1 + (variant / 3) % 3;
        trace("[standard setup: gas %d, %d pipes]\n", gas, npipes);
        const double molweight = gas == 1 ? 16.04 : 28.97, gamma = gas == 1 ? 1.31 : 1.4;
        const double viscosity = 1.8e-5, z = gas == 1 ? 0.9 : 1.0;
        const std::int32_t model = gas == 2 ? 2 : 0;
        if (gas == 2)
            host.behaviour = hostgood;
        loadfluid(&hostcontext, hostpt, hostrhoe, hostph, &molweight, &gamma, &viscosity, &z,
                  &model);
        host.expectedcontext = &hostcontext;
        std::vector<double> length(npipes, 1000.0), din(npipes, 0.5), dout(npipes, 0.5),
            slope(npipes, 0.0), rough(npipes, 4.5e-5), cell(npipes, 100.0);
        if (npipes > 1) {
            dout[1] = 0.3;
            din[npipes - 1] = 0.3;
            dout[npipes - 1] = 0.3;
            slope[0] = 0.05;
        }
        loadpipedata(&npipes, length.data(), din.data(), dout.data(), slope.data(), rough.data(),
                     cell.data());
        std::vector<double> ambient(npipes, 288.15), coefficient(npipes, 2.0);
        loadwalldata(ambient.data(), coefficient.data());
        std::vector<double> p(npipes, 5.0e6), T(npipes, 288.15), m(npipes, 20.0);
        loadinitialconditions(p.data(), T.data(), m.data());
        loadbc(1, 5.0e6, 288.15, 20.0, -1, -1, 0);
        loadbc(2, 4.9e6, 288.15, 20.0, 0, 0, -1);
    }

    void dosavestate()
    {
        trace("[save state: getfluidparams, gethyperparams, getuhistory, getphysparams]\n");
        // Feed the get operations no bytes: they read their null argument
        // from the input, so call them with explicit "no null" instead.
        FluidBuffers f;
        f.fill();
        callgetfluidparams(f, -1);
        save.fluid = f;
        save.havefluid = true;
        const Shape s = shape();
        save.hyper.build(s.nvars, s.nfaces, s.ncells);
        callgethyperparams(save.hyper, -1);
        save.havehyper = true;
        save.previous = realbuffer(std::int64_t(s.nvars) * s.ncells);
        save.current = realbuffer(std::int64_t(s.nvars) * s.ncells);
        getuhistory(save.previous.data(), save.current.data());
        save.historycounts[0] = s.nvars;
        save.historycounts[1] = s.ncells;
        save.havehistory = true;
        std::int64_t counts[5];
        groupcountsof(s, counts);
        save.phys.build(counts);
        callgetphysparams(save.phys.pointers);
        save.physshape = s;
        save.havephys = true;
    }

    void dorestorestate()
    {
        if (!(save.havefluid && save.havehyper && save.havehistory && save.havephys))
            return;
        trace("[restore state: setfluidparams, sethyperparams, setuhistory, setphysparams]\n");
        callsetfluidparams(save.fluid, -1);
        callsethyperparams(save.hyper, -1);
        setuhistory(&save.historycounts[0], &save.historycounts[1], save.previous.data(),
                    save.current.data());
        std::int32_t nvars = save.physshape.nvars, nfaces = save.physshape.nfaces,
                     ncells = save.physshape.ncells;
        void* countpointers[3] = {&nvars, &nfaces, &ncells};
        callsetphysparams(countpointers, save.phys.pointers);
    }

    Reader in;
    SaveArea save;
    std::int32_t lastcode = -1;    // the code of the current call, once a check has taken it
    bool spanbeyondbudget = false; // the current driver's span lies beyond the sub-step budget
    double cellstepsleft = maximuminputcellsteps;           // of this input's driver calls
    std::int64_t steadycellsleft = maximuminputsteadycells; // of its steadystate calls
};

} // namespace

void keepspanswhole(bool whole) { uncutspans = whole; }

void runcallsequence(const std::uint8_t* data, std::size_t size, bool trace)
{
    tracing = trace;
    Interpreter(data, size).run();
}

} // namespace pelmorafuzz
