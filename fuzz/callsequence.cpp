// Interpreter of a call sequence: decodes the input (harness.h) and drives
// the engine through its C interface the way a host would, but with every
// kind of argument a host could hand over: pipe numbers, ends and counts in
// and out of range, NaN, infinities, negative and huge values, NULL
// pointers, calls before any load and after a free, repeated loads, and host
// property routines that misbehave. The table in harness.h gives each entry
// point's argument kinds; the exchange calls' arguments are laid out by the
// store's registry (engine/items.h), each buffer sized by its dimension.
//
// What the harness keeps to, because the contract asks it of the caller:
// every buffer is as long as the documented count says (a profile gets
// getnumberofcells elements, a set call buffers sized by the counts it
// passes, a get call buffers sized by getshape), and the work it asks for
// stays small (the limits in harness.h).
//
// Besides what ASan and UBSan see, it checks the promises the header makes:
//   - a load or set call refused with code 3 changed nothing readable, and
//     no call refused with code 3 wrote an output (the drivers,
//     steadystate and approxchokepressure aside);
//   - a query with an end other than 1 or 2 writes nothing and sets no code;
//   - a successful profile query writes every cell of the pipe, and one
//     whose pipe getnumberofcells refuses writes nothing;
//   - no count the engine reports exceeds what the harness ever loaded;
//   - a successful network load has the documented shape;
//   - steadystate writes its status and with status 2 changed nothing;
//   - a driver whose span needs more sub-steps than its budget stops with
//     code 3;
//   - geterrorcode reads 0 right after the codes were taken;
//   - the host context reaches the property routines unchanged.
#include "harness.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "drivers/drivers.h"
#include "engine/store.h"
#include "pelmora.h"

namespace pelmorafuzz {
namespace {

using pelmora::Call;
using pelmora::ItemRow;

bool tracing = false, uncutspans = false; // see keepspanswhole

#define trace(...) (tracing ? void(std::fprintf(stderr, __VA_ARGS__)) : void())

[[noreturn]] void finding(const char* what)
{
    std::fprintf(stderr, "FINDING: %s\n", what);
    std::abort();
}

// The bytes of an input and how far they are read.
struct Input {
    const std::uint8_t* data;
    std::size_t size, position = 0;
};

std::string number(double v)
{
    char t[32];
    return {t, std::to_chars(t, t + 32, v).ptr};
}

// A signalling NaN with a payload no computation produces: an output still
// holding it was not written.
constexpr std::uint64_t sentinelbits = 0x7ff4deadbeef0001ULL;
constexpr std::int32_t integersentinel = 0x5ee5ee5e;

// Length the harness gives a buffer for a count the caller passes: the count
// itself when it is one the harness could have loaded, else one element. A
// count beyond every allocation must be refused before anything is read.
std::int64_t bufferlength(std::int64_t count)
{
    return count >= 1 && count <= maximumbuffer ? count : 1;
}

// One argument: a value passed as it is, or the elements behind a pointer,
// an output's filled with the sentinel of their type.
struct Buffer {
    Buffer(bool isinteger, std::int64_t n, bool isoutput, double value = 0.0)
        : integer(isinteger), output(isoutput), length(std::size_t(std::max<std::int64_t>(n, 1))),
          reals(integer ? 0 : length, std::bit_cast<double>(sentinelbits)),
          integers(integer ? length : 0, integersentinel)
    {
        for (std::size_t j = 0; j < size() && !output; ++j)
            set(j, value);
    }
    bool integer, output;
    std::size_t length;
    std::vector<double> reals;
    std::vector<std::int32_t> integers;

