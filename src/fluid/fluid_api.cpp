// Exported entry points of the fluid subsystem.
#include "pelmora.h"

#include "engine/capi.h"
#include "fluid/fluid.h"

using pelmora::Side;
using pelmora::Store;

extern "C" {

PELMORA_API void loadfluid(void* context, propertyroutine pt, propertyroutine rhoe,
                           propertyroutine ph, const double* molweight, const double* gamma,
                           const double* viscosity, const double* compressibility,
                           const int32_t* model)
{
    pelmora::guarded(Side::fluid, [&](Store& s) {
        if (!molweight || !gamma || !viscosity || !compressibility || !model) {
            pelmora::refusefluid(s);
            return;
        }
        pelmora::loadfluid(s, context, pt, rhoe, ph, *molweight, *gamma, *viscosity,
                           *compressibility, *model);
    });
}

PELMORA_API void approxchokepressure(double T, double D, double m, double* p)
{
    pelmora::guarded(Side::fluid, [&](Store& s) {
        if (!p) {
            pelmora::refusefluid(s);
            return;
        }
        pelmora::approxchokepressure(s, T, D, m, *p);
    });
}

} // extern "C"
