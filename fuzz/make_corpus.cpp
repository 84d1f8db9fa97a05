// Writes the seed corpus: realistic call sequences a host would make, plus a
// tour of bad input, encoded as encoding.h describes. The fuzzer starts from
// these and mutates them.
//
//   make_corpus DIRECTORY
//
// Each seed is written in the argument order callsequence.cpp reads them;
// `pelmora_replay --trace FILE` prints a seed back as calls.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "encoding.h"

using namespace pelmorafuzz;

namespace {

constexpr int nonull = -1;

class Writer {
public:
    std::vector<std::uint8_t> bytes;

    void byte(int b) { bytes.push_back(static_cast<std::uint8_t>(b)); }
    void op(Op o) { byte(o); }

    void integer(std::int32_t v)
    {
        if (v >= 0 && v <= 254 - integertablesize) {
            byte(v + integertablesize);
            return;
        }
        byte(rawtag);
        const auto bits = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            byte((bits >> (8 * i)) & 0xff);
    }

    // A table entry by index (for NaN, infinities and friends).
    void tableentry(int index) { byte(index); }

    void real(double v)
    {
        byte(rawtag);
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            byte(int((bits >> (8 * i)) & 0xff));
    }

    void null(int index)
    {
        if (index < 0) {
            byte(0);
            return;
        }
        byte(firstnulltag);
        byte(index);
    }

