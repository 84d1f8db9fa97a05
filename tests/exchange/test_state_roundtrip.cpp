// Save and restore as a host does it: save the engine's state with the get
// entry points in the middle of a transient, run on, restore it with the set
// entry points, run the same calls again, and get the same results bit for
// bit. Everything goes through the exported entry points on the engine's own
// store.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <vector>

#include "engine/store.h"
#include "pelmora.h"
#include "support/exchange.h"

namespace {

using pelmora::Call;
using pelmora::ItemRow;
using pelmora::testing::callexported;
using pelmora::testing::HostArguments;

std::int32_t errorcode()
{
    std::int32_t code = -1;
    ::geterrorcode(&code);
    return code;
}

// ---- The scenario ------------------------------------------------------------------

// Natural gas on the built-in ideal-gas model.
void loadgas()
{
    const double molweight = 17.0, gamma = 1.3, viscosity = 1.1e-5, z = 0.95;
    const std::int32_t model = 1;
    ::loadfluid(nullptr, nullptr, nullptr, nullptr, &molweight, &gamma, &viscosity, &z, &model);
}

// Two pipes of different diameter, the second one climbing, with wall heat
// exchange: 3 km at 0.6 m in 30 cells, then 2 km at 0.5 m in 20 cells.
void loadnetwork()
{
    const std::int32_t npipes = 2;
    const double length[] = {3000.0, 2000.0}, diameter[] = {0.6, 0.5}, inclination[] = {0.0, 0.01},
                 roughness[] = {2e-5, 3e-5}, celllength[] = {100.0, 100.0};
    ::loadpipedata(&npipes, length, diameter, diameter, inclination, roughness, celllength);
    const double ambient[] = {280.0, 285.0}, htc[] = {2.0, 3.0};
    ::loadwalldata(ambient, htc);
}

void startnetwork()
{
    const double p[] = {50e5, 49e5}, T[] = {300.0, 300.0}, m[] = {40.0, 40.0};
    ::loadinitialconditions(p, T, m);
    ::loadbc(1, 50e5, 300.0, 40.0, -1, -1, 0);
    ::loadbc(2, 48e5, 300.0, 40.0, 0, 0, -1);
}

// Host step k of the transient: the offtake at the outlet ramps up while the
// inlet temperature drifts, so every step sees new boundary values.
void hoststep(int k)
{
    ::loadbc(1, 50e5, 300.0 + 0.5 * k, 40.0, -1, -1, 0);
    ::loadbc(2, 48e5, 300.0, 40.0 + 4.0 * k, 0, 0, -1);
    const double dt = 5.0;
    ::transientpipes(&dt);
}

// ---- What the host reads after each step --------------------------------------------

using Profile = std::vector<double>;

// Every profile of every pipe, both network-end states and the error code,
// appended to `out`.
void readresults(std::vector<Profile>& out)
{
    std::int32_t nvars = 0, ncells = 0, nfaces = 0, npipes = 0;
    ::getshape(&nvars, &ncells, &nfaces, &npipes);
    using PipeQuery = void (*)(std::int32_t, double*);
    using EndQuery = void (*)(std::int32_t, double*);
    for (std::int32_t p = 1; p <= npipes; ++p) {
        std::int32_t n = 0;
        ::getnumberofcells(p, &n);
        for (PipeQuery q :
             {::getdensity, ::getenthalpy, ::getinternalenergy, ::getmachnumber, ::getmassflowrate,
              ::getpressure, ::getsoundspeed, ::gettemperature, ::getvelocity}) {
            Profile values(static_cast<std::size_t>(n));
            q(p, values.data());
            out.push_back(values);
        }
    }
    for (std::int32_t end = 1; end <= 2; ++end) {
        Profile values;
        for (EndQuery q : {::getbcdensity, ::getbcenthalpy, ::getbcinternalenergy,
                           ::getbcmachnumber, ::getbcmassflowrate, ::getbcpressure,
                           ::getbcsoundspeed, ::getbctemperature, ::getbcvelocity}) {
            double v = 0.0;
            q(end, &v);
            values.push_back(v);
        }
        out.push_back(values);
    }
    out.push_back({static_cast<double>(errorcode())});
}

// Runs host steps first..last, reading everything after each one.
std::vector<Profile> runsteps(int first, int last)
{
    std::vector<Profile> results;
    for (int k = first; k <= last; ++k) {
        hoststep(k);
        readresults(results);
    }
    return results;
}

// Bit-for-bit equality of two result records (no tolerance: a restored
// engine must redo exactly the same arithmetic).
void expectsamebits(const std::vector<Profile>& a, const std::vector<Profile>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t r = 0; r < a.size(); ++r) {
        ASSERT_EQ(a[r].size(), b[r].size()) << "record " << r;
        for (std::size_t j = 0; j < a[r].size(); ++j)
            ASSERT_EQ(std::bit_cast<std::uint64_t>(a[r][j]), std::bit_cast<std::uint64_t>(b[r][j]))
                << "record " << r << " element " << j << ": " << a[r][j] << " vs " << b[r][j];
    }
}