    std::size_t size() const { return length; }
    void* data() { return integer ? static_cast<void*>(integers.data()) : reals.data(); }
    double get(std::size_t j) const { return integer ? integers[j] : reals[j]; }
    void set(std::size_t j, double v) { (integer ? integers[j] = std::int32_t(v) : reals[j] = v); }
    bool written(std::size_t j) const
    {
        return integer ? integers[j] != integersentinel
                       : std::bit_cast<std::uint64_t>(reals[j]) != sentinelbits;
    }
    bool untouched() const
    {
        std::size_t j = 0;
        while (j < size() && !written(j))
            ++j;
        return j == size();
    }
    std::string show(bool values = false) const
    {
        std::string text = "{";
        for (std::size_t j = 0; j < std::min<std::size_t>(size(), 8); ++j)
            text += (j ? ", " : "") + number(get(j));
        return output && !values ? "&out" : text + (size() > 8 ? ", ...}" : "}");
    }
};

std::int32_t checkedcount(std::int32_t n)
{
    if (n > maximumbuffer)
        finding("the engine reports a count larger than any network the harness loaded");
    return std::max(n, 0);
}

// The counts an exchange call is laid out by, in setphysparams's order.
struct Counts {
    std::int64_t nvars = 0, nfaces = 0, ncells = 0, npipes = 0;
};

Counts shape()
{
    std::int32_t c[4] = {}; // nvars, ncells, nfaces, npipes
    getshape(&c[0], &c[1], &c[2], &c[3]);
    if (c[0] > 3)
        finding("the engine reports more than the three conserved variables it allocates");
    return {checkedcount(c[0]), checkedcount(c[2]), checkedcount(c[1]), checkedcount(c[3])};
}

std::int32_t takecode()
{
    std::int32_t code = 0;
    return geterrorcode(&code), code;
}

// The arguments of an exchange call, from the registry, in argument order.
const std::vector<pelmora::ArgumentInfo>& arguments(Call call)
{
    static std::vector<pelmora::ArgumentInfo> cache[5];
    for (std::size_t slot = cache[int(call)].size(); slot < pelmora::argumentcount(call); ++slot)
        cache[int(call)].push_back(pelmora::argumentat(call, slot));
    return cache[int(call)];
}

// The buffers of an exchange call's arguments, sized by their dimensions.
std::vector<Buffer> layout(Call call, const Counts& c, bool output)
{
    static_assert(static_cast<int>(pelmora::Dimension::varcell) == 6); // the order below
    const std::int64_t length[] = {1, 1, c.npipes, c.nvars, c.ncells, c.nfaces, c.nvars * c.ncells};
    std::vector<Buffer> b;
    for (const pelmora::ArgumentInfo& argument : arguments(call)) {
        const pelmora::ItemInfo& item = *argument.item;
        b.emplace_back(item.integer, bufferlength(length[static_cast<int>(item.dimension)]),
                       output);
    }
    return b;
}

// The count an exchange argument stores, when it stores one.
const std::int64_t* countof(std::size_t slot, Call call, const Counts& c)
{
    const std::pair<ItemRow, const std::int64_t*> counts[] = {
        {ItemRow::numberofpipes, &c.npipes},
        {ItemRow::numberofvariables, &c.nvars},
        {ItemRow::totalcells, &c.ncells},
        {ItemRow::totalfaces, &c.nfaces}};
    for (auto [row, count] : counts)
        if (arguments(call)[slot].item == &pelmora::iteminfo[std::size_t(row)])
            return count;
    return nullptr;
}

union Slot {
    std::int32_t i;
    double d;
    void* p;
};

// Calls an exported entry point with argument i from a[i].
template <class... Parameter>
void invoke(void (*function)(Parameter...), const Slot* a)
{
    auto as = []<class T>(const Slot& s, T*) {
        if constexpr (std::is_same_v<T, std::int32_t>)
            return s.i;
        else if constexpr (std::is_same_v<T, double>)
            return s.d;
        else
            return reinterpret_cast<T>(s.p);
    };
    [&]<std::size_t... I>(std::index_sequence<I...>)
    {
        function(as(a[I], static_cast<Parameter*>(nullptr))...);
    }
    (std::index_sequence_for<Parameter...>{});
}

#define PELMORA_FUZZ_CALL(name, kinds, call) [](const Slot* a) { invoke(::name, a); },
void (*const calls[])(const Slot*) = {PELMORA_FUZZ_ENTRIES(PELMORA_FUZZ_CALL)};
#undef PELMORA_FUZZ_CALL

// The entry that reads (x) or writes (X) an exchange call.
int exchangeentry(Call call, bool set)
{
    auto is = [&](const Entry& x) { return x.call == call && x.has('X') == set; };
    return int(std::ranges::find_if(entries, is) - entries);
}
constexpr Call exchangecalls[] = {Call::fluid, Call::hyper, Call::history, Call::phys};

// The bytes of everything the host can read: two snapshots are equal
// exactly when no readable item changed, NaN payloads included.
std::string snapshot()
{
    const Counts c = shape();
    std::int32_t total = 0;
    gettotalnumberofcells(&total);
    std::string all =
        std::to_string(total) + std::string(reinterpret_cast<const char*>(&c), sizeof c);
    for (Call call : exchangecalls) {
        std::vector<Buffer> b = layout(call, c, true);
        std::vector<Slot> a;
        for (Buffer& x : b)
            a.push_back({.p = x.data()});
        calls[exchangeentry(call, false)](a.data());
        for (Buffer& x : b)
            all.append(static_cast<const char*>(x.data()), x.size() * (x.integer ? 4 : 8));
    }
    takecode(); // a snapshot of an engine without a network is itself refused
    return all;
}

// ===========================================================================
// Host property routines: an ideal gas in the host's units (kPa, degC,
// kJ/kg, cP), or the misbehaviour chosen
// ===========================================================================

HostBehaviour behaviour = hostgood;
std::uint64_t hostcalls = 0;
const void* expectedcontext = nullptr;
int hostcontext; // the address handed to loadfluid as the context

// Form 0 is given pressure and temperature (density, energy, enthalpy,
// viscosity, sound speed), 1 density and energy (pressure, temperature,
// enthalpy, ...), 2 pressure and enthalpy (density, temperature, energy, ...).
template <int Form>
void hostroutine(void* context, double a, double b, double* r1, double* r2, double* r3, double* r4,
                 double* r5)
{
    if (context != expectedcontext)
        finding("a host property routine received a context other than the one loaded");
    constexpr double R = 0.287, cv = 0.7175, cp = cv + R; // kJ/(kg K)
    const double T = Form == 0 ? b + 273.15 : Form == 1 ? b / cv : b / cp;
    const double c = std::sqrt(1.4 * R * 1000.0 * std::fabs(T));
    const double good[3][5] = {{a / (R * T), cv * T, cp * T, 0.011, c},
                               {a * R * T, T - 273.15, cp * T, 0.011, c},
                               {a / (R * T), T - 273.15, cv * T, 0.011, c}};
    const HostBehaviour h = behaviour != hostalternate ? behaviour
                            : ++hostcalls % 2          ? hostgood
                                                       : hostnan;
    double* r[5] = {r1, r2, r3, r4, r5};
    for (int i = 0; i < 5; ++i) {
        const double g = good[Form][i];
        const double value[] = {g,     NAN, -std::fabs(g) - 500.0, *r[i], INFINITY,
                                1e300, 0.0, i < 2 ? g : *r[i]};
        *r[i] = value[h];
    }
}
const propertyroutine hostroutines[3] = {hostroutine<0>, hostroutine<1>, hostroutine<2>};

// ===========================================================================
// Work estimates, so that one input stays fast
// ===========================================================================

// Cells the engine gives pipe p of a loadpipedata call (buffers 1..6 its
// data), by the documented rule; NaN when the data is invalid (the engine
// must refuse it).
double estimatedcells(const std::vector<Buffer>& b, std::size_t p)
{
    const double L = b[1].get(p), din = b[2].get(p), dout = b[3].get(p), s = b[6].get(p);
    if (!(std::isfinite(L) && L > 0 && std::isfinite(din) && din > 0 && std::isfinite(dout) &&
          dout > 0 && std::isfinite(s) && s > 0 && std::isfinite(b[4].get(p)) &&
          std::isfinite(b[5].get(p)) && b[5].get(p) >= 0.0))
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
    double rate = 0.0, dxmin = INFINITY;
    auto consider = [&](double speed, double dx) {
        rate = std::max(rate, std::fabs(speed) / dx); // NaN never raises the rate
    };
    const double gamma = std::isfinite(s.gamma) ? std::fabs(s.gamma) : 1.4;
    const double gasR = std::fabs(s.cp - s.cv);
    // Every allocated cell: the drivers walk the pipes' cell ranges, which
    // a stored cell count smaller than the allocation does not shorten.
    const std::int64_t ncells =
        std::min<std::int64_t>({s.celllength.size(), s.velocity.size(), s.soundspeed.size(),
                                s.cellarea.size(), s.conserved.ncols()});
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
    const double area = 0.001 * (s.cellarea.empty() ? 1.0 : std::fabs(s.cellarea(1)));
    auto ends = [&](double T1, double T2, double m1, double m2) {
        for (double T : {T1, T2})
            consider(std::sqrt(gamma * gasR * std::fabs(T)) * 4.0, dxmin);
        for (double m : {m1, m2})
            consider(m / area, dxmin);
    };
    for (std::int32_t p = 1; p <= s.firstcell.size(); ++p)
        for (std::int32_t end = 1; end <= 2; ++end) {
            const pelmora::ConstPipeEnd e = pelmora::pipeend(s, p, end);
            ends(e.temperature, e.lasttemperature, e.massflow, e.lastmassflow);
        }
    for (int end = 1; end <= 2; ++end) {
        consider(std::fabs(s.bcvelocity(end)) + std::fabs(s.bcsoundspeed(end)), dxmin);
        ends(s.bctemperature(end), s.lastbctemperature(end), s.lastbcmassflow(end), 0.0);
    }
    // A host routine that returns huge pressures makes the sound speed huge.
    if (s.fluidmodel == 2 && behaviour == hosthuge)
        consider(std::sqrt(gamma * 1e303 / 0.001), dxmin);
    return rate;
}

// True when a span needs more sub-steps than the drivers' budget even at
// the longest sub-step the store allows (the time-step limit, and half the
// crossing time of the longest cell at the floor speed of 1e-5 m/s; neither
// changes during a call): the driver must then stop with code 3 after at
// most one sub-step, however long the span.
bool beyondbudget(const pelmora::Store& s, double span)
{
    double dx = 0.0;
    for (std::int64_t i = 1; i <= s.celllength.size(); ++i)
        dx = std::max(dx, std::fabs(s.celllength(i))); // NaN never raises it
    const double h = std::min(s.maximumtimestep, 0.5 * dx / 1.0e-5);
    return std::isfinite(span) && h > 0.0 &&
           span / h > 2.0 * static_cast<double>(pelmora::maximumsubsteps);
}

// ===========================================================================
// The interpreter
// ===========================================================================

// What the host read last through an exchange call, to write back.
struct Saved {
    bool have = false;
    Counts counts;
    std::vector<Buffer> buffers;
};

class Interpreter {
public:
    Interpreter(const std::uint8_t* data, std::size_t size) : in{data, size} {}

