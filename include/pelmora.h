/*
 * pelmora.h -- the C interface of the Pelmora gas pipeline engine.
 *
 * Pelmora computes one-dimensional compressible flow of a single gas through
 * a series of pipes: steady states by face-by-face marching (with bisection
 * on the upstream pressure or the mass flow), transients by an explicit
 * flux-corrected transport scheme, result queries, and save/restore of the
 * whole engine state. This header is the host author's manual.
 *
 * ------------------------------------------------------------------------
 * CONVENTIONS
 * ------------------------------------------------------------------------
 * - 45 entry points, plain C linkage, undecorated lower-case names. None
 *   returns a value: results are written through the caller's pointers.
 * - Integers and logicals are int32_t; reals are IEEE doubles. A logical is
 *   true when its lowest bit is 1 (so 1 and -1 are true, 0 and 2 false); the
 *   engine itself writes -1 for true and 0 for false.
 * - Units are SI throughout: Pa, K, kg/m3, J/kg, Pa s, m/s, kg/s, m, s,
 *   W/(m2 K). Only the host property routines work in kPa, degrees Celsius,
 *   kJ/kg and centipoise; the engine converts on every call.
 * - Everything is numbered from 1. Pipes 1..npipes lie in series, the outlet
 *   of pipe p joined to the inlet of pipe p+1. Cells are numbered across the
 *   whole network 1..ncells; faces 1..ncells+1, face f lying between cells
 *   f-1 and f. End 1 is the inlet (upstream) end, end 2 the outlet
 *   (downstream) end; mass flow is positive from end 1 towards end 2.
 * - Per-pipe arrays have one element per pipe, element [p-1] for pipe p.
 * - "by value" and "by address" below are exact: most arguments are passed
 *   by address; by value are every argument of loadbc and loadbcpipe, the
 *   pipe or end number of the queries, the first three arguments of
 *   approxchokepressure, the leading four of steadystate, and the context and
 *   routine addresses of loadfluid.
 * - One engine per process, no handles. The engine is not thread safe: call
 *   it from one thread at a time, and host property routines must not call
 *   back into it.
 * - The library prints nothing, reads no files and no environment.
 *
 * Call order a host follows:
 *   1. loadfluid
 *   2. loadpipedata (replaces any earlier network)
 *   3. loadwalldata, optionally maxtimestep
 *   4. a starting state: loadinitialconditions or steadystate
 *   5. boundary values: loadbc (network ends) or loadbcpipe (any pipe end)
 *   6. optionally a settling march: steadypipes or steadypipe
 *   7. per host step: loadbc with the values for the end of the step,
 *      transientpipes (or transientpipe per pipe), then the queries and
 *      geterrorcode
 *   8. at any point: the exchange entry points to save and restore state;
 *      freepipememory when done.
 *
 * ------------------------------------------------------------------------
 * ERROR CODES (read and cleared by geterrorcode)
 * ------------------------------------------------------------------------
 * The engine keeps two codes, one for the fluid side and one for the
 * network/solver side. Failures inside a computation never stop it: the
 * engine clamps or substitutes a value, records the code and carries on.
 * enum pelmoracode names them (PELMORA_CODE_NONE ... PELMORA_CODE_UNCONVERGED).
 *
 *   0  nothing to report.
 *   1  (fluid) a fluid state was raised to its floors of 100 Pa, 1 K or
 *      0.01 kg/m3; the computation went on with the clamped state.
 *   2  (network) a Reynolds number exceeded 1e10 and was capped there.
 *   3  (either side, the side of the call) the call was refused or cut short
 *      because of invalid input or state. A refused call changes nothing and
 *      writes nothing; a cut-short driver leaves the store consistent.
 *   4  (network) the steady march accepted a step whose iteration did not
 *      converge within 250 iterations.
 *
 * ------------------------------------------------------------------------
 * BAD INPUT, THE SAME WAY EVERYWHERE
 * ------------------------------------------------------------------------
 * - The engine never crashes, hangs, writes out of bounds or lets a C++
 *   exception escape, whatever it is given.
 * - A pipe number outside 1..npipes, a count larger than what the latest
 *   network load allocated, a required pointer that is NULL, or a call that
 *   needs a loaded network when none is loaded: the call changes nothing,
 *   writes nothing and sets code 3.
 * - An end other than 1 or 2 is ignored without a code (loadbc, loadbcpipe
 *   and the network-end queries).
 * - Calls that evaluate the gas before any successful loadfluid (or a
 *   setfluidparams that stores a usable gas) are refused with code 3:
 *   nothing defines the gas yet.
 * - Every loop in the engine is bounded.
 */
#ifndef PELMORA_H
#define PELMORA_H

#include <stdint.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#  if defined(PELMORA_BUILDING)
#    define PELMORA_API __declspec(dllexport)
#  else
#    define PELMORA_API __declspec(dllimport)
#  endif
#elif defined(PELMORA_BUILDING)
#  define PELMORA_API __attribute__((visibility("default")))
#else
#  define PELMORA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Host property routine. Called with the host context, two given values by
 * value and the addresses of five doubles to fill. See loadfluid for what
 * each of the three routines is given and must fill, and in which units. */