// ---- The saved state ------------------------------------------------------------------

// Everything the eight exchange entry points carry: one buffer per argument
// of each call, laid out by the store's registry, each long enough for the
// largest group, and both conserved levels.
struct Snapshot {
    explicit Snapshot(std::size_t room) : fluid(room), hyper(room), phys(room) {}
    std::int32_t nvars = 0, ncells = 0, nfaces = 0, npipes = 0;
    HostArguments<Call::fluid> fluid;
    HostArguments<Call::hyper> hyper;
    HostArguments<Call::phys> phys;
    std::vector<double> previous, current;
};

Snapshot save()
{
    std::int32_t nvars = 0, ncells = 0, nfaces = 0, npipes = 0;
    ::getshape(&nvars, &ncells, &nfaces, &npipes);
    Snapshot s(static_cast<std::size_t>(std::max({nvars, nfaces, npipes})));
    s.nvars = nvars;
    s.ncells = ncells;
    s.nfaces = nfaces;
    s.npipes = npipes;
    s.previous.resize(static_cast<std::size_t>(nvars * ncells));
    s.current.resize(s.previous.size());
    callexported(::getfluidparams, s.fluid.pointers());
    callexported(::gethyperparams, s.hyper.pointers());
    ::getuhistory(s.previous.data(), s.current.data());
    callexported(::getphysparams, s.phys.pointers());
    return s;
}

void restore(Snapshot s)
{
    callexported(::setfluidparams, s.fluid.pointers());
    callexported(::sethyperparams, s.hyper.pointers());
    ::setuhistory(&s.nvars, &s.ncells, s.previous.data(), s.current.data());
    callexported(::setphysparams, s.phys.pointers(), &s.nvars, &s.nfaces, &s.ncells);
}

class SaveRestore : public ::testing::Test {
protected:
    void SetUp() override
    {
        pelmora::engine() = pelmora::Store{};
        loadgas();
        loadnetwork();
        startnetwork();
        // Into the transient: the offtake is already ramping.
        runsteps(1, 4);
        ASSERT_EQ(errorcode(), 0);
    }
    void TearDown() override { pelmora::engine() = pelmora::Store{}; }
};

} // namespace

TEST_F(SaveRestore, RestoredTransientRepeatsBitForBit)
{
    const Snapshot saved = save();
    ASSERT_EQ(errorcode(), 0);
    const std::vector<Profile> first = runsteps(5, 12);

    restore(saved);
    ASSERT_EQ(errorcode(), 0);
    const std::vector<Profile> second = runsteps(5, 12);
    expectsamebits(first, second);

    // The run really moved the state on: the profiles read right after a
    // restore differ from those after the last step.
    restore(saved);
    std::vector<Profile> atsave;
    readresults(atsave);
    const std::vector<Profile> last(first.end() - static_cast<std::ptrdiff_t>(atsave.size()),
                                    first.end());
    EXPECT_NE(atsave, last);
}

