/*
 * host.c -- a minimal process-simulation host for cross-platform checks.
 *
 * It loads the engine at run time, the way a Windows host loads pelmora.dll
 * (LoadLibrary/GetProcAddress) or a Linux host libpelmora.so (dlopen/dlsym),
 * runs a short transient of a two-pipe line and prints every result with
 * 17 significant digits. Built once with MinGW (run under Wine against the
 * DLL) and once natively (against the shared library), the two outputs must
 * agree: that shows the Windows build computes what the Linux build does,
 * through the same C entry points and the same host property routines.
 *
 *   usage: host <path to pelmora.dll or libpelmora.so>
 *
 * Output: one result per line, "<quantity> <pipe or end> <cell> <value>".
 * Exit status: 0 done; 1 the library did not load; 2 it lacks an entry
 * point the run needs (named on stderr).
 *
 * The run:
 *   1. Ideal gas (natural gas: 18 kg/kmol, gamma 1.3).
 *   2. Two pipes, 1000 m at 0.5 m and 800 m tapering from 0.5 to 0.4 m
 *      rising at 0.01 rad, 50 m cells, a warm gas in a cooler ground.
 *   3. Start uniform at 50 bar, 300 K, 20 kg/s.
 *   4. Inlet: pressure and temperature held. Outlet: mass flow, raised from
 *      20 to 40 kg/s over the first five host steps of 1 s, then held.
 *   5. After ten steps print the profiles and the two network-end states.
 *   6. Switch to host property routines that describe the same ideal gas in
 *      the host's units (kPa, degrees Celsius, kJ/kg, cP), run five more
 *      steps and print again, with the number of routine calls.
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "pelmora.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

/* ------------------------------------------------------------------------
 * Loading the library
 * ------------------------------------------------------------------------ */

/* A function pointer of no particular type, converted to the entry point's
 * own type (taken from pelmora.h with __typeof__) where it is stored. */
typedef void (*anyfunction)(void);

static void* open_library(const char* path)
{
#ifdef _WIN32
    return (void*)LoadLibraryA(path);
#else
    return dlopen(path, RTLD_NOW | RTLD_LOCAL);
#endif
}

static anyfunction find_entry(void* library, const char* name, int* missing)
{
    anyfunction entry;
#ifdef _WIN32
    entry = (anyfunction)GetProcAddress((HMODULE)library, name);
#else
    /* POSIX hands back a data pointer; copy its bits into the function
     * pointer, the conversion dlsym's own documentation prescribes. */
    void* address = dlsym(library, name);
    *(void**)(&entry) = address;
#endif
    if (entry == NULL) {
        fprintf(stderr, "host: the library lacks the entry point %s\n", name);
        *missing = 1;
    }
    return entry;
}

/* The entry points the run uses. */
struct engine {
    __typeof__(&loadfluid) loadfluid;
    __typeof__(&loadpipedata) loadpipedata;
    __typeof__(&loadwalldata) loadwalldata;
    __typeof__(&loadinitialconditions) loadinitialconditions;
    __typeof__(&loadbc) loadbc;
    __typeof__(&transientpipes) transientpipes;
    __typeof__(&getnumberofcells) getnumberofcells;
    __typeof__(&getpressure) getpressure;
    __typeof__(&gettemperature) gettemperature;
    __typeof__(&getmassflowrate) getmassflowrate;
    __typeof__(&getbcpressure) getbcpressure;
    __typeof__(&getbctemperature) getbctemperature;
    __typeof__(&getbcmassflowrate) getbcmassflowrate;
    __typeof__(&geterrorcode) geterrorcode;
};

/* Resolves every entry point by name; returns 0 when one is missing. */
static int find_engine(void* library, struct engine* e)
{
    int missing = 0;
    e->loadfluid = (__typeof__(&loadfluid))find_entry(library, "loadfluid", &missing);
    e->loadpipedata = (__typeof__(&loadpipedata))find_entry(library, "loadpipedata", &missing);
    e->loadwalldata = (__typeof__(&loadwalldata))find_entry(library, "loadwalldata", &missing);
    e->loadinitialconditions =
        (__typeof__(&loadinitialconditions))find_entry(library, "loadinitialconditions", &missing);
    e->loadbc = (__typeof__(&loadbc))find_entry(library, "loadbc", &missing);
    e->transientpipes =
        (__typeof__(&transientpipes))find_entry(library, "transientpipes", &missing);
    e->getnumberofcells =
        (__typeof__(&getnumberofcells))find_entry(library, "getnumberofcells", &missing);
    e->getpressure = (__typeof__(&getpressure))find_entry(library, "getpressure", &missing);
    e->gettemperature =
        (__typeof__(&gettemperature))find_entry(library, "gettemperature", &missing);
    e->getmassflowrate =
        (__typeof__(&getmassflowrate))find_entry(library, "getmassflowrate", &missing);
    e->getbcpressure = (__typeof__(&getbcpressure))find_entry(library, "getbcpressure", &missing);
    e->getbctemperature =
        (__typeof__(&getbctemperature))find_entry(library, "getbctemperature", &missing);
    e->getbcmassflowrate =
        (__typeof__(&getbcmassflowrate))find_entry(library, "getbcmassflowrate", &missing);
    e->geterrorcode = (__typeof__(&geterrorcode))find_entry(library, "geterrorcode", &missing);
    return !missing;
}