typedef void (*propertyroutine)(void *context, double a, double b, double *r1, double *r2,
                                double *r3, double *r4, double *r5);

/* Named values of the arguments and results below (plain int values; an
 * argument or result keeps its int32_t type). */

/* The two ends of the network or of a pipe (loadbc, loadbcpipe, the
 * network-end queries): mass flow is positive from the inlet to the outlet. */
enum pelmoraend { PELMORA_INLET = 1, PELMORA_OUTLET = 2 };

/* The codes of geterrorcode (see ERROR CODES above). */
enum pelmoracode {
    PELMORA_CODE_NONE = 0,
    PELMORA_CODE_FLOORED = 1,         /* fluid: a state was raised to its floors */
    PELMORA_CODE_REYNOLDS_CAPPED = 2, /* network: a Reynolds number was capped */
    PELMORA_CODE_REFUSED = 3,         /* the call was refused or cut short */
    PELMORA_CODE_UNCONVERGED = 4      /* network: a march step did not converge */
};

/* The modes of steadystate: one march from an end, or a search for the
 * upstream pressure or for the mass flow (forward: from end 1 to end 2). */
enum pelmorasteadymode {
    PELMORA_MARCH_FROM_INLET = 1,
    PELMORA_MARCH_FROM_OUTLET = 2,
    PELMORA_FIND_PRESSURE_FORWARD = 3,
    PELMORA_FIND_PRESSURE_REVERSE = 4,
    PELMORA_FIND_FLOW_FORWARD = 5,
    PELMORA_FIND_FLOW_REVERSE = 6
};

/* The statuses of steadystate. */
enum pelmorasteadystatus {
    PELMORA_STEADY_FOUND = 0,
    PELMORA_STEADY_NOT_UNIFORM = 1,      /* the cell diameters differ */
    PELMORA_STEADY_REFUSED = 2,          /* bad mode or state; nothing changed */
    PELMORA_STEADY_SUPERSONIC_START = 3, /* or a mass-flow sign against the mode */
    PELMORA_STEADY_SUPERSONIC = 4,       /* Mach above 1 inside the duct */
    PELMORA_STEADY_FAILED = 5            /* pressure at or below 0, or no convergence */
};

/* ======================================================================
 * LOADING
 * ====================================================================== */

/* loadfluid -- describe the gas.
 *   context         by value: opaque, handed back as the first argument of
 *                   every property routine; never looked into.
 *   pt, rhoe, ph    by value: the three host routines (used only when
 *                   *model == 2; stored in any case, may be NULL otherwise).
 *       pt   given pressure kPa, temperature degC; fills density kg/m3,
 *            specific internal energy kJ/kg, specific enthalpy kJ/kg,
 *            viscosity cP, sound speed.
 *       rhoe given density kg/m3, specific internal energy kJ/kg; fills
 *            pressure kPa, temperature degC, specific enthalpy kJ/kg,
 *            viscosity cP, sound speed.
 *       ph   given pressure kPa, specific enthalpy kJ/kg; fills density
 *            kg/m3, temperature degC, specific internal energy kJ/kg,
 *            viscosity cP, sound speed.
 *       The sound speed a routine returns is always replaced by the engine's
 *       sqrt(gamma p / rho). A routine that cannot evaluate should still
 *       write finite values; whatever it leaves is validated and floored
 *       (code 1).
 *   molweight       by address: kg/kmol.
 *   gamma           by address: ratio of specific heats cp/cv.
 *   viscosity       by address: Pa s, used by the ideal-gas model.
 *   compressibility by address: compressibility factor Z of the ideal gas.
 *   model           by address: 2 selects the host routines; any other value
 *                   the built-in ideal gas p = Z (8314.3/molweight) rho T.
 * Derives cv = Z 8314.3 / ((gamma - 1) molweight), cp = gamma cv and clears
 * the fluid code. Refused (previous gas kept, fluid code 3) when molweight is
 * not a positive finite number, gamma not a finite number above 1, viscosity
 * negative or not finite, compressibility not a positive finite number, a
 * pointer argument is NULL, or model 2 is chosen with a NULL routine. */
PELMORA_API void loadfluid(void *context, propertyroutine pt, propertyroutine rhoe,
                           propertyroutine ph, const double *molweight, const double *gamma,
                           const double *viscosity, const double *compressibility,
                           const int32_t *model);

/* loadpipedata -- create the network, replacing any earlier one.
 * All by address: *npipes, then six arrays of npipes doubles: length m,
 * inlet diameter m, outlet diameter m, inclination rad (positive uphill in
 * the flow direction), absolute roughness m, target cell length m.
 * Each pipe gets round(L / s) cells, more where the diameter tapers quickly
 * (the diameter may change by at most half the smaller end diameter over one
 * cell), and never fewer than 3. Resets the network error code and the time
 * step limit; boundary values, wall data and cell states are unset until
 * loaded. *npipes < 1 gives the empty network.
 * Refused (previous network kept exactly, code 3) when a length, diameter or
 * target cell length is not a positive finite number, a roughness negative
 * or not finite, an inclination not finite, a pointer NULL, or the cell
 * count does not fit 32-bit numbering or memory. */
