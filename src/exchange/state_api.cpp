// Exported entry points of the state exchange: each one gathers the host's
// arguments into the buffer struct of state.h, in argument order, and hands
// it to the internal routine on the process-wide store.
#include "pelmora.h"

#include "engine/capi.h"
#include "exchange/state.h"

using pelmora::Side;
using pelmora::Store;

extern "C" {

PELMORA_API void getfluidparams(double* molweight, double* gamma, double* viscosity, double* cp,
                                double* cv, double* density, double* energy, double* enthalpy,
                                double* pressure, double* temperature, double* soundspeed,
                                int32_t* model, double* extra1, double* extra2)
{
    const pelmora::FluidParamsOut b{molweight,  gamma,  viscosity, cp,       cv,
                                    density,    energy, enthalpy,  pressure, temperature,
                                    soundspeed, model,  extra1,    extra2};
    pelmora::guarded(Side::fluid, [&](Store& s) { pelmora::getfluidparams(s, b); });
}

PELMORA_API void setfluidparams(const double* molweight, const double* gamma,
                                const double* viscosity, const double* cp, const double* cv,
                                const double* density, const double* energy, const double* enthalpy,
                                const double* pressure, const double* temperature,
                                const double* soundspeed, const int32_t* model,
                                const double* extra1, const double* extra2)
{
    const pelmora::FluidParamsIn b{molweight,  gamma,  viscosity, cp,       cv,
                                   density,    energy, enthalpy,  pressure, temperature,
                                   soundspeed, model,  extra1,    extra2};
    pelmora::guarded(Side::fluid, [&](Store& s) { pelmora::setfluidparams(s, b); });
}

PELMORA_API void gethyperparams(int32_t* nvars, int32_t* ncells, int32_t* nfaces,
                                int32_t* currentcell, int32_t* currentface, int32_t* atinletface,
                                int32_t* atoutletface, double* simulationtime,
                                double* inletbcgradient, double* inletbcvalue,
                                double* inletbcweight, double* outletbcgradient,
                                double* outletbcvalue, double* outletbcweight, double* faceposition,
                                double* facelength, double* inversefacelength, double* cellcentre,
                                double* celllength, double* inversecelllength)
{
    const pelmora::HyperParamsOut b{
        nvars,
        ncells,
        nfaces,
        currentcell,
        currentface,
        atinletface,
        atoutletface,
        simulationtime,
        {inletbcgradient, inletbcvalue, inletbcweight, outletbcgradient, outletbcvalue,
         outletbcweight},
        {faceposition, facelength, inversefacelength},
        {cellcentre, celllength, inversecelllength},
    };
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::gethyperparams(s, b); });
}

PELMORA_API void sethyperparams(const int32_t* nvars, const int32_t* ncells, const int32_t* nfaces,
                                const int32_t* currentcell, const int32_t* currentface,
                                const int32_t* atinletface, const int32_t* atoutletface,
                                const double* simulationtime, const double* inletbcgradient,
                                const double* inletbcvalue, const double* inletbcweight,
                                const double* outletbcgradient, const double* outletbcvalue,
                                const double* outletbcweight, const double* faceposition,
                                const double* facelength, const double* inversefacelength,
                                const double* cellcentre, const double* celllength,
                                const double* inversecelllength)
{
    const pelmora::HyperParamsIn b{
        nvars,
        ncells,
        nfaces,
        currentcell,
        currentface,
        atinletface,
        atoutletface,
        simulationtime,
        {inletbcgradient, inletbcvalue, inletbcweight, outletbcgradient, outletbcvalue,
         outletbcweight},
        {faceposition, facelength, inversefacelength},
        {cellcentre, celllength, inversecelllength},
    };
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
PELMORA_API void getphysparams(
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
    const pelmora::PhysicalStateOut b{
        // argument 1
        numberofpipes,
        // arguments 2 to 10
        {
            pipepassflag, firstcell, lastcell, inletpressurefixed, outletpressurefixed,
            inlettemperaturefixed, outlettemperaturefixed, inletmassflowfixed,
            outletmassflowfixed
        },
        // argument 11
        maximumtimestep,
        // arguments 12 to 31
        {
            endpressure1, endpressure2, enddensity1, enddensity2, endvelocity1, endvelocity2,
            endenthalpy1, endenthalpy2, midbcpressure1, midbcpressure2, midbctemperature1,
            midbctemperature2, midbcmassflow1, midbcmassflow2, lastbcpressure1,
            lastbcpressure2, lastbctemperature1, lastbctemperature2, lastbcmassflow1,
            lastbcmassflow2
        },
        // arguments 32 to 49
        {
            lastinletpressure, lastoutletpressure, inletpressure, outletpressure,
            lastinlettemperature, lastoutlettemperature, inlettemperature, outlettemperature,
            lastinletmassflow, lastoutletmassflow, inletmassflow, outletmassflow,
            midinletpressure, midoutletpressure, midinlettemperature, midoutlettemperature,
            midinletmassflow, midoutletmassflow
        },
        // arguments 50, 51
        {
            inletghost, outletghost
        },
        // arguments 52 to 54
        {
            facediameter, facearea, faceinclination
        },
        // arguments 55 to 76
        {
            celldiameter, cellarea, areagradient, cellinclination, relativeroughness, pressure,
            temperature, soundspeed, density, viscosity, internalenergy, totalenergy, enthalpy,
            totalenthalpy, velocity, massflowrate, machnumber, ambienttemperature,
            heattransfercoefficient, densitychange, temperaturechange, massflowdeviation
        },
        // arguments 77 to 104
        {
            endtemperature1, endtemperature2, endmassflow1, endmassflow2, endenergy1,
            endenergy2, endsoundspeed1, endsoundspeed2, endmachnumber1, endmachnumber2,
            bcpressure1, bcpressure2, bcdensity1, bcdensity2, bcvelocity1, bcvelocity2,
            bcenthalpy1, bcenthalpy2, bctemperature1, bctemperature2, bcmassflowrate1,
            bcmassflowrate2, bcinternalenergy1, bcinternalenergy2, bcsoundspeed1,
            bcsoundspeed2, bcmachnumber1, bcmachnumber2
        },
        // arguments 105, 106
        {
            bcloaded1, bcloaded2
        },
    };
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::getphysparams(s, b); });
}