/* ------------------------------------------------------------------------
 * The host's own gas: an ideal gas in the host's units
 * ------------------------------------------------------------------------ */

struct hostgas {
    double gasconstant; /* J/(kg K) */
    double cv, cp;      /* J/(kg K) */
    double viscosity;   /* Pa s */
    long calls;         /* routine calls, a check that the context comes back */
};

static const double celsius_zero = 273.15;

/* pt: given pressure kPa and temperature degC; fills density, internal
 * energy kJ/kg, enthalpy kJ/kg, viscosity cP, sound speed m/s. */
static void gas_pt(void* context, double p_kpa, double t_celsius, double* density, double* energy,
                   double* enthalpy, double* viscosity, double* soundspeed)
{
    struct hostgas* gas = context;
    double kelvin = t_celsius + celsius_zero;
    gas->calls++;
    *density = p_kpa * 1000.0 / (gas->gasconstant * kelvin);
    *energy = gas->cv * kelvin / 1000.0;
    *enthalpy = gas->cp * kelvin / 1000.0;
    *viscosity = gas->viscosity * 1000.0;
    *soundspeed = sqrt(gas->cp / gas->cv * gas->gasconstant * kelvin);
}

/* rhoe: given density kg/m3 and internal energy kJ/kg; fills pressure kPa,
 * temperature degC, enthalpy kJ/kg, viscosity cP, sound speed m/s. */
static void gas_rhoe(void* context, double density, double e_kj, double* pressure,
                     double* temperature, double* enthalpy, double* viscosity, double* soundspeed)
{
    struct hostgas* gas = context;
    double kelvin = e_kj * 1000.0 / gas->cv;
    gas->calls++;
    *pressure = density * gas->gasconstant * kelvin / 1000.0;
    *temperature = kelvin - celsius_zero;
    *enthalpy = gas->cp * kelvin / 1000.0;
    *viscosity = gas->viscosity * 1000.0;
    *soundspeed = sqrt(gas->cp / gas->cv * gas->gasconstant * kelvin);
}

/* ph: given pressure kPa and enthalpy kJ/kg; fills density kg/m3,
 * temperature degC, internal energy kJ/kg, viscosity cP, sound speed m/s. */
static void gas_ph(void* context, double p_kpa, double h_kj, double* density, double* temperature,
                   double* energy, double* viscosity, double* soundspeed)
{
    struct hostgas* gas = context;
    double kelvin = h_kj * 1000.0 / gas->cp;
    gas->calls++;
    *density = p_kpa * 1000.0 / (gas->gasconstant * kelvin);
    *temperature = kelvin - celsius_zero;
    *energy = gas->cv * kelvin / 1000.0;
    *viscosity = gas->viscosity * 1000.0;
    *soundspeed = sqrt(gas->cp / gas->cv * gas->gasconstant * kelvin);
}

/* ------------------------------------------------------------------------
 * The run
 * ------------------------------------------------------------------------ */

enum { numberofpipes = 2, maximumcells = 1000 };

static const double molweight = 18.0; /* kg/kmol */
static const double ratioofheats = 1.3;
static const double gasviscosity = 1.1e-5; /* Pa s */
static const double compressibility = 1.0;
static const double inletpressure = 5.0e6;    /* Pa */
static const double inlettemperature = 300.0; /* K */

static void print_profile(const char* quantity, int32_t pipe, int32_t cells, const double* values)
{
    for (int32_t i = 0; i < cells; i++)
        printf("%s %d %d %.17g\n", quantity, (int)pipe, (int)(i + 1), values[i]);
}

