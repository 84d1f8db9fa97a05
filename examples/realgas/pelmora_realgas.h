/*
 * pelmora_realgas.h -- a real-gas property provider for natural gas.
 *
 * A small host-side library whose three routines have the argument lists of
 * the engine's host property routines (see propertyroutine and loadfluid in
 * pelmora.h), so a host can hand them to loadfluid with model 2:
 *
 *     pelmora_realgas *gas = realgas_create(fractions);
 *     loadfluid(gas, realgas_pt, realgas_rhoe, realgas_ph, ...);
 *
 * The model:
 *   - pseudo-critical temperature and pressure of the mixture by molar
 *     averaging of the components' critical constants, corrected for
 *     carbon dioxide and hydrogen sulphide (Wichert and Aziz, 1972);
 *   - compressibility factor Z from the Dranchuk and Abou-Kassem (1975)
 *     eleven-constant fit of the Standing-Katz chart, which is explicit in
 *     reduced density and temperature;
 *   - internal energy and enthalpy as the ideal-gas part (per-component
 *     cubic heat-capacity polynomials) plus the residual part obtained by
 *     integrating that same Z model over density, so every property is
 *     consistent with the equation of state;
 *   - sound speed from the same model, (dp/drho) at constant entropy;
 *   - viscosity from the Lee, Gonzalez and Eakin (1966) correlation.
 *
 * Units are those of the engine's host routines: pressure kPa, temperature
 * degrees Celsius, density kg/m3, specific energies kJ/kg, viscosity cP,
 * sound speed m/s. Energies are zero for the ideal gas at 0 K.
 *
 * Range: the Z fit holds for reduced temperatures 1.0 to 3.0 and reduced
 * pressures up to 30 (about 200 to 600 K and up to 130 MPa for a lean
 * natural gas). Outside it the routines still answer: temperatures are held
 * within 20 K .. 3000 K, densities and pressures to positive values, the
 * inverse problems are solved by bracketed Newton iteration that falls back
 * to bisection, with bounded iterations, and every output is finite.
 *
 * The routines keep no state besides the immutable gas description, so one
 * gas may be used from several threads at once.
 */
#ifndef PELMORA_REALGAS_H
#define PELMORA_REALGAS_H

#include <stdint.h>

#if defined(_WIN32) || defined(__CYGWIN__)
#  define PELMORA_REALGAS_API __declspec(dllexport)
#else
#  define PELMORA_REALGAS_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct pelmora_realgas pelmora_realgas;

/* Components known to the provider, in the order of the fraction array that
 * realgas_create takes. */
#define REALGAS_NCOMPONENTS 11

/* Name of component i (0-based, 0..REALGAS_NCOMPONENTS-1) as scenario files
 * spell it: "methane", "ethane", "propane", "isobutane", "nbutane",
 * "isopentane", "npentane", "nhexane", "nitrogen", "carbondioxide",
 * "hydrogensulfide"; NULL for an index out of range. */
PELMORA_REALGAS_API const char* realgas_componentname(int32_t i);

/* Index of a component by name, or -1 when unknown. */
PELMORA_REALGAS_API int32_t realgas_componentindex(const char* name);

/* Creates a gas from REALGAS_NCOMPONENTS mole fractions. The fractions are
 * normalised to sum to 1. Returns NULL when a fraction is negative or not
 * finite, or when they sum to 0. */
PELMORA_REALGAS_API pelmora_realgas* realgas_create(const double* molefractions);
PELMORA_REALGAS_API void realgas_destroy(pelmora_realgas* gas);

/* Molar mass kg/kmol, pseudo-critical temperature K and pressure kPa. */
PELMORA_REALGAS_API void realgas_description(const pelmora_realgas* gas, double* molweight,
                                             double* pseudocriticaltemperature,
                                             double* pseudocriticalpressure);

/* Compressibility factor at pressure kPa and temperature degC. */
PELMORA_REALGAS_API double realgas_z(const pelmora_realgas* gas, double p, double t);

/* Ratio of specific heats cp/cv and the isentropic exponent rho c^2 / p at
 * pressure kPa and temperature degC. The engine's sound speed is
 * sqrt(gamma p / rho), so the isentropic exponent is the gamma a host should
 * load with these routines to get the real gas's sound speed. */
PELMORA_REALGAS_API void realgas_exponents(const pelmora_realgas* gas, double p, double t,
                                           double* cpovercv, double* isentropicexponent);

/* The three host routines; context is a pelmora_realgas pointer.
 * realgas_pt   (p kPa, t degC)     -> density, energy, enthalpy, viscosity, sound speed
 * realgas_rhoe (rho kg/m3, e kJ/kg) -> pressure, temperature, enthalpy, viscosity, sound speed
 * realgas_ph   (p kPa, h kJ/kg)    -> density, temperature, energy, viscosity, sound speed */
PELMORA_REALGAS_API void realgas_pt(void* context, double p, double t, double* density,
                                    double* energy, double* enthalpy, double* viscosity,
                                    double* soundspeed);
PELMORA_REALGAS_API void realgas_rhoe(void* context, double density, double energy, double* p,
                                      double* t, double* enthalpy, double* viscosity,
                                      double* soundspeed);
PELMORA_REALGAS_API void realgas_ph(void* context, double p, double enthalpy, double* density,
                                    double* t, double* energy, double* viscosity,
                                    double* soundspeed);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* PELMORA_REALGAS_H */