PELMORA_API void loadpipedata(const int32_t *npipes, const double *length,
                              const double *inletdiameter, const double *outletdiameter,
                              const double *inclination, const double *roughness,
                              const double *celllength);

/* loadbc -- boundary values at a network end. All arguments by value.
 *   end      1 = inlet of pipe 1, 2 = outlet of the last pipe; any other
 *            value: nothing happens, no code.
 *   p, T, m  Pa, K, kg/s (mass flow positive from end 1 to end 2).
 *   pfixed, tfixed, mfixed  logicals: true imposes that quantity at the end,
 *            false lets it follow from the cells next to the end. A pressure
 *            is applied only while the flow at that end is subsonic; a
 *            temperature only where gas enters.
 * The values in force before the call become the previous values, across
 * which the next transient step ramps. The first loadbc for an end since the
 * library was loaded or a starting state was set takes the values as both
 * previous and current, so the first step sees no ramp.
 * What to pass for a quantity that is not fixed: its current value at that
 * end (getbcpressure, getbctemperature, getbcmassflowrate after the last
 * step; the starting state before the first), never 0 or a placeholder. The
 * engine ignores it while the flag is false, but it is stored as the latest
 * value, and the call that later fixes that quantity ramps from it across
 * its step: a switch from flow to pressure control ramps the end pressure
 * from the value passed before, so a 0 there drags the end cells to the
 * pressure floor and the step is cut short.
 * Refused (code 3, nothing stored) with no loaded network or one without
 * pipes, or when p, T or m is not a finite number (NaN, +-infinity),
 * whether or not that quantity is fixed. */
PELMORA_API void loadbc(int32_t end, double p, double T, double m, int32_t pfixed, int32_t tfixed,
                        int32_t mfixed);

/* loadbcpipe -- boundary values at either end of any pipe. All by value.
 * As loadbc, for pipe 1..npipes, except that the previous values always
 * become the ones before the call (no first-call rule) and the engine-wide
 * carried-over network values are not touched. Used with transientpipe and
 * steadypipe. Pass the current values for quantities that are not fixed, as
 * for loadbc (at an internal joint: the state of the neighbouring cell).
 * Refused (code 3, nothing stored) for a pipe out of range, no network, or
 * p, T or m not a finite number. */
PELMORA_API void loadbcpipe(int32_t pipe, int32_t end, double p, double T, double m, int32_t pfixed,
                            int32_t tfixed, int32_t mfixed);

/* loadwalldata -- wall of each pipe. By address: two arrays of npipes
 * doubles: ambient temperature K, overall heat-transfer coefficient
 * W/(m2 K) (0 makes the wall adiabatic). Every cell of pipe p gets element
 * [p-1] of each. Refused (code 3) with no network or a NULL pointer. */
PELMORA_API void loadwalldata(const double *ambienttemperature,
                              const double *heattransfercoefficient);

/* maxtimestep -- upper limit on the drivers' sub-step, s, by address. Every
 * loadpipedata resets the limit to the largest finite double. A value that is
 * not a positive number (0, negative, NaN) or a NULL address keeps the old
 * limit and sets code 3; +infinity is accepted and means no limit. */
PELMORA_API void maxtimestep(const double *dt);

/* loadinitialconditions -- uniform starting state per pipe. By address:
 * three arrays of npipes doubles: pressure Pa, temperature K, mass flow kg/s.
 * Fills every cell state, both levels of conserved variables, the boundary
 * store of every pipe (applied, latest and previous values) and clears both
 * "loaded" flags of loadbc. Refused (code 3, nothing changed) with no network,
 * no gas, a NULL pointer, or any pressure or temperature that is not a
 * positive finite number or mass flow that is not finite. */
PELMORA_API void loadinitialconditions(const double *p, const double *T, const double *m);

/* freepipememory -- release the network. Counts (getshape) keep the values
 * of the last load; cell lengths and positions stay readable through
 * gethyperparams. Harmless before any load and when called twice. */
PELMORA_API void freepipememory(void);

/* ======================================================================
 * SOLVING
 * ====================================================================== */

/* transientpipes -- advance the whole network by one host step *dt (s, by
 * address). The step is divided into sub-steps of at most half the
 * stability limit 0.5 dx/(|u|+c), maxtimestep, and dt/2 (so at least two
 * sub-steps); the network-end boundary values are ramped linearly from the
 * previous to the latest loadbc values. *dt <= 0 or NaN: returns at once,
 * nothing changes. Refused (code 3, nothing changed) with *dt = +infinity,
 * no network, no gas, or a network whose layout cannot be stepped (a pipe
 * range restored out of bounds, fewer than three variables). A call stops
 * with code 3, the store consistent at the end of the last whole sub-step,
 * when a sub-step would not be a positive finite number (a state that is
 * not a number), when the stability limit collapses below a billionth of
 * the call's first (a state that has blown up), or after 1e8 sub-steps.
 * That budget is judged ahead: from the second sub-step on (the first
 * refreshes the states left by earlier calls), a call whose rest of the
 * step divided by the sub-step exceeds the sub-steps left stops at once,
 * since it could only end at the budget.
 * A network-end state that is not a usable number sets no end limit. */
PELMORA_API void transientpipes(const double *dt);