/* Every profile of both pipes, both network-end states and the error code. */
static int print_results(const struct engine* e, const char* stage)
{
    static double values[maximumcells];
    printf("stage %s\n", stage);
    for (int32_t pipe = 1; pipe <= numberofpipes; pipe++) {
        int32_t cells = 0;
        e->getnumberofcells(pipe, &cells);
        if (cells < 1 || cells > maximumcells) {
            fprintf(stderr, "host: pipe %d reports %d cells\n", (int)pipe, (int)cells);
            return 0;
        }
        e->getpressure(pipe, values);
        print_profile("pressure", pipe, cells, values);
        e->gettemperature(pipe, values);
        print_profile("temperature", pipe, cells, values);
        e->getmassflowrate(pipe, values);
        print_profile("massflow", pipe, cells, values);
    }
    for (int32_t end = 1; end <= 2; end++) {
        double value = 0.0;
        e->getbcpressure(end, &value);
        printf("bcpressure %d 0 %.17g\n", (int)end, value);
        e->getbctemperature(end, &value);
        printf("bctemperature %d 0 %.17g\n", (int)end, value);
        e->getbcmassflowrate(end, &value);
        printf("bcmassflow %d 0 %.17g\n", (int)end, value);
    }
    int32_t code = -1;
    e->geterrorcode(&code);
    printf("errorcode 0 0 %d\n", (int)code);
    return 1;
}

/* Inlet holds pressure and temperature; outlet imposes the mass flow. */
static void set_boundaries(const struct engine* e, double outletmassflow)
{
    e->loadbc(1, inletpressure, inlettemperature, 0.0, 1, 1, 0);
    e->loadbc(2, 0.0, 0.0, outletmassflow, 0, 0, 1);
}

static int run(const struct engine* e)
{
    /* 1. The gas. */
    const int32_t idealgas = 1;
    e->loadfluid(NULL, NULL, NULL, NULL, &molweight, &ratioofheats, &gasviscosity, &compressibility,
                 &idealgas);

    /* 2. The line and its wall. */
    const int32_t npipes = numberofpipes;
    const double length[numberofpipes] = {1000.0, 800.0};
    const double inletdiameter[numberofpipes] = {0.5, 0.5};
    const double outletdiameter[numberofpipes] = {0.5, 0.4};
    const double inclination[numberofpipes] = {0.0, 0.01};
    const double roughness[numberofpipes] = {4.5e-5, 4.5e-5};
    const double celllength[numberofpipes] = {50.0, 50.0};
    e->loadpipedata(&npipes, length, inletdiameter, outletdiameter, inclination, roughness,
                    celllength);
    const double ambient[numberofpipes] = {283.15, 283.15};
    const double heattransfer[numberofpipes] = {2.0, 2.0};
    e->loadwalldata(ambient, heattransfer);

    /* 3. The starting state. */
    const double p0[numberofpipes] = {inletpressure, inletpressure};
    const double t0[numberofpipes] = {inlettemperature, inlettemperature};
    const double m0[numberofpipes] = {20.0, 20.0};
    e->loadinitialconditions(p0, t0, m0);

    /* 4. Ten host steps of 1 s, the outlet flow raised over the first five. */
    const double dt = 1.0;
    for (int step = 0; step <= 10; step++) {
        double outletflow = step < 5 ? 20.0 + 4.0 * step : 40.0;
        set_boundaries(e, outletflow);
        if (step > 0)
            e->transientpipes(&dt);
    }

    /* 5. The state after ten seconds. */
    if (!print_results(e, "idealgas"))
        return 0;

    /* 6. The same gas through the host's routines, five more steps. */
    struct hostgas gas;
    gas.gasconstant = compressibility * 8314.3 / molweight;
    gas.cv = gas.gasconstant / (ratioofheats - 1.0);
    gas.cp = ratioofheats * gas.cv;
    gas.viscosity = gasviscosity;
    gas.calls = 0;
    const int32_t hostmodel = 2;
    e->loadfluid(&gas, gas_pt, gas_rhoe, gas_ph, &molweight, &ratioofheats, &gasviscosity,
                 &compressibility, &hostmodel);
    for (int step = 0; step < 5; step++) {
        set_boundaries(e, 40.0);
        e->transientpipes(&dt);
    }
    if (!print_results(e, "hostgas"))
        return 0;
    printf("hostroutinecalls 0 0 %ld\n", gas.calls);
    return 1;
}

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: host <path to pelmora.dll or libpelmora.so>\n");
        return 1;
    }
    void* library = open_library(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "host: cannot load %s\n", argv[1]);
        return 1;
    }
    struct engine e;
    if (!find_engine(library, &e))
        return 2;
    return run(&e) ? 0 : 1;
}