TEST_F(SaveRestore, RestoreIntoAReloadedEngineRepeatsBitForBit)
{
    const Snapshot saved = save();
    const std::vector<Profile> first = runsteps(5, 12);

    // The host releases the network, works on another one, then loads the
    // same geometry again and restores the saved state into it.
    ::freepipememory();
    const std::int32_t one = 1;
    const double length = 500.0, diameter = 0.3, zero = 0.0, roughness = 1e-5, dx = 50.0;
    ::loadpipedata(&one, &length, &diameter, &diameter, &zero, &roughness, &dx);
    loadnetwork();
    restore(saved);
    ASSERT_EQ(errorcode(), 0);
    const std::vector<Profile> second = runsteps(5, 12);
    expectsamebits(first, second);
}

TEST_F(SaveRestore, SnapshotOfARestoredEngineEqualsTheSavedOne)
{
    const Snapshot saved = save();
    runsteps(5, 8);
    restore(saved);
    const Snapshot again = save();
    EXPECT_EQ(saved.fluid.reals, again.fluid.reals);
    EXPECT_EQ(saved.fluid.integers, again.fluid.integers);
    EXPECT_EQ(saved.hyper.reals, again.hyper.reals);
    EXPECT_EQ(saved.hyper.integers, again.hyper.integers);
    EXPECT_EQ(saved.previous, again.previous);
    EXPECT_EQ(saved.current, again.current);
    EXPECT_EQ(saved.phys.reals, again.phys.reals);
    EXPECT_EQ(saved.phys.integers, again.phys.integers);
}

// ---- Odd states a host can store --------------------------------------------------
//
// The exchange stores counts below the allocation, a number of variables
// other than 3, fewer pipes than were loaded and any cell ranges inside the
// allocated cells. None of that may lead a later call past an array (the
// sanitizer builds watch), and restoring a proper snapshot afterwards must
// bring back exactly the saved behaviour.