/* transientpipe -- advance one pipe (*pipe, by address) on its own, between
 * its own boundary values (loadbcpipe), by *dt s. No half-step cap: a step
 * within the stability limit takes one sub-step. Same refusals as
 * transientpipes, plus a pipe out of range. */
PELMORA_API void transientpipe(const int32_t *pipe, const double *dt);

/* steadypipes -- march the network with the latest boundary values (no ramp)
 * for *tmax s. *elapsed receives the time marched (it may exceed *tmax by
 * the last sub-step). *tmax <= 0 or NaN: *elapsed = 0, nothing else changes.
 * Same refusals and stops as transientpipes (*tmax = +infinity is refused);
 * a refused call leaves *elapsed unwritten. */
PELMORA_API void steadypipes(const double *tmax, double *elapsed);

/* steadypipe -- march pipe *pipe for at most *tmax s, stopping early when it
 * is steady: every cell's relative density and temperature change below
 * 1e-4 and its mass flow within 1e-3 of the first cell's. *elapsed < *tmax
 * on return means converged. Mass flows below 1e-12 of rho c A count as
 * zero, so a pipe at rest converges. The sub-step budget is judged ahead
 * on *tmax as in transientpipes: a march whose rest of *tmax needs more
 * sub-steps than are left stops with code 3, even where the pipe might
 * have settled before the budget ran out. */
PELMORA_API void steadypipe(const int32_t *pipe, const double *tmax, double *elapsed);

/* steadystate -- steady state of the whole network by face-by-face marching
 * through one duct of uniform diameter. mode, a, b, c by value; *status by
 * address, written on every return (enum pelmorasteadymode and
 * pelmorasteadystatus name them).
 *   mode 1 (PELMORA_MARCH_FROM_INLET): a = p at end 1 (Pa), b = T at end 1
 *           (K), c = mass flow (kg/s); one march from end 1.
 *   mode 2 (PELMORA_MARCH_FROM_OUTLET): the same at end 2, marching from
 *           end 2.
 *   mode 3 (PELMORA_FIND_PRESSURE_FORWARD): a = required downstream
 *           pressure, b = upstream temperature, c = mass flow >= 0; finds
 *           the upstream pressure (end 1).
 *   mode 4 (PELMORA_FIND_PRESSURE_REVERSE): as mode 3 with c <= 0; the
 *           upstream end is end 2 unless c is 0, in which case it marches
 *           from end 1 like mode 3.
 *   mode 5 (PELMORA_FIND_FLOW_FORWARD): a = p at end 1, b = T at end 1,
 *           c = required p at end 2; finds a positive mass flow.
 *   mode 6 (PELMORA_FIND_FLOW_REVERSE): a = p at end 2, b = T at end 2,
 *           c = required p at end 1; finds a negative mass flow.
 * status: 0 found and written; 1 cell diameters differ by more than 1e-8 m,
 * nothing written; 2 refused, nothing changed (see below); 3 starting Mach
 * number above 1 (modes 1, 2; only the starting end's network values, read
 * by getbc*, were written) or a mass flow whose sign does not fit mode 3 or
 * 4 (nothing written); 4 Mach number above 1 inside the duct; 5 pressure at
 * or below 0 (modes 1, 2) or no convergence within 100 marches (modes 3..6).
 * After status 4 or 5 the cells up to the failing step hold the march's
 * intermediate values; the per-pipe boundary values, the far end and the
 * conserved variables are not written.
 * The result fills every cell profile, both levels of conserved variables
 * (identical), the boundary values of every pipe and both network ends. The
 * searches (modes 3..6) clear the first-call flags of loadbc only when they
 * end because the far-end pressure is within 1e-6 of the required one; modes
 * 3 and 4 usually end earlier, once the error is below 1e-6 of the upper
 * bound of the upstream pressure, so the far end can then differ from the
 * required pressure by up to about 1e-6 of the upstream pressure.
 * Choices of this engine:
 * - A mode outside 1..6 gives status 2 and changes nothing (no code).
 * - No network, no gas (no successful loadfluid), a network without cells,
 *   pipe ranges that do not fit the arrays (after a restore), or a, b or c
 *   not finite: status 2, code 3, nothing changed. status NULL: code 3 and
 *   nothing else.
 * - A march step that does not converge within 250 iterations is accepted
 *   (an adiabatic cell then takes the ambient temperature at its far face),
 *   the march goes on and can end with status 0; code 4 is set so the host
 *   can tell. Slow flow through a pipe with strong wall heat is the typical
 *   cause: the temperature iteration cannot settle there, and the computed
 *   temperatures should not be trusted.
 * - A march-step iteration or a search trial that moved nothing would be
 *   repeated unchanged up to its limit (250 iterations, 100 marches), so it
 *   ends at once with the result the limit would give (given host routines
 *   that answer the same to the same arguments).
 * - With no flow (|mass flow| <= 1e-6 kg/s) the temperature at each face is
 *   the upstream face's when the crossed cell has no wall heat, otherwise
 *   the mean ambient temperature of that cell and the next; the crossed cell
 *   decides in both march directions.
 * - A capped Reynolds number sets code 2 but never lowers a code 3 or 4
 *   already pending. */
