// Exported entry points of the network setup.
#include "pelmora.h"

#include "engine/capi.h"
#include "network/network.h"

using pelmora::Side;
using pelmora::Store;

extern "C" {

PELMORA_API void loadpipedata(const int32_t* npipes, const double* length,
                              const double* inletdiameter, const double* outletdiameter,
                              const double* inclination, const double* roughness,
                              const double* celllength)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        if (npipes == nullptr) {
            pelmora::refusepipe(s);
            return;
        }
        pelmora::loadpipedata(s, *npipes, length, inletdiameter, outletdiameter, inclination,
                              roughness, celllength);
    });
}

PELMORA_API void freepipememory(void)
{
    pelmora::guarded(Side::pipe, [](Store& s) { pelmora::freepipememory(s); });
}

PELMORA_API void loadbc(int32_t end, double p, double T, double m, int32_t pfixed, int32_t tfixed,
                        int32_t mfixed)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::loadbc(s, end, p, T, m, pfixed, tfixed, mfixed); });
}

PELMORA_API void loadbcpipe(int32_t pipe, int32_t end, double p, double T, double m, int32_t pfixed,
                            int32_t tfixed, int32_t mfixed)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        pelmora::loadbcpipe(s, pipe, end, p, T, m, pfixed, tfixed, mfixed);
    });
}

PELMORA_API void loadwalldata(const double* ambienttemperature,
                              const double* heattransfercoefficient)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        pelmora::loadwalldata(s, ambienttemperature, heattransfercoefficient);
    });
}

PELMORA_API void maxtimestep(const double* dt)
{
    pelmora::guarded(Side::pipe, [&](Store& s) {
        if (dt == nullptr) {
            pelmora::refusepipe(s);
            return;
        }
        pelmora::maxtimestep(s, *dt);
    });
}

} // extern "C"