    void run()
    {
        // Every input starts from an engine as a freshly loaded library has it.
        pelmora::engine() = pelmora::Store{};
        behaviour = hostgood, expectedcontext = nullptr;
        for (int count = 0; in.position < in.size && count < 400; ++count) {
            takecode(); // so the code read after the call is the call's own
            int op = byte() % opcount, e = 0, members = 1;
            while (e < entrycount && (entries[e].joins() || op-- > 0))
                ++e;
            while (e + members < entrycount && entries[e + members].joins())
                ++members;
            const std::int32_t code =
                e < entrycount ? perform(e + (members > 1 ? byte() % members : 0)) : harness(op);
            trace("    -> code %d\n", code);
        }
    }

private:
    const pelmora::Store& store() const { return pelmora::engine(); }
    std::uint8_t byte() { return in.position < in.size ? in.data[in.position++] : 0; }
    std::uint64_t raw(int bytes)
    {
        std::uint64_t bits = 0;
        for (int i = 0; i < bytes; ++i)
            bits |= std::uint64_t(byte()) << (8 * i);
        return bits;
    }

    std::int32_t integer()
    {
        const std::uint8_t tag = byte();
        if (tag == rawtag)
            return std::bit_cast<std::int32_t>(static_cast<std::uint32_t>(raw(4)));
        if (tag >= integertablesize || tag < fixedintegers)
            return tag >= integertablesize ? tag - integertablesize : integertable[tag];
        // A count of the network or its neighbour. Counts stored through the
        // exchange may be anything, INT32_MIN included: form the neighbours
        // in 64 bits and wrap them back.
        const std::int64_t counts[] = {store().numberofpipes, store().totalcells,
                                       store().totalfaces};
        const int k = tag - fixedintegers;
        return static_cast<std::int32_t>(counts[k < 6 ? k / 2 : k - 6] + (k < 6 ? k % 2 : -1));
    }