PELMORA_API void steadystate(int32_t mode, double a, double b, double c, int32_t *status);

/* approxchokepressure -- pressure at which mass flow m (kg/s) of the loaded
 * gas at temperature T (K) flows at Mach 1 through a duct of diameter D (m).
 * T, D, m by value; result *p (Pa) by address. Iterates p <- p sqrt(M) from
 * 100000 Pa until |M - 1| <= 0.01. Refused (code 3, *p untouched) when m, T
 * or D is not a positive finite number or no gas is loaded; after 100 passes
 * without convergence the last pressure is written and code 3 is set. */
PELMORA_API void approxchokepressure(double T, double D, double m, double *p);

/* ======================================================================
 * QUERIES
 * ====================================================================== */

/* gettotalnumberofcells -- *n = number of cells of the network (0 before any
 * load; kept after freepipememory). */
PELMORA_API void gettotalnumberofcells(int32_t *n);

/* getshape -- in this order: conserved variables per cell (3), cells,
 * faces (cells + 1), pipes. Kept after freepipememory. */
PELMORA_API void getshape(int32_t *nvars, int32_t *ncells, int32_t *nfaces, int32_t *npipes);

/* getnumberofcells -- *n = number of cells of pipe `pipe` (by value).
 * Refused (code 3) for a pipe out of range or no network. */
PELMORA_API void getnumberofcells(int32_t pipe, int32_t *n);

/* Profiles along one pipe: pipe by value; `values` must have room for
 * getnumberofcells(pipe) doubles; element [i] receives cell i+1 of the pipe,
 * from its inlet to its outlet. Refused (code 3, nothing written) for a pipe
 * out of range or no network. */
PELMORA_API void getdiameter(int32_t pipe, double *values);       /* m */
PELMORA_API void getdensity(int32_t pipe, double *values);        /* kg/m3 */
PELMORA_API void getenthalpy(int32_t pipe, double *values);       /* J/kg */
PELMORA_API void getinternalenergy(int32_t pipe, double *values); /* J/kg */
PELMORA_API void getmachnumber(int32_t pipe, double *values);     /* - */
PELMORA_API void getmassflowrate(int32_t pipe, double *values);   /* kg/s */
PELMORA_API void getpressure(int32_t pipe, double *values);       /* Pa */
PELMORA_API void getsoundspeed(int32_t pipe, double *values);     /* m/s */
PELMORA_API void gettemperature(int32_t pipe, double *values);    /* K */
PELMORA_API void getvelocity(int32_t pipe, double *values);       /* m/s */

/* Network-end state: end by value (1 = inlet of pipe 1, 2 = outlet of the
 * last pipe); *value receives the state at that end as last computed by a
 * pipe step or steadystate (0 before any). Any other end: nothing written,
 * no code. */
PELMORA_API void getbcdensity(int32_t end, double *value);        /* kg/m3 */
PELMORA_API void getbcenthalpy(int32_t end, double *value);       /* J/kg */
PELMORA_API void getbcinternalenergy(int32_t end, double *value); /* J/kg */
PELMORA_API void getbcmachnumber(int32_t end, double *value);     /* - */
PELMORA_API void getbcmassflowrate(int32_t end, double *value);   /* kg/s */
PELMORA_API void getbcpressure(int32_t end, double *value);       /* Pa */
PELMORA_API void getbcsoundspeed(int32_t end, double *value);     /* m/s */
PELMORA_API void getbctemperature(int32_t end, double *value);    /* K */
PELMORA_API void getbcvelocity(int32_t end, double *value);       /* m/s */

/* geterrorcode -- *code = the larger of the fluid and network codes (0 if
 * neither is positive); both are cleared, so a second call returns 0. */
PELMORA_API void geterrorcode(int32_t *code);

