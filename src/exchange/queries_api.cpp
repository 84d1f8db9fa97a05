// Exported result queries.
#include "pelmora.h"

#include "engine/capi.h"
#include "exchange/queries.h"

using pelmora::Side;
using pelmora::Store;

extern "C" {

// ---- Counts -----------------------------------------------------------------

PELMORA_API void gettotalnumberofcells(int32_t* n)
{
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::gettotalnumberofcells(s, n); });
}

PELMORA_API void getshape(int32_t* nvars, int32_t* ncells, int32_t* nfaces, int32_t* npipes)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getshape(s, nvars, ncells, nfaces, npipes); });
}

PELMORA_API void getnumberofcells(int32_t pipe, int32_t* n)
{
    pelmora::guarded(Side::pipe, [&](Store& s) { pelmora::getnumberofcells(s, pipe, n); });
}

// ---- Profiles along one pipe ---------------------------------------------------

PELMORA_API void getdiameter(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.celldiameter, pipe, values); });
}

PELMORA_API void getdensity(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.density, pipe, values); });
}

PELMORA_API void getenthalpy(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.enthalpy, pipe, values); });
}

PELMORA_API void getinternalenergy(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.internalenergy, pipe, values); });
}

PELMORA_API void getmachnumber(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.machnumber, pipe, values); });
}

PELMORA_API void getmassflowrate(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.massflowrate, pipe, values); });
}

PELMORA_API void getpressure(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.pressure, pipe, values); });
}

PELMORA_API void getsoundspeed(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.soundspeed, pipe, values); });
}

PELMORA_API void gettemperature(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.temperature, pipe, values); });
}

PELMORA_API void getvelocity(int32_t pipe, double* values)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getprofile(s, s.velocity, pipe, values); });
}

// ---- State at the network inlet (end 1) and outlet (end 2) ----------------------

PELMORA_API void getbcdensity(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcdensity, end, value); });
}

PELMORA_API void getbcenthalpy(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcenthalpy, end, value); });
}

PELMORA_API void getbcinternalenergy(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcinternalenergy, end, value); });
}

PELMORA_API void getbcmachnumber(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcmachnumber, end, value); });
}

PELMORA_API void getbcmassflowrate(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcmassflowrate, end, value); });
}

PELMORA_API void getbcpressure(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcpressure, end, value); });
}

PELMORA_API void getbcsoundspeed(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcsoundspeed, end, value); });
}

PELMORA_API void getbctemperature(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bctemperature, end, value); });
}

PELMORA_API void getbcvelocity(int32_t end, double* value)
{
    pelmora::guarded(Side::pipe,
                     [&](Store& s) { pelmora::getendvalue(s, s.bcvelocity, end, value); });
}

} // extern "C"
