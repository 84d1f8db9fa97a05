// The engine as a host sees it: the shared library loaded at run time and
// its entry points looked up by name, exactly as a process-simulation host
// does. Nothing here links against the library; the function types come
// from the public header only.
#pragma once

#include <string>

#include "pelmora.h"

namespace pelmorarun {

struct Engine {
    // One pointer per entry point the host uses, typed from pelmora.h.
    decltype(&::loadfluid) loadfluid = nullptr;
    decltype(&::loadpipedata) loadpipedata = nullptr;
    decltype(&::loadwalldata) loadwalldata = nullptr;
    decltype(&::maxtimestep) maxtimestep = nullptr;
    decltype(&::loadinitialconditions) loadinitialconditions = nullptr;
    decltype(&::loadbc) loadbc = nullptr;
    decltype(&::transientpipes) transientpipes = nullptr;
    decltype(&::steadypipes) steadypipes = nullptr;
    decltype(&::steadystate) steadystate = nullptr;
    decltype(&::approxchokepressure) approxchokepressure = nullptr;
    decltype(&::freepipememory) freepipememory = nullptr;
    decltype(&::getshape) getshape = nullptr;
    decltype(&::getnumberofcells) getnumberofcells = nullptr;
    decltype(&::gethyperparams) gethyperparams = nullptr;
    decltype(&::getdiameter) getdiameter = nullptr;
    decltype(&::getdensity) getdensity = nullptr;
    decltype(&::getpressure) getpressure = nullptr;
    decltype(&::gettemperature) gettemperature = nullptr;
    decltype(&::getmassflowrate) getmassflowrate = nullptr;
    decltype(&::getvelocity) getvelocity = nullptr;
    decltype(&::getmachnumber) getmachnumber = nullptr;
    decltype(&::getbcpressure) getbcpressure = nullptr;
    decltype(&::getbctemperature) getbctemperature = nullptr;
    decltype(&::getbcmassflowrate) getbcmassflowrate = nullptr;
    decltype(&::getbcdensity) getbcdensity = nullptr;
    decltype(&::getbcvelocity) getbcvelocity = nullptr;
    decltype(&::getbcmachnumber) getbcmachnumber = nullptr;
    decltype(&::getuhistory) getuhistory = nullptr;
    decltype(&::geterrorcode) geterrorcode = nullptr;

    void* handle = nullptr;
};

// Loads the library at `path` and resolves every entry point above. On
// failure returns false with a one-line reason in `error` (the loader's own
// message, or the first entry point that is missing).
bool loadengine(const std::string& path, Engine& engine, std::string& error);

// Where the library is looked for when no path is given: the library built
// beside this program in the same build tree, else libpelmora.so next to the
// executable or one directory above it.
std::string defaultlibrarypath();

} // namespace pelmorarun