/* ======================================================================
 * STATE EXCHANGE (save and restore)
 * ======================================================================
 * A host that saves the state with the get entry points, runs on, restores
 * it with the set entry points and repeats the same calls gets the same
 * results bit for bit.
 *
 *   save:    getshape(&nvars, &ncells, &nfaces, &npipes);
 *            getfluidparams(...); gethyperparams(...);
 *            getuhistory(previous, current); getphysparams(...);
 *   restore: setfluidparams(...); sethyperparams(...);
 *            setuhistory(&nvars, &ncells, previous, current);
 *            setphysparams(&nvars, &nfaces, &ncells, &npipes, ...);
 *
 * The restore may go into the same network or into one loaded again later
 * with the same loadpipedata arguments. Not carried: the two error codes,
 * the ideal-gas viscosity and compressibility factor, and the host context
 * and property routines of loadfluid; they keep their values.
 *
 * Rules shared by all eight:
 * - Every argument is by address. Values are copied unchanged: nothing is
 *   computed, checked for physical sense or reallocated.
 * - Arrays come in groups (per pipe, per variable, per face, per cell, or
 *   per variable and cell). A group whose count is 0 or less is skipped,
 *   and its pointers are not read (they may be NULL).
 * - Refused (nothing stored, nothing written, code 3) when a pointer that
 *   the call reads or writes is NULL, or when a positive count exceeds what
 *   the latest network load allocated. freepipememory releases the cell
 *   states, both conserved levels and the pipe, ghost and face geometry
 *   arrays, so getuhistory, getphysparams and positive counts to
 *   setuhistory and setphysparams are refused after it; the grid spacings
 *   and end coefficients of gethyperparams survive it. Refusals set the
 *   fluid code for the two fluid entry points, the network code otherwise.
 *
 * Sizes, so that a host can allocate its buffers without probing. With the
 * counts of getshape (nvars, ncells, nfaces, npipes), every item is one of:
 *   single value  one element;
 *   per end       one element each for end 1 and end 2, passed as two
 *                 separate arguments, end 1 first ("...1", "...2");
 *   per pipe      npipes elements, [p-1] for pipe p;
 *   per variable  nvars elements (3: rho A, rho u, rho E);
 *   per face      nfaces elements (ncells + 1);
 *   per cell      ncells elements, numbered across the whole network;
 *   per variable and cell  nvars x ncells elements, the cell index fastest.
 * getfluidparams: 14 single values. gethyperparams: 8 single values, then 6
 * per-variable, 3 per-face and 3 per-cell arrays. getuhistory: two
 * per-variable-and-cell arrays. getphysparams: marked group by group in
 * its argument list below.
 * The counts come in a different order in different calls: getshape gives
 * variables, CELLS, FACES, pipes; setphysparams takes variables, FACES,
 * CELLS, pipes; setuhistory takes variables, cells. Passing getshape's
 * counts to setphysparams in getshape's order swaps the face and cell
 * counts.
 *
 * What outlives a job. The network-end state (what the getbc* queries
 * return: bcpressure .. bcmachnumber of getphysparams) is written only by a
 * pipe step that reaches a network end, by steadystate and by
 * setphysparams; freepipememory, loadpipedata, loadinitialconditions and
 * loadbc leave it as the last job left it. A new job then reads the old
 * line's end state until its first step, and that step uses it: the
 * recorded Mach number decides whether an imposed end pressure applies (1
 * or more: the pressure is taken from the cells instead), and the recorded
 * end velocity and sound speed bound the first sub-step. So the same job
 * can give different results after different earlier work in the same
 * process. To start a job exactly as in a fresh process, a host either
 * starts it from steadystate (status 0 writes both network ends), or,
 * after loadinitialconditions, zeroes the network-end state with a
 * getphysparams / setphysparams round trip that sets the 18 values
 * bcpressure1 .. bcmachnumber2 to 0 (the values of a fresh process), then
 * calls loadbc with the values it wants and geterrorcode to clear the
 * codes. */

/* getfluidparams / setfluidparams -- 14 items in this order: molweight,
 * gamma, current viscosity, cp, cv, current density, energy, enthalpy,
 * pressure, temperature, sound speed, model (int32), two spare reals.
 * The viscosity is that of the current fluid state (the last evaluation),
 * not the ideal-gas constant given to loadfluid.
 * setfluidparams may be called at any time, also before loadfluid. It
 * stores cp and cv as given (not derived again from molweight and gamma)
 * and replaces the current fluid state. Afterwards the gas counts as loaded exactly when
 * molweight is a positive finite number, gamma a finite number above 1, cp
 * and cv positive finite numbers, and, for model 2, all three property
 * routines of an earlier loadfluid are present; otherwise every call that
 * evaluates the gas is refused with code 3 until the next loadfluid or a
 * setfluidparams with a usable gas. setfluidparams itself sets no code for
 * an unusable gas: restoring a blank description is legitimate. Before any
 * loadfluid the ideal gas's viscosity is 0. */
PELMORA_API void getfluidparams(double *molweight, double *gamma, double *viscosity, double *cp,
                                double *cv, double *density, double *energy, double *enthalpy,
                                double *pressure, double *temperature, double *soundspeed,
                                int32_t *model, double *extra1, double *extra2);
PELMORA_API void setfluidparams(const double *molweight, const double *gamma,
                                const double *viscosity, const double *cp, const double *cv,
                                const double *density, const double *energy, const double *enthalpy,
                                const double *pressure, const double *temperature,
                                const double *soundspeed, const int32_t *model,
                                const double *extra1, const double *extra2);

/* gethyperparams / sethyperparams -- 20 items: number of variables, cells,
 * faces, current cell, current face, at-inlet-face, at-outlet-face (int32),
 * simulation time; the six end-coefficient arrays (inlet gradient, value,
 * weight, outlet gradient, value, weight; one element per variable); face
 * position, face length, inverse face length (per face); cell centre, cell
 * length, inverse cell length (per cell).
 * gethyperparams copies the arrays with the engine's current counts.
 * sethyperparams stores the eight scalars first, the three counts
 * included, and copies the arrays with the new counts. Counts up to the
 * allocated ones may be stored, also a number of variables other than 3,
 * 0 or negative counts, or a face count that is not cells + 1; nothing is
 * reallocated, later calls never reach past the arrays of the latest load,
 * and getshape, getuhistory and getphysparams use the stored counts. A
 * count above the allocated one refuses the whole call (code 3, nothing
 * stored). */