    double real()
    {
        const std::uint8_t tag = byte();
        if (tag == rawtag)
            return std::bit_cast<double>(raw(8));
        return tag < realtablesize ? realtable[tag]
                                   : realtable[(tag - realtablesize) % realtablesize] *
                                         (1.0 + (byte() - 128.0) / 512.0);
    }

    // The span a driver may march: the requested one, or less when the
    // state would make it take too many sub-steps for a fuzzing run. A span
    // beyond the sub-step budget is left whole: the driver must stop it.
    double boundedspan(double requested)
    {
        spanbeyondbudget = beyondbudget(store(), requested);
        if (spanbeyondbudget || uncutspans)
            return requested;
        const double allowance = std::min(maximumcellsteps, cellstepsleft);
        const double rate = fastestrate(store());
        double h = rate > 0.0 ? 0.5 / rate : INFINITY;
        if (store().maximumtimestep > 0.0)
            h = std::min(h, store().maximumtimestep);
        // States accelerate while they march: an eighth of the estimate.
        const double allowed = h * allowance / (2.0 * std::max(store().totalcells, 1)) / 8.0;
        const double span = requested > allowed && allowed >= 0.0 ? allowed : requested;
        // The input's allowance pays for the span by the same estimate.
        if (allowed > 0.0 && span > 0.0)
            cellstepsleft -= allowance * std::min(1.0, span / allowed);
        return span;
    }