namespace {

// Calls every entry point that reads the network or its state, with valid
// arguments, and returns the largest error code seen.
std::int32_t exerciseeverything()
{
    std::int32_t worst = 0;
    auto note = [&worst] { worst = std::max(worst, errorcode()); };
    std::vector<double> buffer(4096, 0.0);
    std::vector<std::int32_t> integers(4096, 0);
    double value = 0.0, elapsed = 0.0;
    const double dt = 2.0, tmax = 4.0;
    for (std::int32_t p = 0; p <= 3; ++p) {
        std::int32_t n = 0;
        ::getnumberofcells(p, &n);
        ::getpressure(p, buffer.data());
        ::getvelocity(p, buffer.data());
        ::getdiameter(p, buffer.data());
        ::transientpipe(&p, &dt);
        ::steadypipe(&p, &tmax, &elapsed);
        ::loadbcpipe(p, 2, 48e5, 300.0, 40.0, 0, 0, -1);
        note();
    }
    for (std::int32_t end = 1; end <= 2; ++end) {
        ::getbcpressure(end, &value);
        ::getbcmassflowrate(end, &value);
    }
    ::loadbc(1, 50e5, 300.0, 40.0, -1, -1, 0);
    ::loadbc(2, 48e5, 300.0, 40.0, 0, 0, -1);
    ::transientpipes(&dt);
    note();
    ::steadypipes(&tmax, &elapsed);
    note();
    for (std::int32_t mode = 1; mode <= 6; ++mode) {
        std::int32_t status = -1;
        const double c = mode == 5 ? 47e5 : mode == 6 ? 50e5 : mode == 4 ? -40.0 : 40.0;
        ::steadystate(mode, mode == 2 || mode == 6 ? 48e5 : 50e5, 300.0, c, &status);
        note();
    }
    ::getuhistory(buffer.data(), buffer.data() + 2048);
    note();
    std::int32_t nvars = 0, ncells = 0, nfaces = 0, npipes = 0;
    ::getshape(&nvars, &ncells, &nfaces, &npipes);
    double* r = buffer.data();
    std::int32_t* i = integers.data();
    ::gethyperparams(i, i, i, i, i, i, i, r, r, r, r, r, r, r, r, r, r, r, r, r);
    note();
    const double ambient[] = {280.0, 280.0}, htc[] = {1.0, 1.0};
    ::loadwalldata(ambient, htc);
    const double p0[] = {50e5, 49e5}, T0[] = {300.0, 300.0}, m0[] = {40.0, 40.0};
    ::loadinitialconditions(p0, T0, m0);
    ::transientpipes(&dt);
    note();
    return worst;
}

struct OddState {
    const char* what;
    void (*store)(const Snapshot&);
};

void sethypercounts(Snapshot s, std::int32_t nvars, std::int32_t ncells, std::int32_t nfaces)
{
    s.hyper.integer(ItemRow::numberofvariables) = nvars;
    s.hyper.integer(ItemRow::totalcells) = ncells;
    s.hyper.integer(ItemRow::totalfaces) = nfaces;
    callexported(::sethyperparams, s.hyper.pointers());
}

// Stores the snapshot's physical state with another number of pipes and
// other cell ranges, copying no arrays but the per-pipe ones.
void setlayout(Snapshot s, std::int32_t npipes, std::vector<std::int32_t> first,
               std::vector<std::int32_t> last)
{
    for (std::size_t p = 0; p < first.size(); ++p) {
        s.phys.integer(ItemRow::firstcell, static_cast<std::int64_t>(p + 1)) = first[p];
        s.phys.integer(ItemRow::lastcell, static_cast<std::int64_t>(p + 1)) = last[p];
    }
    s.phys.integer(ItemRow::numberofpipes) = npipes;
    s.nvars = s.nfaces = s.ncells = 0;
    restore(s);
}

void setlimit(Snapshot s, double limit)
{
    s.phys.real(ItemRow::maximumtimestep) = limit;
    restore(s);
}

const OddState oddstates[] = {
    {"no variables", [](const Snapshot& s) { sethypercounts(s, 0, s.ncells, s.nfaces); }},
    {"two variables", [](const Snapshot& s) { sethypercounts(s, 2, s.ncells, s.nfaces); }},
    {"negative variables", [](const Snapshot& s) { sethypercounts(s, -1, s.ncells, s.nfaces); }},
    {"two cells", [](const Snapshot& s) { sethypercounts(s, 3, 2, 3); }},
    {"no cells", [](const Snapshot& s) { sethypercounts(s, 3, 0, 0); }},
    {"negative cells", [](const Snapshot& s) { sethypercounts(s, 3, -7, -6); }},
    {"faces equal cells", [](const Snapshot& s) { sethypercounts(s, 3, s.ncells, s.ncells); }},
    {"one pipe of two",
     [](const Snapshot& s) {
         setlayout(s, 1, {1, 31}, {30, 50});
     }},
    {"no pipes",
     [](const Snapshot& s) {
         setlayout(s, 0, {1, 31}, {30, 50});
     }},
    {"negative pipes",
     [](const Snapshot& s) {
         setlayout(s, -3, {1, 31}, {30, 50});
     }},
    {"overlapping ranges",
     [](const Snapshot& s) {
         setlayout(s, 2, {1, 5}, {10, 50});
     }},
    {"ranges in reverse order",
     [](const Snapshot& s) {
         setlayout(s, 2, {31, 1}, {50, 30});
     }},
    {"one-cell pipes",
     [](const Snapshot& s) {
         setlayout(s, 2, {1, 2}, {1, 2});
     }},
    {"zero step limit", [](const Snapshot& s) { setlimit(s, 0.0); }},
    {"negative step limit", [](const Snapshot& s) { setlimit(s, -1.0); }},
    {"NaN step limit",
     [](const Snapshot& s) { setlimit(s, std::numeric_limits<double>::quiet_NaN()); }},
};

} // namespace

TEST_F(SaveRestore, OddStoredStatesStayInBoundsAndRestoreCleanly)
{
    const Snapshot saved = save();
    const std::vector<Profile> reference = runsteps(5, 8);
    for (const OddState& odd : oddstates) {
        SCOPED_TRACE(odd.what);
        restore(saved);
        odd.store(saved);
        ASSERT_EQ(errorcode(), 0) << "the odd state itself is accepted";
        const std::int32_t worst = exerciseeverything();
        EXPECT_LE(worst, 4);

        restore(saved);
        ASSERT_EQ(errorcode(), 0);
        expectsamebits(runsteps(5, 8), reference);
    }
}