PELMORA_API void gethyperparams(int32_t *nvars, int32_t *ncells, int32_t *nfaces,
                                int32_t *currentcell, int32_t *currentface, int32_t *atinletface,
                                int32_t *atoutletface, double *simulationtime,
                                double *inletbcgradient, double *inletbcvalue,
                                double *inletbcweight, double *outletbcgradient,
                                double *outletbcvalue, double *outletbcweight, double *faceposition,
                                double *facelength, double *inversefacelength, double *cellcentre,
                                double *celllength, double *inversecelllength);
PELMORA_API void sethyperparams(const int32_t *nvars, const int32_t *ncells, const int32_t *nfaces,
                                const int32_t *currentcell, const int32_t *currentface,
                                const int32_t *atinletface, const int32_t *atoutletface,
                                const double *simulationtime, const double *inletbcgradient,
                                const double *inletbcvalue, const double *inletbcweight,
                                const double *outletbcgradient, const double *outletbcvalue,
                                const double *outletbcweight, const double *faceposition,
                                const double *facelength, const double *inversefacelength,
                                const double *cellcentre, const double *celllength,
                                const double *inversecelllength);

/* getuhistory / setuhistory -- both levels of the conserved variables
 * (previous, current), each an array of nvars x ncells doubles with the cell
 * index running fastest: variable k (1..3: rho A, rho u, rho E) of cell i is
 * element (k-1)*ncells + (i-1). getuhistory uses the engine's counts.
 * setuhistory takes the two counts first; they drive the copy (and the
 * layout above) only and are not stored. A count below 1 copies nothing.
 * Only the conserved levels change: the cell profiles (pressure, ...) keep
 * their values until the next step derives them from the new levels. */
PELMORA_API void getuhistory(double *previous, double *current);
PELMORA_API void setuhistory(const int32_t *nvars, const int32_t *ncells, const double *previous,
                             const double *current);

/* getphysparams -- the whole physical state, 106 arguments: the pipe layout
 * and flags, boundary values (previous, latest, applied), end states, cell
 * geometry, wall data and every per-cell state array. A pair "..1, ..2" is
 * end 1 then end 2. Arrays have npipes, nvars, nfaces or ncells elements.
 * getphysparams copies with the engine's counts (getshape).
 * setphysparams -- 109 arguments: the counts to copy per variable, per face
 * and per cell (not stored), the number of pipes (stored, and the count of
 * every per-pipe array), then the items of getphysparams from pipepassflag
 * on. The scalars and end pairs are stored first, then the per-pipe,
 * per-variable, per-face and per-cell arrays. A per-cell count of 0 or less
 * copies everything but the cell arrays. Besides the shared refusals, the
 * call is refused (code 3, nothing stored) when a copied cell range does
 * not satisfy 1 <= firstcell <= lastcell <= the allocated cells, because
 * every pipe loop walks those ranges. Flags, boundary values and the time
 * step limit are stored as given; a limit that is not a positive number
 * makes the drivers refuse their next step with code 3. */
/* One argument per line, in exchange order. */
/* clang-format off */
PELMORA_API void getphysparams(
    /* single value: the number of pipes */
    int32_t *numberofpipes,
    /* per pipe */
    int32_t *pipepassflag,
    int32_t *firstcell,
    int32_t *lastcell,
    int32_t *inletpressurefixed,
    int32_t *outletpressurefixed,
    int32_t *inlettemperaturefixed,
    int32_t *outlettemperaturefixed,
    int32_t *inletmassflowfixed,
    int32_t *outletmassflowfixed,
    /* single value */
    double *maximumtimestep,
    /* per end */
    double *endpressure1,
    double *endpressure2,
    double *enddensity1,
    double *enddensity2,
    double *endvelocity1,
    double *endvelocity2,
    double *endenthalpy1,
    double *endenthalpy2,
    double *midbcpressure1,
    double *midbcpressure2,
    double *midbctemperature1,
    double *midbctemperature2,
    double *midbcmassflow1,
    double *midbcmassflow2,
    double *lastbcpressure1,
    double *lastbcpressure2,
    double *lastbctemperature1,
    double *lastbctemperature2,
    double *lastbcmassflow1,
    double *lastbcmassflow2,
    /* per pipe */
    double *lastinletpressure,
    double *lastoutletpressure,
    double *inletpressure,
    double *outletpressure,
    double *lastinlettemperature,
    double *lastoutlettemperature,
    double *inlettemperature,
    double *outlettemperature,
    double *lastinletmassflow,
    double *lastoutletmassflow,
    double *inletmassflow,
    double *outletmassflow,
    double *midinletpressure,
    double *midoutletpressure,
    double *midinlettemperature,
    double *midoutlettemperature,
    double *midinletmassflow,
    double *midoutletmassflow,
    /* per variable */
    double *inletghost,
    double *outletghost,
    /* per face */
    double *facediameter,
    double *facearea,
    double *faceinclination,
    /* per cell */
    double *celldiameter,
    double *cellarea,
    double *areagradient,
    double *cellinclination,
    double *relativeroughness,
    double *pressure,
    double *temperature,
    double *soundspeed,
    double *density,
    double *viscosity,
    double *internalenergy,
    double *totalenergy,
    double *enthalpy,
    double *totalenthalpy,
    double *velocity,
    double *massflowrate,
    double *machnumber,
    double *ambienttemperature,
    double *heattransfercoefficient,
    double *densitychange,
    double *temperaturechange,
    double *massflowdeviation,
    /* per end (bcpressure1 .. bcmachnumber2: the network-end state, see above) */
    double *endtemperature1,
    double *endtemperature2,
    double *endmassflow1,
    double *endmassflow2,
    double *endenergy1,
    double *endenergy2,
    double *endsoundspeed1,
    double *endsoundspeed2,
    double *endmachnumber1,
    double *endmachnumber2,
    double *bcpressure1,
    double *bcpressure2,
    double *bcdensity1,
    double *bcdensity2,
    double *bcvelocity1,
    double *bcvelocity2,
    double *bcenthalpy1,
    double *bcenthalpy2,
    double *bctemperature1,
    double *bctemperature2,
    double *bcmassflowrate1,
    double *bcmassflowrate2,
    double *bcinternalenergy1,
    double *bcinternalenergy2,
    double *bcsoundspeed1,
    double *bcsoundspeed2,
    double *bcmachnumber1,
    double *bcmachnumber2,
    /* per end: the first-call flags of loadbc */
    int32_t *bcloaded1,
    int32_t *bcloaded2);

