// Save and restore as a host does it: save the engine's state with the get
// entry points in the middle of a transient, run on, restore it with the set
// entry points, run the same calls again, and get the same results bit for
// bit. Everything goes through the exported entry points on the engine's own
// store.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/store.h"
#include "pelmora.h"

namespace {

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

// Everything the eight exchange entry points carry. The physical state keeps
// one buffer per getphysparams argument number, each long enough for the
// largest group.
struct Snapshot {
    double fluid[15] = {};
    std::int32_t model = 0;
    std::int32_t hyperintegers[8] = {};
    double simulationtime = 0.0;
    std::vector<std::vector<double>> hyperarrays; // arguments 9 to 20
    std::vector<double> previous, current;
    std::int32_t nvars = 0, ncells = 0, nfaces = 0, npipes = 0;
    std::vector<std::vector<double>> reals;
    std::vector<std::vector<std::int32_t>> integers;
    double* r(int n) { return reals[static_cast<std::size_t>(n)].data(); }
    std::int32_t* i(int n) { return integers[static_cast<std::size_t>(n)].data(); }
    double* h(int n) { return hyperarrays[static_cast<std::size_t>(n - 9)].data(); }
    const double* r(int n) const { return reals[static_cast<std::size_t>(n)].data(); }
    const std::int32_t* i(int n) const { return integers[static_cast<std::size_t>(n)].data(); }
    const double* h(int n) const { return hyperarrays[static_cast<std::size_t>(n - 9)].data(); }
};

Snapshot save()
{
    Snapshot s;
    ::getshape(&s.nvars, &s.ncells, &s.nfaces, &s.npipes);
    const auto room = static_cast<std::size_t>(std::max({s.nvars, s.nfaces, s.npipes}));
    s.hyperarrays.assign(12, std::vector<double>(room));
    s.reals.assign(107, std::vector<double>(room));
    s.integers.assign(107, std::vector<std::int32_t>(room));
    s.previous.resize(static_cast<std::size_t>(s.nvars * s.ncells));
    s.current.resize(s.previous.size());

    double* f = s.fluid;
    ::getfluidparams(&f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11],
                     &s.model, &f[13], &f[14]);
    std::int32_t* n = s.hyperintegers;
    ::gethyperparams(&n[1], &n[2], &n[3], &n[4], &n[5], &n[6], &n[7], &s.simulationtime, s.h(9),
                     s.h(10), s.h(11), s.h(12), s.h(13), s.h(14), s.h(15), s.h(16), s.h(17),
                     s.h(18), s.h(19), s.h(20));
    ::getuhistory(s.previous.data(), s.current.data());
    ::getphysparams(s.i(1), s.i(2), s.i(3), s.i(4), s.i(5), s.i(6), s.i(7), s.i(8), s.i(9), s.i(10),
                    s.r(11), s.r(12), s.r(13), s.r(14), s.r(15), s.r(16), s.r(17), s.r(18), s.r(19),
                    s.r(20), s.r(21), s.r(22), s.r(23), s.r(24), s.r(25), s.r(26), s.r(27), s.r(28),
                    s.r(29), s.r(30), s.r(31), s.r(32), s.r(33), s.r(34), s.r(35), s.r(36), s.r(37),
                    s.r(38), s.r(39), s.r(40), s.r(41), s.r(42), s.r(43), s.r(44), s.r(45), s.r(46),
                    s.r(47), s.r(48), s.r(49), s.r(50), s.r(51), s.r(52), s.r(53), s.r(54), s.r(55),
                    s.r(56), s.r(57), s.r(58), s.r(59), s.r(60), s.r(61), s.r(62), s.r(63), s.r(64),
                    s.r(65), s.r(66), s.r(67), s.r(68), s.r(69), s.r(70), s.r(71), s.r(72), s.r(73),
                    s.r(74), s.r(75), s.r(76), s.r(77), s.r(78), s.r(79), s.r(80), s.r(81), s.r(82),
                    s.r(83), s.r(84), s.r(85), s.r(86), s.r(87), s.r(88), s.r(89), s.r(90), s.r(91),
                    s.r(92), s.r(93), s.r(94), s.r(95), s.r(96), s.r(97), s.r(98), s.r(99),
                    s.r(100), s.r(101), s.r(102), s.r(103), s.r(104), s.i(105), s.i(106));
    return s;
}