    // A set call's buffer: from the saved copy where there is one, the
    // rest with one value, then a few single values changed.
    void fill(Buffer& b, const Buffer* saved)
    {
        auto pick = [&] { return b.integer ? double(integer()) : real(); };
        const double value = pick();
        for (std::size_t j = 0; j < b.size(); ++j)
            b.set(j, saved && j < saved->size() ? saved->get(j) : value);
        for (int changes = byte() % 3; changes > 0; --changes) {
            const std::size_t at = byte() % b.size();
            b.set(at, pick());
        }
    }

    // Cells of a pipe as the engine reports them; -1 when it refuses.
    std::int32_t cellsofpipe(std::int32_t pipe)
    {
        std::int32_t cells = 0;
        getnumberofcells(pipe, &cells);
        return takecode() == 3 ? -1 : checkedcount(cells);
    }

    // Decodes the arguments of entry e, calls it, checks what the header
    // promises of it and returns the code it left.
    std::int32_t perform(int e)
    {
        const Entry& entry = entries[e];
        Counts counts = shape();
        Saved& saved = save[static_cast<int>(entry.call)];
        const bool fromsave = entry.has('X') && byte() % 4 != 0 && saved.have;
        if (entry.has('X'))
            counts = byte() % 2 == 0 && fromsave
                         ? saved.counts
                         : Counts{integer(), integer(), integer(), integer()};
        std::vector<Buffer> b; // behind the pointer arguments
        b.reserve(entry.kinds.size() + pelmora::argumentcount(entry.call)); // data() stays put
        std::vector<Slot> a;
        std::vector<std::size_t> pointers; // which arguments are pointers
        std::string text;
        auto note = [&](const std::string& t) { text += tracing ? ", " + t : ""; };
        auto push = [&](Buffer x, const std::string& name) {
            b.push_back(std::move(x));
            pointers.push_back(a.size());
            a.push_back({.p = b.back().data()});
            note(tracing ? name + b.back().show() : "");
        };
        std::int32_t pipe = 0, end = 0, npipes = std::int32_t(counts.npipes), cells = 0;
        int routines = 0, routine = 0;
        double span = 0.0;
        bool nonfinite = false; // an f argument
        std::size_t out = 0;    // the last output
        for (const char kind : entry.kinds) {
            if (kind == 'x' || kind == 'X') {
                std::vector<Buffer> slots = layout(entry.call, counts, kind == 'x');
                for (std::size_t slot = 0; slot < slots.size(); ++slot) {
                    if (kind == 'X')
                        fill(slots[slot], fromsave ? &saved.buffers[slot] : nullptr);
                    if (const std::int64_t* n = kind == 'X' ? countof(slot, entry.call, counts) : 0)
                        slots[slot].set(0, double(*n));
                    const pelmora::ArgumentInfo arg = arguments(entry.call)[slot];
                    push(std::move(slots[slot]), std::string(arg.item->argument) +
                                                     (arg.end ? std::to_string(arg.end) : "") +
                                                     "=");
                }
            } else if (kind == 'c' || kind == 'h') {
                routines = kind == 'c' ? byte() : routines;
                const int r = kind == 'h' ? routine++ : 0;
                const bool dropped = routines >= 200 && (routines & (kind == 'c' ? 8 : 1 << r));
                a.push_back({.p = dropped       ? nullptr
                                  : kind == 'c' ? static_cast<void*>(&hostcontext)
                                                : reinterpret_cast<void*>(hostroutines[r])});
                note(dropped ? "NULL" : "host");
            } else if (kind == 'r' || kind == 'f') {
                a.push_back({.d = real()});
                nonfinite = nonfinite || (kind == 'f' && !std::isfinite(a.back().d));
                note(number(a.back().d));
            } else if (kind == 'i' || kind == 'e') {
                (kind == 'e' ? end : pipe) = integer();
                a.push_back({.i = kind == 'e' ? end : pipe});
                note(std::to_string(a.back().i));
            } else if (kind == 'A') {
                Buffer x(false, npipes, false);
                const bool each = byte() % 2;
                for (std::size_t j = 0; j < x.size(); ++j)
                    x.set(j, j == 0 || each ? real() : x.get(0));
                push(std::move(x), "");
            } else if (among(kind, "IRSNnFC")) { // one value behind a pointer
                double v = among(kind, "IN")   ? integer()
                           : among(kind, "RS") ? real()
                           : kind == 'n'       ? double(counts.nvars)
                           : kind == 'F'       ? double(counts.nfaces)
                                               : double(counts.ncells);
                pipe = kind == 'I' ? std::int32_t(v) : pipe;
                if (kind == 'N')
                    v = npipes = std::min(std::int32_t(v), maximumpipes);
                if (kind == 'S')
                    v = span = boundedspan(v);
                push(Buffer(among(kind, "INnFC"), 1, false, v), "");
            } else if (among(kind, "oOV")) {
                // A profile has room for every cell the engine holds when the
                // pipe is refused.
                const std::int64_t room = kind == 'V' ? cells = cellsofpipe(pipe) : 1;
                out = b.size();
                push(Buffer(kind == 'o', room >= 0 ? room : store().celllength.size(), true), "");
            }
        }
        const int n =
            pointers.empty() || byte() < firstnulltag ? -1 : byte() % int(pointers.size());
        if (n >= 0)
            a[pointers[std::size_t(n)]].p = nullptr;
        trace("%s(%s%s)\n", entry.name.data(), text.c_str() + (text.empty() ? 0 : 2),
              n >= 0 ? (", null=" + std::to_string(n)).c_str() : "");

        if (entry.has('=') && skipload(b, n))
            return trace("    [skipped: too many cells]\n"), 0;
        const std::int64_t total = std::max(store().totalcells, 0);
        if (entry.has('~') && !uncutspans &&
            (total > maximumsteadycells || total > steadycellsleft))
            return 0;
        steadycellsleft -= entry.has('~') ? total : 0;
        const bool checked = entry.has('~') || (entry.has('#') && total <= maximumcheckedcells);
        const std::string before = checked ? snapshot() : "";
        calls[e](a.data());
        const std::int32_t code = takecode();
        auto changed = [&] {
            return checked && store().totalcells <= maximumcheckedcells && snapshot() != before;
        };

        bool clean = true;
        for (const Buffer& x : b)
            clean = clean && (!x.output || x.untouched());
        if (entry.kinds.find_first_of("oOV") != std::string_view::npos)
            trace("    out %s\n", b[out].show(true).c_str());
        if (entry.has('#') && code == 3 && changed())
            finding("a call refused with code 3 changed the engine state");
        if (!entry.has('W') && code == 3 && !clean)
            finding("a call refused with code 3 wrote an output");
        if (nonfinite && (!entry.has('e') || end == 1 || end == 2) && code != 3)
            finding("a value that is not finite was taken instead of refused with code 3");
        if (entry.has('e') && !entry.has('#') && end != 1 && end != 2 && (code != 0 || !clean))
            finding("a network-end query with an end other than 1 or 2 wrote or set a code");
        checkedcount(entry.has('o') && b[out].written(0) ? b[out].integers[0] : 0);
        std::int32_t unwritten = 0;
        for (std::int32_t j = 0; j < cells; ++j)
            unwritten += !b[out].written(std::size_t(j));
        if (entry.has('V') &&
            ((cells < 0 && !b[out].untouched()) || (code == 0 && n < 0 && unwritten)))
            finding("a profile query wrote cells of a pipe that getnumberofcells refuses, or "
                    "succeeded but left some of the pipe's cells unwritten");
        if (entry.has('0') && n < 0 && b[out].integers[0] != 0)
            finding("geterrorcode returned a code after the codes were taken");
        if (entry.has('~') &&
            ((n < 0 && !b[out].written(0)) || ((b[out].integers[0] == 2 || n == 0) && changed())))
            finding("steadystate left no status, or refused (status 2 or no status pointer) but "
                    "changed the state");
        if (entry.has('=') && code == 0 && npipes >= 1)
            checkloadedshape(b, npipes);
        // Stopped at once, unless steadypipe found its pipe steady after the
        // first sub-step.
        if (entry.has('S') && spanbeyondbudget && code != 3 &&
            !(entry.has('*') && b[out].get(0) < span))
            finding("a driver whose span needs more sub-steps than its budget did not stop with "
                    "code 3");
        expectedcontext = entry.has('c') && code == 0 ? a[0].p : expectedcontext;
        if (entry.has('x') && code != 3 && n < 0)
            saved = {true, counts, b};
        return code;
    }

