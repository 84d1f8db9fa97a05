// Run-time loading of the engine library through dlopen and dlsym.
#include "engine.h"

#include <dlfcn.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace pelmorarun {

namespace {

// Resolves one entry point by its undecorated name.
template <class Fn>
bool resolve(void* handle, const char* name, Fn& target, std::string& error)
{
    void* symbol = dlsym(handle, name);
    if (!symbol) {
        error = std::string("the library has no entry point '") + name + "'";
        return false;
    }
    target = reinterpret_cast<Fn>(symbol);
    return true;
}

std::filesystem::path executabledirectory()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path(".") : self.parent_path();
}

} // namespace

bool loadengine(const std::string& path, Engine& e, std::string& error)
{
    // 1. Load the library; RTLD_LOCAL keeps its symbols to this handle.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* reason = dlerror();
        error = "cannot load the engine library '" + path + "': " + (reason ? reason : "unknown");
        return false;
    }
    // 2. Resolve every entry point the host calls.
    const bool ok = resolve(handle, "loadfluid", e.loadfluid, error) &&
                    resolve(handle, "loadpipedata", e.loadpipedata, error) &&
                    resolve(handle, "loadwalldata", e.loadwalldata, error) &&
                    resolve(handle, "maxtimestep", e.maxtimestep, error) &&
                    resolve(handle, "loadinitialconditions", e.loadinitialconditions, error) &&
                    resolve(handle, "loadbc", e.loadbc, error) &&
                    resolve(handle, "transientpipes", e.transientpipes, error) &&
                    resolve(handle, "steadypipes", e.steadypipes, error) &&
                    resolve(handle, "steadystate", e.steadystate, error) &&
                    resolve(handle, "approxchokepressure", e.approxchokepressure, error) &&
                    resolve(handle, "freepipememory", e.freepipememory, error) &&
                    resolve(handle, "getshape", e.getshape, error) &&
                    resolve(handle, "getnumberofcells", e.getnumberofcells, error) &&
                    resolve(handle, "gethyperparams", e.gethyperparams, error) &&
                    resolve(handle, "getdiameter", e.getdiameter, error) &&
                    resolve(handle, "getdensity", e.getdensity, error) &&
                    resolve(handle, "getpressure", e.getpressure, error) &&
                    resolve(handle, "gettemperature", e.gettemperature, error) &&
                    resolve(handle, "getmassflowrate", e.getmassflowrate, error) &&
                    resolve(handle, "getvelocity", e.getvelocity, error) &&
                    resolve(handle, "getmachnumber", e.getmachnumber, error) &&
                    resolve(handle, "getbcpressure", e.getbcpressure, error) &&
                    resolve(handle, "getbctemperature", e.getbctemperature, error) &&
                    resolve(handle, "getbcmassflowrate", e.getbcmassflowrate, error) &&
                    resolve(handle, "getbcdensity", e.getbcdensity, error) &&
                    resolve(handle, "getbcvelocity", e.getbcvelocity, error) &&
                    resolve(handle, "getbcmachnumber", e.getbcmachnumber, error) &&
                    resolve(handle, "getuhistory", e.getuhistory, error) &&
                    resolve(handle, "geterrorcode", e.geterrorcode, error);
    if (!ok) {
        error = "engine library '" + path + "': " + error;
        dlclose(handle);
        return false;
    }
    e.handle = handle;
    return true;
}

std::string defaultlibrarypath()
{
#ifdef PELMORA_RUN_DEFAULT_LIBRARY
    if (std::filesystem::exists(PELMORA_RUN_DEFAULT_LIBRARY))
        return PELMORA_RUN_DEFAULT_LIBRARY;
#endif
    const auto here = executabledirectory();
    for (const auto& candidate : {here / "libpelmora.so", here.parent_path() / "libpelmora.so"}) {
        if (std::filesystem::exists(candidate))
            return candidate.string();
    }
    return (here.parent_path() / "libpelmora.so").string();
}

} // namespace pelmorarun