void restore(const Snapshot& s)
{
    const double* f = s.fluid;
    ::setfluidparams(&f[1], &f[2], &f[3], &f[4], &f[5], &f[6], &f[7], &f[8], &f[9], &f[10], &f[11],
                     &s.model, &f[13], &f[14]);
    const std::int32_t* n = s.hyperintegers;
    ::sethyperparams(&n[1], &n[2], &n[3], &n[4], &n[5], &n[6], &n[7], &s.simulationtime, s.h(9),
                     s.h(10), s.h(11), s.h(12), s.h(13), s.h(14), s.h(15), s.h(16), s.h(17),
                     s.h(18), s.h(19), s.h(20));
    ::setuhistory(&s.nvars, &s.ncells, s.previous.data(), s.current.data());
    ::setphysparams(
        &s.nvars, &s.nfaces, &s.ncells, s.i(1), s.i(2), s.i(3), s.i(4), s.i(5), s.i(6), s.i(7),
        s.i(8), s.i(9), s.i(10), s.r(11), s.r(12), s.r(13), s.r(14), s.r(15), s.r(16), s.r(17),
        s.r(18), s.r(19), s.r(20), s.r(21), s.r(22), s.r(23), s.r(24), s.r(25), s.r(26), s.r(27),
        s.r(28), s.r(29), s.r(30), s.r(31), s.r(32), s.r(33), s.r(34), s.r(35), s.r(36), s.r(37),
        s.r(38), s.r(39), s.r(40), s.r(41), s.r(42), s.r(43), s.r(44), s.r(45), s.r(46), s.r(47),
        s.r(48), s.r(49), s.r(50), s.r(51), s.r(52), s.r(53), s.r(54), s.r(55), s.r(56), s.r(57),
        s.r(58), s.r(59), s.r(60), s.r(61), s.r(62), s.r(63), s.r(64), s.r(65), s.r(66), s.r(67),
        s.r(68), s.r(69), s.r(70), s.r(71), s.r(72), s.r(73), s.r(74), s.r(75), s.r(76), s.r(77),
        s.r(78), s.r(79), s.r(80), s.r(81), s.r(82), s.r(83), s.r(84), s.r(85), s.r(86), s.r(87),
        s.r(88), s.r(89), s.r(90), s.r(91), s.r(92), s.r(93), s.r(94), s.r(95), s.r(96), s.r(97),
        s.r(98), s.r(99), s.r(100), s.r(101), s.r(102), s.r(103), s.r(104), s.i(105), s.i(106));
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
    EXPECT_EQ(std::memcmp(saved.fluid, again.fluid, sizeof saved.fluid), 0);
    EXPECT_EQ(saved.hyperarrays, again.hyperarrays);
    EXPECT_EQ(saved.previous, again.previous);
    EXPECT_EQ(saved.current, again.current);
    EXPECT_EQ(saved.reals, again.reals);
    EXPECT_EQ(saved.integers, again.integers);
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

void sethypercounts(const Snapshot& s, std::int32_t nvars, std::int32_t ncells, std::int32_t nfaces)
{
    const std::int32_t* n = s.hyperintegers;
    ::sethyperparams(&nvars, &ncells, &nfaces, &n[4], &n[5], &n[6], &n[7], &s.simulationtime,
                     s.h(9), s.h(10), s.h(11), s.h(12), s.h(13), s.h(14), s.h(15), s.h(16), s.h(17),
                     s.h(18), s.h(19), s.h(20));
}

// Stores the snapshot's physical state with another number of pipes and
// other cell ranges, copying no arrays but the per-pipe ones.
void setlayout(const Snapshot& s, std::int32_t npipes, std::vector<std::int32_t> first,
               std::vector<std::int32_t> last)
{
    Snapshot t = s;
    std::copy(first.begin(), first.end(), t.i(3));
    std::copy(last.begin(), last.end(), t.i(4));
    t.i(1)[0] = npipes;
    t.nvars = t.nfaces = t.ncells = 0;
    restore(t);
}

void setlimit(const Snapshot& s, double limit)
{
    Snapshot t = s;
    t.r(11)[0] = limit;
    restore(t);
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