PELMORA_API void setphysparams(
    /* counts to copy per variable, per FACE, per CELL (not stored; not
     * getshape's order), then the number of pipes (stored, and the count of
     * every per-pipe array) */
    const int32_t *nvariables,
    const int32_t *nfaces,
    const int32_t *ncells,
    const int32_t *numberofpipes,
    /* per pipe */
    const int32_t *pipepassflag,
    const int32_t *firstcell,
    const int32_t *lastcell,
    const int32_t *inletpressurefixed,
    const int32_t *outletpressurefixed,
    const int32_t *inlettemperaturefixed,
    const int32_t *outlettemperaturefixed,
    const int32_t *inletmassflowfixed,
    const int32_t *outletmassflowfixed,
    /* single value */
    const double *maximumtimestep,
    /* per end */
    const double *endpressure1,
    const double *endpressure2,
    const double *enddensity1,
    const double *enddensity2,
    const double *endvelocity1,
    const double *endvelocity2,
    const double *endenthalpy1,
    const double *endenthalpy2,
    const double *midbcpressure1,
    const double *midbcpressure2,
    const double *midbctemperature1,
    const double *midbctemperature2,
    const double *midbcmassflow1,
    const double *midbcmassflow2,
    const double *lastbcpressure1,
    const double *lastbcpressure2,
    const double *lastbctemperature1,
    const double *lastbctemperature2,
    const double *lastbcmassflow1,
    const double *lastbcmassflow2,
    /* per pipe */
    const double *lastinletpressure,
    const double *lastoutletpressure,
    const double *inletpressure,
    const double *outletpressure,
    const double *lastinlettemperature,
    const double *lastoutlettemperature,
    const double *inlettemperature,
    const double *outlettemperature,
    const double *lastinletmassflow,
    const double *lastoutletmassflow,
    const double *inletmassflow,
    const double *outletmassflow,
    const double *midinletpressure,
    const double *midoutletpressure,
    const double *midinlettemperature,
    const double *midoutlettemperature,
    const double *midinletmassflow,
    const double *midoutletmassflow,
    /* per variable */
    const double *inletghost,
    const double *outletghost,
    /* per face */
    const double *facediameter,
    const double *facearea,
    const double *faceinclination,
    /* per cell */
    const double *celldiameter,
    const double *cellarea,
    const double *areagradient,
    const double *cellinclination,
    const double *relativeroughness,
    const double *pressure,
    const double *temperature,
    const double *soundspeed,
    const double *density,
    const double *viscosity,
    const double *internalenergy,
    const double *totalenergy,
    const double *enthalpy,
    const double *totalenthalpy,
    const double *velocity,
    const double *massflowrate,
    const double *machnumber,
    const double *ambienttemperature,
    const double *heattransfercoefficient,
    const double *densitychange,
    const double *temperaturechange,
    const double *massflowdeviation,
    /* per end (bcpressure1 .. bcmachnumber2: the network-end state, see above) */
    const double *endtemperature1,
    const double *endtemperature2,
    const double *endmassflow1,
    const double *endmassflow2,
    const double *endenergy1,
    const double *endenergy2,
    const double *endsoundspeed1,
    const double *endsoundspeed2,
    const double *endmachnumber1,
    const double *endmachnumber2,
    const double *bcpressure1,
    const double *bcpressure2,
    const double *bcdensity1,
    const double *bcdensity2,
    const double *bcvelocity1,
    const double *bcvelocity2,
    const double *bcenthalpy1,
    const double *bcenthalpy2,
    const double *bctemperature1,
    const double *bctemperature2,
    const double *bcmassflowrate1,
    const double *bcmassflowrate2,
    const double *bcinternalenergy1,
    const double *bcinternalenergy2,
    const double *bcsoundspeed1,
    const double *bcsoundspeed2,
    const double *bcmachnumber1,
    const double *bcmachnumber2,
    /* per end: the first-call flags of loadbc */
    const int32_t *bcloaded1,
    const int32_t *bcloaded2);
/* clang-format on */

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* PELMORA_H */