    void array(const std::vector<double>& values)
    {
        byte(1);
        for (double v : values)
            real(v);
    }
    void samearray(double v)
    {
        byte(0);
        real(v);
    }
};

// ---- One helper per operation, arguments in the interpreter's order ----------

void loadfluid(Writer& w, double mw, double gamma, double mu, double z, int model,
               int null = nonull, int routines = 0)
{
    w.op(oploadfluid);
    w.byte(routines);
    w.real(mw);
    w.real(gamma);
    w.real(mu);
    w.real(z);
    w.integer(model);
    w.null(null);
}

struct Pipes {
    std::vector<double> length, din, dout, slope, rough, cell;
};

void loadpipedata(Writer& w, std::int32_t npipes, const Pipes& p, int null = nonull)
{
    w.op(oploadpipedata);
    w.integer(npipes);
    for (const auto* a : {&p.length, &p.din, &p.dout, &p.slope, &p.rough, &p.cell})
        w.array(*a);
    w.null(null);
}

void loadbc(Writer& w, int end, double p, double T, double m, int pf, int tf, int mf)
{
    w.op(oploadbc);
    w.integer(end);
    w.real(p);
    w.real(T);
    w.real(m);
    w.integer(pf);
    w.integer(tf);
    w.integer(mf);
}

void loadbcpipe(Writer& w, int pipe, int end, double p, double T, double m, int pf, int tf, int mf)
{
    w.op(oploadbcpipe);
    w.integer(pipe);
    w.integer(end);
    w.real(p);
    w.real(T);
    w.real(m);
    w.integer(pf);
    w.integer(tf);
    w.integer(mf);
}

void loadwalldata(Writer& w, double ambient, double coefficient, int null = nonull)
{
    w.op(oploadwalldata);
    w.samearray(ambient);
    w.samearray(coefficient);
    w.null(null);
}

void maxtimestep(Writer& w, double dt, int null = nonull)
{
    w.op(opmaxtimestep);
    w.real(dt);
    w.null(null);
}

void loadinitialconditions(Writer& w, double p, double T, double m, int null = nonull)
{
    w.op(oploadinitialconditions);
    w.samearray(p);
    w.samearray(T);
    w.samearray(m);
    w.null(null);
}

void freepipememory(Writer& w) { w.op(opfreepipememory); }

void transientpipes(Writer& w, double dt, int null = nonull)
{
    w.op(optransientpipes);
    w.real(dt);
    w.null(null);
}

void transientpipe(Writer& w, int pipe, double dt, int null = nonull)
{
    w.op(optransientpipe);
    w.integer(pipe);
    w.real(dt);
    w.null(null);
}

void steadypipes(Writer& w, double tmax, int null = nonull)
{
    w.op(opsteadypipes);
    w.real(tmax);
    w.null(null);
}

void steadypipe(Writer& w, int pipe, double tmax, int null = nonull)
{
    w.op(opsteadypipe);
    w.integer(pipe);
    w.real(tmax);
    w.null(null);
}

void steadystate(Writer& w, int mode, double a, double b, double c, int null = nonull)
{
    w.op(opsteadystate);
    w.integer(mode);
    w.real(a);
    w.real(b);
    w.real(c);
    w.null(null);
}

void approxchokepressure(Writer& w, double T, double D, double m, int null = nonull)
{
    w.op(opapproxchokepressure);
    w.real(T);
    w.real(D);
    w.real(m);
    w.null(null);
}

void simplequery(Writer& w, Op o, int null = nonull)
{
    w.op(o);
    w.null(null);
}

void getnumberofcells(Writer& w, int pipe, int null = nonull)
{
    w.op(opgetnumberofcells);
    w.integer(pipe);
    w.null(null);
}

void getprofile(Writer& w, int which, int pipe, int null = nonull)
{
    w.op(opgetprofile);
    w.byte(which);
    w.integer(pipe);
    w.null(null);
}

void getbcvalue(Writer& w, int which, int end, int null = nonull)
{
    w.op(opgetbcvalue);
    w.byte(which);
    w.integer(end);
    w.null(null);
}

// All ten profiles of a pipe and all nine values at both ends.
void readresults(Writer& w, int npipes)
{
    for (int p = 1; p <= npipes; ++p)
        for (int which = 0; which < 10; ++which)
            getprofile(w, which, p);
    for (int end = 1; end <= 2; ++end)
        for (int which = 0; which < 9; ++which)
            getbcvalue(w, which, end);
    simplequery(w, opgeterrorcode);
}

void sethostbehaviour(Writer& w, HostBehaviour b)
{
    w.op(opsethostbehaviour);
    w.byte(b);
}

void standardsetup(Writer& w, int gas, int npipes)
{
    w.op(opstandardsetup);
    w.byte(gas + 3 * (npipes - 1));
}

Pipes uniformpipes(int n, double length, double diameter, double cell)
{
    Pipes p;
    p.length.assign(n, length);
    p.din.assign(n, diameter);
    p.dout.assign(n, diameter);
    p.slope.assign(n, 0.0);
    p.rough.assign(n, 4.5e-5);
    p.cell.assign(n, cell);
    return p;
}

void airsetup(Writer& w, const Pipes& pipes, int npipes, double p, double T, double m)
{
    loadfluid(w, 28.97, 1.4, 1.8e-5, 1.0, 0);
    loadpipedata(w, npipes, pipes);
    loadwalldata(w, 288.15, 2.0);
    loadinitialconditions(w, p, T, m);
    loadbc(w, 1, p, T, m, -1, -1, 0);
    loadbc(w, 2, p * 0.98, T, m, 0, 0, -1);
}

// ---- The seeds --------------------------------------------------------------------

// A transient with ramped inlet pressure, read back each host step.
Writer transientseed()
{
    Writer w;
    airsetup(w, uniformpipes(1, 2000.0, 0.5, 100.0), 1, 5.0e6, 288.15, 20.0);
    maxtimestep(w, 0.5);
    for (int step = 1; step <= 6; ++step) {
        loadbc(w, 1, 5.0e6 + 2.0e4 * step, 288.15, 20.0, -1, -1, 0);
        loadbc(w, 2, 4.9e6, 288.15, 20.0 + step, 0, 0, -1);
        transientpipes(w, 1.0);
        readresults(w, 1);
    }
    return w;
}

// A tapered, inclined two-pipe line brought to a steady state every way.
Writer steadyseed()
{
    Writer w;
    Pipes p = uniformpipes(2, 1500.0, 0.5, 150.0);
    p.slope = {0.02, -0.01};
    loadfluid(w, 16.04, 1.31, 1.1e-5, 0.9, 0);
    loadpipedata(w, 2, p);
    loadwalldata(w, 283.15, 1.5);
    steadystate(w, 1, 6.0e6, 300.0, 30.0);
    readresults(w, 2);
    steadystate(w, 2, 5.0e6, 300.0, 30.0);
    steadystate(w, 3, 5.5e6, 300.0, 25.0);
    steadystate(w, 4, 5.5e6, 300.0, -25.0);
    steadystate(w, 5, 6.0e6, 300.0, 5.9e6);
    steadystate(w, 6, 6.0e6, 300.0, 5.9e6);
    readresults(w, 2);
    loadbc(w, 1, 6.0e6, 300.0, 30.0, -1, -1, 0);
    loadbc(w, 2, 5.9e6, 300.0, 30.0, 0, 0, -1);
    transientpipes(w, 2.0);
    // A tapered network: not uniform, status 1.
    Pipes t = uniformpipes(1, 10.0, 0.1, 100.0);
    t.dout = {0.3};
    loadpipedata(w, 1, t);
    steadystate(w, 1, 1.0e5, 300.0, 1.0);
    approxchokepressure(w, 300.0, 0.1, 1.0);
    return w;
}

// The host's own property routines, pipe by pipe with their own ends.
Writer hostpipeseed()
{
    Writer w;
    loadfluid(w, 28.97, 1.4, 1.8e-5, 1.0, 2);
    loadpipedata(w, 3, uniformpipes(3, 500.0, 0.4, 50.0));
    loadwalldata(w, 290.0, 0.0);
    loadinitialconditions(w, 3.0e6, 290.0, 10.0);
    for (int p = 1; p <= 3; ++p) {
        loadbcpipe(w, p, 1, 3.0e6 - 1.0e4 * p, 290.0, 10.0, -1, -1, 0);
        loadbcpipe(w, p, 2, 2.99e6 - 1.0e4 * p, 290.0, 10.0, 0, 0, -1);
    }
    for (int p = 1; p <= 3; ++p) {
        transientpipe(w, p, 0.5);
        steadypipe(w, p, 5.0);
    }
    steadypipes(w, 1.0);
    readresults(w, 3);
    approxchokepressure(w, 290.0, 0.4, 10.0);
    return w;
}

// Save, run on, restore, run again: the save/restore cycle of a host.
Writer saverestoreseed()
{
    Writer w;
    standardsetup(w, 0, 2);
    transientpipes(w, 1.0);
    simplequery(w, opgetfluidparams);
    simplequery(w, opgethyperparams);
    simplequery(w, opgetuhistory);
    simplequery(w, opgetphysparams);
    transientpipes(w, 1.0);
    readresults(w, 2);
    // setfluidparams from the saved copy, unchanged
    w.op(opsetfluidparams);
    w.byte(0);
    w.byte(0);
    w.null(nonull);
    // sethyperparams from the saved copy with its own counts
    w.op(opsethyperparams);
    w.byte(0);
    w.byte(0);
    for (int j = 0; j < 12; ++j) {
        w.real(0.0);
        w.byte(0);
    }
    w.null(nonull);
    // setuhistory from the saved copy with its own counts
    w.op(opsetuhistory);
    w.byte(0);
    w.byte(0);
    for (int j = 0; j < 2; ++j) {
        w.real(0.0);
        w.byte(0);
    }
    w.null(nonull);
    // setphysparams from the saved copy with its own counts
    w.op(opsetphysparams);
    w.byte(1);
    w.byte(0);
    for (int j = 0; j < 106; ++j) {
        w.integer(0); // a pick, read as an integer or a real per item; unused
        w.byte(0);
    }
    w.null(nonull);
    transientpipes(w, 1.0);
    readresults(w, 2);
    // The harness's own round trip as well.
    w.op(opsavestate);
    transientpipes(w, 0.5);
    w.op(oprestorestate);
    transientpipes(w, 0.5);
    readresults(w, 2);
    return w;
}

// Host property routines that fail in every way, between good steps.
Writer hostfaultseed()
{
    Writer w;
    standardsetup(w, 2, 1);
    transientpipes(w, 0.5);
    const HostBehaviour faults[] = {hostnan,  hostnegative, hostunwritten, hostinfinite,
                                    hostzero, hostpartial,  hostalternate, hosthuge};
    for (HostBehaviour b : faults) {
        sethostbehaviour(w, b);
        transientpipes(w, 0.2);
        getprofile(w, 6, 1);
        getbcvalue(w, 5, 1);
        simplequery(w, opgeterrorcode);
        sethostbehaviour(w, hostgood);
        transientpipes(w, 0.2);
    }
    sethostbehaviour(w, hostnan);
    loadinitialconditions(w, 1.0e6, 300.0, 5.0);
    steadystate(w, 1, 1.0e6, 300.0, 5.0);
    approxchokepressure(w, 300.0, 0.5, 5.0);
    sethostbehaviour(w, hostunwritten);
    steadypipes(w, 0.5);
    steadypipe(w, 1, 0.5);
    return w;
}

// Everything out of order or out of range: before any load, after a free,
// invalid pipe data, pipe numbers and ends out of range, NULL pointers.
Writer badinputseed()
{
    Writer w;
    // Before any load.
    transientpipes(w, 1.0);
    steadypipes(w, 1.0);
    steadystate(w, 1, 1.0e5, 300.0, 1.0);
    approxchokepressure(w, 300.0, 0.1, 1.0);
    readresults(w, 1);
    simplequery(w, opgetshape);
    simplequery(w, opgetphysparams);
    loadinitialconditions(w, 1.0e5, 300.0, 1.0);
    loadbc(w, 1, 1.0e5, 300.0, 1.0, -1, -1, 0);
    freepipememory(w);
    freepipememory(w);
    // Invalid gases and networks.
    loadfluid(w, 0.0, 1.4, 1.8e-5, 1.0, 0);
    loadfluid(w, 28.97, 1.0, 1.8e-5, 1.0, 0);
    loadfluid(w, 28.97, 1.4, -1.0, 1.0, 0);
    loadfluid(w, 28.97, 1.4, 1.8e-5, 1.0, 2, nonull, 200 + 7);
    loadfluid(w, 28.97, 1.4, 1.8e-5, 1.0, 0, 1);
    Pipes bad = uniformpipes(2, 100.0, 0.5, 10.0);
    bad.length[1] = -1.0;
    loadpipedata(w, 2, bad);
    bad = uniformpipes(1, 1.0e300, 0.5, 1.0e-300);
    loadpipedata(w, 1, bad);
    bad = uniformpipes(1, 100.0, 0.5, 10.0);
    bad.din = {1.0};
    bad.dout = {1.0e-12};
    loadpipedata(w, 1, bad);
    loadpipedata(w, 0, uniformpipes(1, 100.0, 0.5, 10.0));
    loadpipedata(w, -5, uniformpipes(1, 100.0, 0.5, 10.0));
    loadpipedata(w, 1, uniformpipes(1, 100.0, 0.5, 10.0), 3);
    // A good network, then everything out of range.
    airsetup(w, uniformpipes(2, 100.0, 0.5, 10.0), 2, 1.0e6, 300.0, 2.0);
    for (int pipe : {0, -1, 3, 2147483647, -2147483647 - 1}) {
        getnumberofcells(w, pipe);
        getprofile(w, 1, pipe);
        transientpipe(w, pipe, 0.1);
        steadypipe(w, pipe, 0.1);
        loadbcpipe(w, pipe, 1, 1.0e6, 300.0, 2.0, -1, -1, 0);
    }
    for (int end : {0, 3, -1})
        getbcvalue(w, 5, end);
    loadbc(w, 3, 1.0e6, 300.0, 2.0, -1, -1, 0);
    maxtimestep(w, 0.0);
    maxtimestep(w, -1.0);
    w.op(opmaxtimestep);
    w.tableentry(4); // NaN
    w.null(nonull);
    transientpipes(w, -1.0);
    transientpipes(w, 0.0);
    steadypipes(w, -1.0);
    for (int mode : {0, 7, -1})
        steadystate(w, mode, 1.0e6, 300.0, 2.0);
    steadystate(w, 1, 1.0e6, 300.0, 2.0, 0);
    approxchokepressure(w, 300.0, 0.5, 0.0);
    approxchokepressure(w, 300.0, 0.5, -1.0);
    approxchokepressure(w, -300.0, 0.5, 1.0);
    transientpipes(w, 0.1, 0);
    readresults(w, 2);
    // setuhistory and setphysparams with counts beyond the allocation.
    w.op(opsetuhistory);
    w.integer(3);
    w.integer(1000);
    for (int j = 0; j < 2; ++j) {
        w.real(1.0);
        w.byte(0);
    }
    w.null(nonull);
    w.op(opsethyperparams);
    w.integer(3);
    w.integer(2147483647);
    w.integer(5);
    for (int j = 0; j < 4; ++j)
        w.integer(0);
    w.real(0.0);
    for (int j = 0; j < 12; j += 3) {
        w.real(1.0);
        w.byte(0);
    }
    w.null(nonull);
    // After a free.
    freepipememory(w);
    readresults(w, 2);
    transientpipes(w, 0.1);
    simplequery(w, opgethyperparams);
    simplequery(w, opgetuhistory);
    simplequery(w, opgetphysparams);
    loadwalldata(w, 300.0, 1.0);
    return w;
}

// Repeated loads of different sizes, a settling march and a time-step limit.
Writer reloadseed()
{
    Writer w;
    standardsetup(w, 1, 3);
    steadypipes(w, 2.0);
    simplequery(w, opgetphysparams);
    standardsetup(w, 0, 1);
    // Write back the three-pipe state into the one-pipe network: refused.
    w.op(opsetphysparams);
    w.byte(1);
    w.byte(0);
    for (int j = 0; j < 106; ++j) {
        w.integer(0);
        w.byte(0);
    }
    w.null(nonull);
    maxtimestep(w, 0.01);
    transientpipes(w, 0.1);
    Pipes p = uniformpipes(4, 50.0, 0.2, 5.0);
    p.slope = {1.5707963267948966, -0.5, 0.0, 0.1};
    loadpipedata(w, 4, p);
    loadinitialconditions(w, 2.0e5, 280.0, 0.0);
    loadbc(w, 1, 2.0e5, 280.0, 0.0, -1, -1, 0);
    loadbc(w, 2, 2.0e5, 280.0, 0.0, -1, 0, 0);
    steadypipes(w, 1.0);
    steadypipe(w, 2, 10.0);
    readresults(w, 4);
    return w;
}

// A march that could only end at its sub-step budget: a non-physical state
// written back through the exchange into a 3-cell pipe (a time-step limit
// of 1e-300 s, one cell at -1e300 Pa), then each driver over 0.05 s. Each
// must stop with code 3 at once, not after 1e8 sub-steps of 1e-300 s.
Writer budgetseed()
{
    Writer w;
    airsetup(w, uniformpipes(1, 30.0, 0.5, 10.0), 1, 5.0e6, 288.15, 20.0);
    simplequery(w, opgetphysparams);
    w.op(opsetphysparams);
    w.byte(1); // from the saved copy
    w.byte(0); // with its counts
    constexpr int maximumtimestepitem = 10, pressureitem = 59;
    for (int j = 0; j < 106; ++j) {
        w.integer(0); // the fill value, unused: the saved copy covers the item
        const bool changed = j == maximumtimestepitem || j == pressureitem;
        w.byte(changed ? 1 : 0); // number of single values changed
        if (changed) {
            w.byte(j == pressureitem ? 1 : 0); // the element
            w.real(j == pressureitem ? -1e300 : 1e-300);
        }
    }
    w.null(nonull);
    steadypipes(w, 0.05);
    transientpipes(w, 0.05);
    transientpipe(w, 1, 0.05);
    steadypipe(w, 1, 0.05);
    readresults(w, 1);
    return w;
}

void writeseed(const std::string& directory, const char* name, const Writer& w)
{
    const std::string path = directory + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(w.bytes.data()),
              static_cast<std::streamsize>(w.bytes.size()));
    std::printf("%s: %zu bytes\n", path.c_str(), w.bytes.size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus DIRECTORY\n");
        return 2;
    }
    const std::string dir = argv[1];
    writeseed(dir, "transient", transientseed());
    writeseed(dir, "steady", steadyseed());
    writeseed(dir, "hostpipes", hostpipeseed());
    writeseed(dir, "saverestore", saverestoreseed());
    writeseed(dir, "hostfaults", hostfaultseed());
    writeseed(dir, "badinput", badinputseed());
    writeseed(dir, "reload", reloadseed());
    writeseed(dir, "budget", budgetseed());
    return 0;
}
