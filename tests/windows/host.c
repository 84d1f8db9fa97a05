/*
 * A minimal process-simulation host: it loads the engine at run time, the way
 * a Windows host loads pelmora.dll (LoadLibrary/GetProcAddress) or a Linux
 * host libpelmora.so (dlopen/dlsym), runs a short transient of a two-pipe
 * line and prints every result as "<quantity> <pipe or end> <cell> <value>"
 * with 17 digits. scripts/checks.d/50-windows.sh runs it under Wine against
 * the DLL and natively against the shared library and compares the outputs;
 * ctest runs it natively.
 *
 *   usage: host <path to pelmora.dll or libpelmora.so>
 *
 * Exit status: 0 done; 1 the library did not load, a refused call did not
 * say so, the run reported an error or the host routines were not called;
 * 2 an entry point is missing (named on stderr).
 *
 * The run: an ideal gas (18 kg/kmol, gamma 1.3); 1000 m at 0.5 m, then
 * 800 m tapering to 0.4 m rising at 0.01 rad, 50 m cells, a warm gas in
 * cooler ground; uniform start at 50 bar, 300 K, 20 kg/s; inlet pressure and
 * temperature held, outlet flow raised from 20 to 40 kg/s over five 1 s
 * steps; after ten steps the profiles and end states are printed. Then the
 * same gas through host routines in the host's units (kPa, degC, kJ/kg, cP),
 * five more steps and the results again.
 */
#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include "pelmora.h"

#ifdef _WIN32
#  include <windows.h>
#else
#  include <dlfcn.h>
#endif

/* clang-format off */
#define ENTRIES(X)                                                                                \
    X(loadfluid) X(loadpipedata) X(loadwalldata) X(loadinitialconditions) X(loadbc)               \
    X(transientpipes) X(getnumberofcells) X(getpressure) X(gettemperature) X(getmassflowrate)     \
    X(getbcpressure) X(getbctemperature) X(getbcmassflowrate) X(geterrorcode)
/* clang-format on */

#define FIELD(name) __typeof__(&name) name;
static struct {
    ENTRIES(FIELD)
} e;

