/*
 * The C side of python/bench/bench_day.py: a host that drives the engine
 * through a day of outlet demand with the fewest calls a host can make (per
 * host step: loadbc at both ends, transientpipes, geterrorcode), and the
 * three property routines of an ideal gas, for comparison with the same
 * routines written in Python.
 *
 *   host_day LIBRARY LENGTH DIAMETER CELLLENGTH HOURS DT
 *
 * prints the processor time (s) of the host steps and the outlet pressure at
 * the end (all digits, so the Python side can check it made the same run).
 * Built as a program and, for its routines, as a shared library.
 */
#define _POSIX_C_SOURCE 199309L
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

#include "pelmora.h"

/* The ideal gas of the benchmark, in host units (kPa, degC, kJ/kg, cP). */
#define MOLWEIGHT 18.0
#define GAMMA 1.3
#define Z 0.9
#define VISCOSITY 1.1e-5
#define R (8314.3 / MOLWEIGHT * Z) /* J/(kg K) */
#define CV (R / (GAMMA - 1.0))

void idealpt(void* context, double p, double t, double* rho, double* e, double* h, double* mu,
             double* c)
{
    (void)context;
    (void)c;
    *rho = p * 1000.0 / (R * (t + 273.15));
    *e = CV * (t + 273.15) / 1000.0;
    *h = GAMMA * *e;
    *mu = VISCOSITY * 1000.0;
}

void idealrhoe(void* context, double rho, double e, double* p, double* t, double* h, double* mu,
               double* c)
{
    (void)context;
    (void)c;
    *p = (GAMMA - 1.0) * rho * e;
    *t = e * 1000.0 / CV - 273.15;
    *h = GAMMA * e;
    *mu = VISCOSITY * 1000.0;
}

void idealph(void* context, double p, double h, double* rho, double* t, double* e, double* mu,
             double* c)
{
    (void)context;
    (void)c;
    *t = h * 1000.0 / (GAMMA * CV) - 273.15;
    *rho = p * 1000.0 / (R * (*t + 273.15));
    *e = h / GAMMA;
    *mu = VISCOSITY * 1000.0;
}

/* The outlet demand over the day, kg/s, linear between the rows. */
static const double demandtime[] = {0,     10800, 18000, 25200, 32400, 43200,
                                    54000, 64800, 72000, 79200, 86400};
static const double demand[] = {60, 45, 40, 75, 85, 65, 55, 80, 85, 65, 60};

static double demandat(double t)
{
    const int n = (int)(sizeof demand / sizeof demand[0]);
    int j = 0;
    while (j < n && demandtime[j] <= t)
        ++j;
    if (j == 0)
        return demand[0];
    if (j == n)
        return demand[n - 1];
    const double f = (t - demandtime[j - 1]) / (demandtime[j] - demandtime[j - 1]);
    return demand[j - 1] + f * (demand[j] - demand[j - 1]);
}

/* The day on a line of `length` m: returns 0 and writes the processor time of
 * the host steps (s) and the outlet pressure at the end, or returns the
 * program's exit status for what went wrong. */
int hostday(const char* path, double length, double diameter, double cell, double hours, double dt,
            double* seconds, double* outlet)
{
    void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "%s\n", dlerror());
        return 2;
    }
    void (*lf)(void*, propertyroutine, propertyroutine, propertyroutine, const double*,
               const double*, const double*, const double*, const int32_t*);
    void (*lpd)(const int32_t*, const double*, const double*, const double*, const double*,
                const double*, const double*);
    void (*lwd)(const double*, const double*);
    void (*ss)(int32_t, double, double, double, int32_t*);
    void (*bc)(int32_t, double, double, double, int32_t, int32_t, int32_t);
    void (*tp)(const double*);
    void (*code)(int32_t*);
    void (*bcp)(int32_t, double*);
    *(void**)&lf = dlsym(library, "loadfluid");
    *(void**)&lpd = dlsym(library, "loadpipedata");
    *(void**)&lwd = dlsym(library, "loadwalldata");
    *(void**)&ss = dlsym(library, "steadystate");
    *(void**)&bc = dlsym(library, "loadbc");
    *(void**)&tp = dlsym(library, "transientpipes");
    *(void**)&code = dlsym(library, "geterrorcode");
    *(void**)&bcp = dlsym(library, "getbcpressure");

    const double molweight = MOLWEIGHT, gamma = GAMMA, viscosity = VISCOSITY, z = Z;
    const int32_t model = 1, npipes = 1;
    lf(NULL, NULL, NULL, NULL, &molweight, &gamma, &viscosity, &z, &model);
    const double incl = 0.0, rough = 2e-5, ambient = 283.15, htc = 2.0;
    lpd(&npipes, &length, &diameter, &diameter, &incl, &rough, &cell);
    lwd(&ambient, &htc);
    int32_t status = -1, c = 0;
    ss(1, 8e6, 288.15, 60.0, &status);
    if (status != 0) {
        fprintf(stderr, "steady state status %d\n", (int)status);
        return 3;
    }
    const double end = hours * 3600.0;
    /* The values at the start begin the first step's ramp. */
    bc(1, 8e6, 288.15, 0.0, 1, 1, 0);
    bc(2, 8e6, 288.15, demandat(0.0), 0, 0, 1);
    struct timespec t0, t1;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t0);
    for (double t = 0; t < end;) {
        const double target = t + dt;
        bc(1, 8e6, 288.15, 0.0, 1, 1, 0);
        bc(2, 8e6, 288.15, demandat(target), 0, 0, 1);
        tp(&dt);
        code(&c);
        if (c == 3) {
            fprintf(stderr, "the engine stopped at t = %g s\n", t);
            return 4;
        }
        t = target;
    }
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t1);
    *seconds = (double)(t1.tv_sec - t0.tv_sec) + 1e-9 * (double)(t1.tv_nsec - t0.tv_nsec);
    bcp(2, outlet);
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 7) {
        fprintf(stderr, "usage: host_day LIBRARY LENGTH DIAMETER CELLLENGTH HOURS DT\n");
        return 1;
    }
    double seconds = 0, outlet = 0;
    const int status = hostday(argv[1], atof(argv[2]), atof(argv[3]), atof(argv[4]), atof(argv[5]),
                               atof(argv[6]), &seconds, &outlet);
    if (status == 0)
        printf("%.9f %.17g\n", seconds, outlet);
    return status;
}
