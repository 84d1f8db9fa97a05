// Exported entry points of the state exchange. Each gathers the host's
// arguments, one pointer per argument in argument order, and hands them to
// the internal routine on the process-wide store.
//
// The definitions name every argument as pelmora.h does. A compile-time check
// holds each parameter list to the rows of engine/items.h (names, order and
// types), and the arguments are gathered from those rows by name, so an item
// added, moved or renamed there fails to build until the signature agrees.
#include "pelmora.h"

#include "engine/capi.h"
#include "exchange/state.h"

using pelmora::Call;
using pelmora::Side;
using pelmora::Store;

// The host's arguments of one section of the registry, in argument order:
// each item's argument name, with 1 and 2 appended for an end item.
#define PELMORA_ARGUMENT(C, name, element, dimension, lifetime, start, argument)                   \
  PELMORA_ARGUMENT_##dimension(argument)
#define PELMORA_ARGUMENT_single(a) a,
#define PELMORA_ARGUMENT_end(a) a##1, a##2,
#define PELMORA_ARGUMENT_pipe(a) a,
#define PELMORA_ARGUMENT_variable(a) a,
#define PELMORA_ARGUMENT_cell(a) a,
#define PELMORA_ARGUMENT_face(a) a,

// An exported exchange entry point whose parameters must be, after the
// int32_t counts named in `leading`, the arguments of the registry's rows of
// `call` (const for a set routine).
#define PELMORA_EXCHANGE_ENTRY(function, call, writable, leading, ...)                             \
  static_assert(pelmora::followsregistry(Call::call, writable, leading, #__VA_ARGS__),             \
                #function ": the parameters must follow engine/items.h");                          \
  PELMORA_API void function(__VA_ARGS__)

extern "C" {

PELMORA_EXCHANGE_ENTRY(getfluidparams, fluid, true, "", double* molweight, double* gamma,
                       double* viscosity, double* cp, double* cv, double* density, double* energy,
                       double* enthalpy, double* pressure, double* temperature, double* soundspeed,
                       int32_t* model, double* extra1, double* extra2)
{
    const pelmora::Outputs<Call::fluid> b{PELMORA_FLUID_ITEMS(PELMORA_ARGUMENT, _)};
    pelmora::guarded(Side::fluid, [&](Store& s) { pelmora::getfluidparams(s, b); });
}

PELMORA_EXCHANGE_ENTRY(setfluidparams, fluid, false, "", const double* molweight,
                       const double* gamma, const double* viscosity, const double* cp,
                       const double* cv, const double* density, const double* energy,
                       const double* enthalpy, const double* pressure, const double* temperature,
                       const double* soundspeed, const int32_t* model, const double* extra1,
                       const double* extra2)
{
    const pelmora::Inputs<Call::fluid> b{PELMORA_FLUID_ITEMS(PELMORA_ARGUMENT, _)};
    pelmora::guarded(Side::fluid, [&](Store& s) { pelmora::setfluidparams(s, b); });
}

PELMORA_EXCHANGE_ENTRY(gethyperparams, hyper, true, "", int32_t* nvars, int32_t* ncells,
                       int32_t* nfaces, int32_t* currentcell, int32_t* currentface,
                       int32_t* atinletface, int32_t* atoutletface, double* simulationtime,
                       double* inletbcgradient, double* inletbcvalue, double* inletbcweight,
                       double* outletbcgradient, double* outletbcvalue, double* outletbcweight,
                       double* faceposition, double* facelength, double* inversefacelength,
                       double* cellcentre, double* celllength, double* inversecelllength)
{
    const pelmora::Outputs<Call::hyper> b{PELMORA_HYPER_ITEMS(PELMORA_ARGUMENT, _)};
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::gethyperparams(s, b); });
}

PELMORA_EXCHANGE_ENTRY(sethyperparams, hyper, false, "", const int32_t* nvars,
                       const int32_t* ncells, const int32_t* nfaces, const int32_t* currentcell,
                       const int32_t* currentface, const int32_t* atinletface,
                       const int32_t* atoutletface, const double* simulationtime,
                       const double* inletbcgradient, const double* inletbcvalue,
                       const double* inletbcweight, const double* outletbcgradient,
                       const double* outletbcvalue, const double* outletbcweight,
                       const double* faceposition, const double* facelength,
                       const double* inversefacelength, const double* cellcentre,
                       const double* celllength, const double* inversecelllength)
{
    const pelmora::Inputs<Call::hyper> b{PELMORA_HYPER_ITEMS(PELMORA_ARGUMENT, _)};
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::sethyperparams(s, b); });
}