PELMORA_API void setphysparams(
    const int32_t* nvariables,
    const int32_t* nfaces,
    const int32_t* ncells,
    const int32_t* npipes,
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
    const pelmora::PhysicalStateIn b{
        // argument 4
        npipes,
        // arguments 5 to 13
        {
            pipepassflag, firstcell, lastcell, inletpressurefixed, outletpressurefixed,
            inlettemperaturefixed, outlettemperaturefixed, inletmassflowfixed,
            outletmassflowfixed
        },
        // argument 14
        maximumtimestep,
        // arguments 15 to 34
        {
            endpressure1, endpressure2, enddensity1, enddensity2, endvelocity1, endvelocity2,
            endenthalpy1, endenthalpy2, midbcpressure1, midbcpressure2, midbctemperature1,
            midbctemperature2, midbcmassflow1, midbcmassflow2, lastbcpressure1,
            lastbcpressure2, lastbctemperature1, lastbctemperature2, lastbcmassflow1,
            lastbcmassflow2
        },
        // arguments 35 to 52
        {
            lastinletpressure, lastoutletpressure, inletpressure, outletpressure,
            lastinlettemperature, lastoutlettemperature, inlettemperature, outlettemperature,
            lastinletmassflow, lastoutletmassflow, inletmassflow, outletmassflow,
            midinletpressure, midoutletpressure, midinlettemperature, midoutlettemperature,
            midinletmassflow, midoutletmassflow
        },
        // arguments 53, 54
        {
            inletghost, outletghost
        },
        // arguments 55 to 57
        {
            facediameter, facearea, faceinclination
        },
        // arguments 58 to 79
        {
            celldiameter, cellarea, areagradient, cellinclination, relativeroughness, pressure,
            temperature, soundspeed, density, viscosity, internalenergy, totalenergy, enthalpy,
            totalenthalpy, velocity, massflowrate, machnumber, ambienttemperature,
            heattransfercoefficient, densitychange, temperaturechange, massflowdeviation
        },
        // arguments 80 to 107
        {
            endtemperature1, endtemperature2, endmassflow1, endmassflow2, endenergy1,
            endenergy2, endsoundspeed1, endsoundspeed2, endmachnumber1, endmachnumber2,
            bcpressure1, bcpressure2, bcdensity1, bcdensity2, bcvelocity1, bcvelocity2,
            bcenthalpy1, bcenthalpy2, bctemperature1, bctemperature2, bcmassflowrate1,
            bcmassflowrate2, bcinternalenergy1, bcinternalenergy2, bcsoundspeed1,
            bcsoundspeed2, bcmachnumber1, bcmachnumber2
        },
        // arguments 108, 109
        {
            bcloaded1, bcloaded2
        },
    };
    pelmora::guarded(Side::pipe, [&](Store& s) {
        pelmora::setphysparams(s, nvariables, nfaces, ncells, b);
    });
}
// clang-format on

} // extern "C"