/* Resolves every entry point by name; returns 0 when one is missing. */
static int find_engine(const char* path)
{
    int missing = 0;
    typedef void (*anyfunction)(void);
    anyfunction entry;
#ifdef _WIN32
    HMODULE library = LoadLibraryA(path);
#  define LOOKUP(name) entry = (anyfunction)GetProcAddress(library, #  name);
#else
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    /* dlsym hands back a data pointer: copy its bits, as POSIX prescribes. */
#  define LOOKUP(name) *(void**)(&entry) = dlsym(library, #  name);
#endif
    if (library == NULL) {
        fprintf(stderr, "host: cannot load %s\n", path);
        return 1;
    }
#define FIND(name)                                                                                 \
  LOOKUP(name)                                                                                     \
  if (entry == NULL) {                                                                             \
    fprintf(stderr, "host: the library lacks the entry point %s\n", #name);                        \
    missing = 2;                                                                                   \
  }                                                                                                \
  e.name = (__typeof__(&name))entry;
    ENTRIES(FIND)
    return missing;
}

/* An ideal gas in the host's units; counts its calls, which also shows that
 * the context comes back. */
struct hostgas {
    double r, cv, cp, viscosity; /* J/(kg K), Pa s */
    long calls;
};

/* What every routine returns besides its pair: enthalpy kJ/kg, cP, m/s. */
static void common(struct hostgas* g, double kelvin, double* h, double* mu, double* c)
{
    g->calls++;
    *h = g->cp * kelvin / 1000.0;
    *mu = g->viscosity * 1000.0;
    *c = sqrt(g->cp / g->cv * g->r * kelvin);
}

/* pt: kPa, degC -> density, energy kJ/kg, enthalpy, viscosity, sound speed. */
static void gas_pt(void* context, double p, double t, double* rho, double* e_kj, double* h,
                   double* mu, double* c)
{
    struct hostgas* g = context;
    common(g, t + 273.15, h, mu, c);
    *rho = p * 1000.0 / (g->r * (t + 273.15));
    *e_kj = g->cv * (t + 273.15) / 1000.0;
}

/* rhoe: kg/m3, kJ/kg -> pressure kPa, degC, enthalpy, viscosity, sound speed. */
static void gas_rhoe(void* context, double rho, double e_kj, double* p, double* t, double* h,
                     double* mu, double* c)
{
    struct hostgas* g = context;
    double kelvin = e_kj * 1000.0 / g->cv;
    common(g, kelvin, h, mu, c);
    *p = rho * g->r * kelvin / 1000.0;
    *t = kelvin - 273.15;
}

/* ph: kPa, kJ/kg -> density, degC, energy kJ/kg, viscosity, sound speed. */
static void gas_ph(void* context, double p, double h_kj, double* rho, double* t, double* e_kj,
                   double* mu, double* c)
{
    struct hostgas* g = context;
    double kelvin = h_kj * 1000.0 / g->cp, h;
    common(g, kelvin, &h, mu, c);
    *rho = p * 1000.0 / (g->r * kelvin);
    *t = kelvin - 273.15;
    *e_kj = g->cv * kelvin / 1000.0;
}

/* Every profile of both pipes, both end states and the error code; returns
 * the error code. */
static int32_t print_results(const char* stage)
{
    static double values[1000];
    void (*profiles[3])(int32_t, double*) = {e.getpressure, e.gettemperature, e.getmassflowrate};
    void (*ends[3])(int32_t, double*) = {e.getbcpressure, e.getbctemperature, e.getbcmassflowrate};
    const char* names[3] = {"pressure", "temperature", "massflow"};
    int32_t pipe, i, k, cells, code = -1;
    printf("stage %s\n", stage);
    for (pipe = 1; pipe <= 2; pipe++) {
        e.getnumberofcells(pipe, &cells);
        for (k = 0; k < 3 && cells > 0 && cells <= 1000; k++) {
            profiles[k](pipe, values);
            for (i = 0; i < cells; i++)
                printf("%s %d %d %.17g\n", names[k], (int)pipe, (int)(i + 1), values[i]);
        }
    }
    for (pipe = 1; pipe <= 2; pipe++)
        for (k = 0; k < 3; k++) {
            ends[k](pipe, values);
            printf("bc%s %d 0 %.17g\n", names[k], (int)pipe, values[0]);
        }
    e.geterrorcode(&code);
    printf("errorcode 0 0 %d\n", (int)code);
    return code;
}

int main(int argc, char** argv)
{
    const double molweight = 18.0, gamma = 1.3, viscosity = 1.1e-5, z = 1.0, dt = 1.0;
    const double length[2] = {1000.0, 800.0}, din[2] = {0.5, 0.5}, dout[2] = {0.5, 0.4};
    const double incline[2] = {0.0, 0.01}, rough[2] = {4.5e-5, 4.5e-5}, cell[2] = {50.0, 50.0};
    const double ambient[2] = {283.15, 283.15}, wall[2] = {2.0, 2.0}, bad = -1.0;
    const double p0[2] = {5.0e6, 5.0e6}, t0[2] = {300.0, 300.0}, m0[2] = {20.0, 20.0};
    const int32_t ideal = 1, host = 2, npipes = 2, one = 1;
    struct hostgas gas = {8314.3 / 18.0, 0.0, 0.0, 1.1e-5, 0};
    int32_t code = -1;
    int status = 1, step;
    if (argc != 2)
        return fprintf(stderr, "usage: host <path to pelmora.dll or libpelmora.so>\n") > 0;
    gas.cv = gas.r / (gamma - 1.0);
    gas.cp = gamma * gas.cv;
    if ((status = find_engine(argv[1])) != 0)
        return status;
    e.loadfluid(NULL, NULL, NULL, NULL, &molweight, &gamma, &viscosity, &z, &ideal);
    e.loadpipedata(&npipes, length, din, dout, incline, rough, cell);
    /* A refused call (a pipe of negative length) leaves the line as it was. */
    e.loadpipedata(&one, &bad, din, dout, incline, rough, cell);
    e.geterrorcode(&code);
    printf("refused 0 0 %d\n", (int)code);
    e.loadwalldata(ambient, wall);
    e.loadinitialconditions(p0, t0, m0);
    /* Ten steps with the built-in gas, then five through the host's routines. */
    for (step = 0; step <= 15; step++) {
        if (step == 11) {
            status = code != 3 || print_results("idealgas") != 0;
            e.loadfluid(&gas, gas_pt, gas_rhoe, gas_ph, &molweight, &gamma, &viscosity, &z, &host);
        }
        e.loadbc(1, p0[0], t0[0], 0.0, 1, 1, 0);
        e.loadbc(2, 0.0, 0.0, step < 5 ? 20.0 + 4.0 * step : 40.0, 0, 0, 1);
        if (step > 0)
            e.transientpipes(&dt);
    }
    status |= print_results("hostgas") != 0;
    printf("hostroutinecalls 0 0 %ld\n", gas.calls);
    return status || gas.calls == 0;
}