PELMORA_API void getuhistory(double* previous, double* current)
{
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::getuhistory(s, previous, current); });
}

PELMORA_API void setuhistory(const int32_t* nvars, const int32_t* ncells, const double* previous,
                             const double* current)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::setuhistory(s, nvars, ncells, previous, current); });
}

// The exported signatures keep one argument per line, in exchange order.
// clang-format off
PELMORA_EXCHANGE_ENTRY(getphysparams, phys, true, "",
    int32_t* numberofpipes,
    int32_t* pipepassflag,
    int32_t* firstcell,
    int32_t* lastcell,
    int32_t* inletpressurefixed,
    int32_t* outletpressurefixed,
    int32_t* inlettemperaturefixed,
    int32_t* outlettemperaturefixed,
    int32_t* inletmassflowfixed,
    int32_t* outletmassflowfixed,
    double* maximumtimestep,
    double* endpressure1,
    double* endpressure2,
    double* enddensity1,
    double* enddensity2,
    double* endvelocity1,
    double* endvelocity2,
    double* endenthalpy1,
    double* endenthalpy2,
    double* midbcpressure1,
    double* midbcpressure2,
    double* midbctemperature1,
    double* midbctemperature2,
    double* midbcmassflow1,
    double* midbcmassflow2,
    double* lastbcpressure1,
    double* lastbcpressure2,
    double* lastbctemperature1,
    double* lastbctemperature2,
    double* lastbcmassflow1,
    double* lastbcmassflow2,
    double* lastinletpressure,
    double* lastoutletpressure,
    double* inletpressure,
    double* outletpressure,
    double* lastinlettemperature,
    double* lastoutlettemperature,
    double* inlettemperature,
    double* outlettemperature,
    double* lastinletmassflow,
    double* lastoutletmassflow,
    double* inletmassflow,
    double* outletmassflow,
    double* midinletpressure,
    double* midoutletpressure,
    double* midinlettemperature,
    double* midoutlettemperature,
    double* midinletmassflow,
    double* midoutletmassflow,
    double* inletghost,
    double* outletghost,
    double* facediameter,
    double* facearea,
    double* faceinclination,
    double* celldiameter,
    double* cellarea,
    double* areagradient,
    double* cellinclination,
    double* relativeroughness,
    double* pressure,
    double* temperature,
    double* soundspeed,
    double* density,
    double* viscosity,
    double* internalenergy,
    double* totalenergy,
    double* enthalpy,
    double* totalenthalpy,
    double* velocity,
    double* massflowrate,
    double* machnumber,
    double* ambienttemperature,
    double* heattransfercoefficient,
    double* densitychange,
    double* temperaturechange,
    double* massflowdeviation,
    double* endtemperature1,
    double* endtemperature2,
    double* endmassflow1,
    double* endmassflow2,
    double* endenergy1,
    double* endenergy2,
    double* endsoundspeed1,
    double* endsoundspeed2,
    double* endmachnumber1,
    double* endmachnumber2,
    double* bcpressure1,
    double* bcpressure2,
    double* bcdensity1,
    double* bcdensity2,
    double* bcvelocity1,
    double* bcvelocity2,
    double* bcenthalpy1,
    double* bcenthalpy2,
    double* bctemperature1,
    double* bctemperature2,
    double* bcmassflowrate1,
    double* bcmassflowrate2,
    double* bcinternalenergy1,
    double* bcinternalenergy2,
    double* bcsoundspeed1,
    double* bcsoundspeed2,
    double* bcmachnumber1,
    double* bcmachnumber2,
    int32_t* bcloaded1,
    int32_t* bcloaded2)
{
    const pelmora::Outputs<Call::phys> b{PELMORA_PHYS_ITEMS(PELMORA_ARGUMENT, _)};
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::getphysparams(s, b); });
}