    // Skips a valid network of more cells than the harness allows (the
    // engine must refuse data that is invalid or far beyond 32-bit
    // numbering before allocating, so those still go through).
    bool skipload(const std::vector<Buffer>& b, int n)
    {
        double cells = 0.0;
        bool valid = true;
        for (std::size_t p = 0; p < b[1].size() && b[0].get(0) >= 1; ++p) {
            const double c = estimatedcells(b, p);
            valid = valid && !std::isnan(c);
            cells += std::isnan(c) ? 0.0 : c;
        }
        return valid && n < 0 && cells > double(maximumcells) && cells < 2.5e9;
    }

    // A network that loaded has the shape the documented cell rule gives.
    void checkloadedshape(const std::vector<Buffer>& b, std::int32_t npipes)
    {
        const Counts c = shape();
        std::int32_t total = -1;
        gettotalnumberofcells(&total);
        std::int64_t sum = 0;
        for (std::int32_t p = 1; p <= npipes; ++p) {
            std::int32_t cells = -1;
            getnumberofcells(p, &cells);
            if (cells != estimatedcells(b, std::size_t(p - 1)))
                finding("a loaded pipe does not have the documented number of cells");
            sum += cells;
        }
        if (c.nvars != 3 || c.npipes != npipes || c.ncells != sum || c.nfaces != sum + 1 ||
            total != c.ncells)
            finding("a loaded network's counts disagree (getshape, gettotalnumberofcells, "
                    "getnumberofcells)");
        takecode();
    }

    std::int32_t harness(int op)
    {
        trace("[%s]\n", harnessops[op].name.data());
        if (op == 0)
            behaviour = static_cast<HostBehaviour>(byte() % hostbehaviours);
        if (op == 1)
            pelmora::engine() = pelmora::Store{};
        // Save and restore as the host's own calls, with every pointer valid
        // and, for the set calls, everything from the copy.
        static constexpr std::uint8_t fromcopy[] = {1};
        for (Call call : exchangecalls) {
            if (op < 2 ||
                (op == 3 && !(save[0].have && save[1].have && save[2].have && save[3].have)))
                break;
            const Input rest = in;
            in = {fromcopy, op == 2 ? 0u : 1u};
            perform(exchangeentry(call, op == 3));
            in = rest;
        }
        return takecode();
    }

    Input in;
    Saved save[5];                 // by exchange call
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

// The libFuzzer entry (unused in pelmora_replay): every input is a call sequence.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    pelmorafuzz::runcallsequence(data, size, false);
    return 0;
}
