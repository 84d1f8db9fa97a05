/*
 * The public header as a strict C99 compiler sees it (-std=c99 -pedantic
 * -Wall -Wextra -Werror). Every entry point is assigned to a function
 * pointer of the type a host expects, so a changed argument type, a lost
 * const or a by-value argument turned into an address breaks the build.
 * This file is compiled, not linked: it needs no entry point to exist.
 */
#include "pelmora.h"

/* The host property routine: context, two values by value, five results. */
void (*abi_routine)(void*, double, double, double*, double*, double*, double*,
                    double*) = (propertyroutine)0;

/* N(count, type): the type `count` times, for the long parameter lists of the
 * state exchange. */
#define R1(t) t
#define R2(t) t, t
#define R4(t) R2(t), R2(t)
#define R10(t) R4(t), R4(t), R2(t)
#define R13(t) R10(t), R2(t), R1(t)
#define R11(t) R10(t), R1(t)
#define R7(t) R4(t), R2(t), R1(t)
#define R94(t) R10(t), R10(t), R10(t), R10(t), R10(t), R10(t), R10(t), R10(t), R10(t), R4(t)
#define N(count, type) R##count(type)

void (*abi_loadfluid)(void*, propertyroutine, propertyroutine, propertyroutine, const double*,
                      const double*, const double*, const double*, const int32_t*) = loadfluid;
void (*abi_loadpipedata)(const int32_t*, const double*, const double*, const double*, const double*,
                         const double*, const double*) = loadpipedata;
void (*abi_loadbc)(int32_t, double, double, double, int32_t, int32_t, int32_t) = loadbc;
void (*abi_loadbcpipe)(int32_t, int32_t, double, double, double, int32_t, int32_t,
                       int32_t) = loadbcpipe;
void (*abi_loadwalldata)(const double*, const double*) = loadwalldata;
void (*abi_maxtimestep)(const double*) = maxtimestep;
void (*abi_loadinitialconditions)(const double*, const double*,
                                  const double*) = loadinitialconditions;
void (*abi_freepipememory)(void) = freepipememory;
void (*abi_transientpipes)(const double*) = transientpipes;
void (*abi_transientpipe)(const int32_t*, const double*) = transientpipe;
void (*abi_steadypipes)(const double*, double*) = steadypipes;
void (*abi_steadypipe)(const int32_t*, const double*, double*) = steadypipe;
void (*abi_steadystate)(int32_t, double, double, double, int32_t*) = steadystate;
void (*abi_approxchokepressure)(double, double, double, double*) = approxchokepressure;
void (*abi_gettotalnumberofcells)(int32_t*) = gettotalnumberofcells;
void (*abi_getshape)(int32_t*, int32_t*, int32_t*, int32_t*) = getshape;
void (*abi_getnumberofcells)(int32_t, int32_t*) = getnumberofcells;
void (*abi_getdiameter)(int32_t, double*) = getdiameter;
void (*abi_getdensity)(int32_t, double*) = getdensity;
void (*abi_getenthalpy)(int32_t, double*) = getenthalpy;
void (*abi_getinternalenergy)(int32_t, double*) = getinternalenergy;
void (*abi_getmachnumber)(int32_t, double*) = getmachnumber;
void (*abi_getmassflowrate)(int32_t, double*) = getmassflowrate;
void (*abi_getpressure)(int32_t, double*) = getpressure;
void (*abi_getsoundspeed)(int32_t, double*) = getsoundspeed;
void (*abi_gettemperature)(int32_t, double*) = gettemperature;
void (*abi_getvelocity)(int32_t, double*) = getvelocity;
void (*abi_getbcdensity)(int32_t, double*) = getbcdensity;
void (*abi_getbcenthalpy)(int32_t, double*) = getbcenthalpy;
void (*abi_getbcinternalenergy)(int32_t, double*) = getbcinternalenergy;
void (*abi_getbcmachnumber)(int32_t, double*) = getbcmachnumber;
void (*abi_getbcmassflowrate)(int32_t, double*) = getbcmassflowrate;
void (*abi_getbcpressure)(int32_t, double*) = getbcpressure;
void (*abi_getbcsoundspeed)(int32_t, double*) = getbcsoundspeed;
void (*abi_getbctemperature)(int32_t, double*) = getbctemperature;
void (*abi_getbcvelocity)(int32_t, double*) = getbcvelocity;
void (*abi_geterrorcode)(int32_t*) = geterrorcode;
void (*abi_getfluidparams)(N(11, double*), int32_t*, double*, double*) = getfluidparams;
void (*abi_setfluidparams)(N(11, const double*), const int32_t*, const double*,
                           const double*) = setfluidparams;
void (*abi_gethyperparams)(N(7, int32_t*), N(13, double*)) = gethyperparams;
void (*abi_sethyperparams)(N(7, const int32_t*), N(13, const double*)) = sethyperparams;
void (*abi_getuhistory)(double*, double*) = getuhistory;
void (*abi_setuhistory)(const int32_t*, const int32_t*, const double*, const double*) = setuhistory;
void (*abi_getphysparams)(N(10, int32_t*), N(94, double*), N(2, int32_t*)) = getphysparams;
void (*abi_setphysparams)(N(13, const int32_t*), N(94, const double*),
                          N(2, const int32_t*)) = setphysparams;