PELMORA_EXCHANGE_ENTRY(setphysparams, phys, false, "nvariables nfaces ncells",
    const int32_t* nvariables,
    const int32_t* nfaces,
    const int32_t* ncells,
    const int32_t* numberofpipes,
    const int32_t* pipepassflag,
    const int32_t* firstcell,
    const int32_t* lastcell,
    const int32_t* inletpressurefixed,
    const int32_t* outletpressurefixed,
    const int32_t* inlettemperaturefixed,
    const int32_t* outlettemperaturefixed,
    const int32_t* inletmassflowfixed,
    const int32_t* outletmassflowfixed,
    const double* maximumtimestep,
    const double* endpressure1,
    const double* endpressure2,
    const double* enddensity1,
    const double* enddensity2,
    const double* endvelocity1,
    const double* endvelocity2,
    const double* endenthalpy1,
    const double* endenthalpy2,
    const double* midbcpressure1,
    const double* midbcpressure2,
    const double* midbctemperature1,
    const double* midbctemperature2,
    const double* midbcmassflow1,
    const double* midbcmassflow2,
    const double* lastbcpressure1,
    const double* lastbcpressure2,
    const double* lastbctemperature1,
    const double* lastbctemperature2,
    const double* lastbcmassflow1,
    const double* lastbcmassflow2,
    const double* lastinletpressure,
    const double* lastoutletpressure,
    const double* inletpressure,
    const double* outletpressure,
    const double* lastinlettemperature,
    const double* lastoutlettemperature,
    const double* inlettemperature,
    const double* outlettemperature,
    const double* lastinletmassflow,
    const double* lastoutletmassflow,
    const double* inletmassflow,
    const double* outletmassflow,
    const double* midinletpressure,
    const double* midoutletpressure,
    const double* midinlettemperature,
    const double* midoutlettemperature,
    const double* midinletmassflow,
    const double* midoutletmassflow,
    const double* inletghost,
    const double* outletghost,
    const double* facediameter,
    const double* facearea,
    const double* faceinclination,
    const double* celldiameter,
    const double* cellarea,
    const double* areagradient,
    const double* cellinclination,
    const double* relativeroughness,
    const double* pressure,
    const double* temperature,
    const double* soundspeed,
    const double* density,
    const double* viscosity,
    const double* internalenergy,
    const double* totalenergy,
    const double* enthalpy,
    const double* totalenthalpy,
    const double* velocity,
    const double* massflowrate,
    const double* machnumber,
    const double* ambienttemperature,
    const double* heattransfercoefficient,
    const double* densitychange,
    const double* temperaturechange,
    const double* massflowdeviation,
    const double* endtemperature1,
    const double* endtemperature2,
    const double* endmassflow1,
    const double* endmassflow2,
    const double* endenergy1,
    const double* endenergy2,
    const double* endsoundspeed1,
    const double* endsoundspeed2,
    const double* endmachnumber1,
    const double* endmachnumber2,
    const double* bcpressure1,
    const double* bcpressure2,
    const double* bcdensity1,
    const double* bcdensity2,
    const double* bcvelocity1,
    const double* bcvelocity2,
    const double* bcenthalpy1,
    const double* bcenthalpy2,
    const double* bctemperature1,
    const double* bctemperature2,
    const double* bcmassflowrate1,
    const double* bcmassflowrate2,
    const double* bcinternalenergy1,
    const double* bcinternalenergy2,
    const double* bcsoundspeed1,
    const double* bcsoundspeed2,
    const double* bcmachnumber1,
    const double* bcmachnumber2,
    const int32_t* bcloaded1,
    const int32_t* bcloaded2)
{
    const pelmora::Inputs<Call::phys> b{PELMORA_PHYS_ITEMS(PELMORA_ARGUMENT, _)};
    pelmora::guarded(Side::pipe, [&](Store& s) {
        pelmora::setphysparams(s, nvariables, nfaces, ncells, b);
    });
}
// clang-format on

} // extern "C"
