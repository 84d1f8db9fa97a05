// Reading a scenario from JSON. Every object is checked for unknown fields,
// every value for its type and range; the first problem found ends the
// reading with a message that names the field by its path.
#include "scenario.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <memory>

#include <nlohmann/json.hpp>

#include "pelmora_realgas.h"

namespace pelmorarun {

using nlohmann::json;

namespace {

enum class Range { finite, positive, nonnegative, aboveone };

const char* describe(Range r)
{
    switch (r) {
    case Range::positive:
        return "expected a positive number";
    case Range::nonnegative:
        return "expected a number of 0 or more";
    case Range::aboveone:
        return "expected a number above 1";
    case Range::finite:
        break;
    }
    return "expected a number";
}

bool inrange(double v, Range r)
{
    if (!std::isfinite(v))
        return false;
    switch (r) {
    case Range::positive:
        return v > 0;
    case Range::nonnegative:
        return v >= 0;
    case Range::aboveone:
        return v > 1;
    case Range::finite:
        break;
    }
    return true;
}

// One JSON object being read, with its path for messages.
class Reader {
public:
    Reader(const json& object, std::string path) : object_(object), path_(std::move(path))
    {
        if (!object_.is_object())
            fail(path_, "expected an object");
    }

    [[noreturn]] static void fail(const std::string& path, const std::string& what)
    {
        throw ScenarioError((path.empty() ? std::string("scenario") : path) + ": " + what);
    }

    std::string at(const std::string& key) const { return path_.empty() ? key : path_ + "." + key; }
    bool has(const std::string& key) const { return object_.contains(key); }
    const json& raw(const std::string& key) const { return object_.at(key); }

    // Rejects fields this object does not know, so a misspelt optional
    // field does not pass unnoticed.
    void onlyfields(std::initializer_list<const char*> known) const
    {
        for (const auto& item : object_.items()) {
            const bool ok = std::any_of(known.begin(), known.end(),
                                        [&](const char* k) { return item.key() == k; });
            if (!ok)
                fail(at(item.key()), "unknown field");
        }
    }

    double number(const std::string& key, Range r) const
    {
        if (!has(key))
            fail(at(key), std::string("missing; ") + describe(r));
        return numbervalue(raw(key), at(key), r);
    }

    double number(const std::string& key, Range r, double fallback) const
    {
        return has(key) ? number(key, r) : fallback;
    }

    static double numbervalue(const json& v, const std::string& path, Range r)
    {
        if (!v.is_number() || !inrange(v.get<double>(), r))
            fail(path, describe(r));
        return v.get<double>();
    }

    std::string text(const std::string& key, const std::string& fallback) const
    {
        if (!has(key))
            return fallback;
        if (!raw(key).is_string())
            fail(at(key), "expected a string");
        return raw(key).get<std::string>();
    }

    bool flag(const std::string& key, bool fallback) const
    {
        if (!has(key))
            return fallback;
        if (!raw(key).is_boolean())
            fail(at(key), "expected true or false");
        return raw(key).get<bool>();
    }

    Reader object(const std::string& key) const
    {
        if (!has(key))
            fail(at(key), "missing; expected an object");
        return Reader(raw(key), at(key));
    }

    const json& array(const std::string& key) const
    {
        if (!has(key))
            fail(at(key), "missing; expected a list");
        if (!raw(key).is_array() || raw(key).empty())
            fail(at(key), "expected a non-empty list");
        return raw(key);
    }

private:
    const json& object_;
    std::string path_;
};

std::string indexed(const std::string& path, std::size_t i)
{
    return path + "[" + std::to_string(i) + "]";
}

Gas readgas(const Reader& r)
{
    Gas gas;
    const std::string model = r.text("model", "");
    if (model == "ideal") {
        r.onlyfields({"model", "molweight", "gamma", "viscosity", "compressibility"});
        gas.ideal.molweight = r.number("molweight", Range::positive);
        gas.ideal.gamma = r.number("gamma", Range::aboveone);
        gas.ideal.viscosity = r.number("viscosity", Range::nonnegative);
        gas.ideal.compressibility = r.number("compressibility", Range::positive, 1.0);
    } else if (model == "realgas") {
        r.onlyfields({"model", "composition", "reference"});
        gas.real = true;
        const Reader composition = r.object("composition");
        gas.realgas.molefractions.assign(REALGAS_NCOMPONENTS, 0.0);
        double sum = 0;
        for (const auto& item : r.raw("composition").items()) {
            const int32_t index = realgas_componentindex(item.key().c_str());
            if (index < 0) {
                std::string known;
                for (int32_t i = 0; i < REALGAS_NCOMPONENTS; ++i) {
                    known += std::string(i ? ", " : "") + realgas_componentname(i);
                }
                Reader::fail(composition.at(item.key()), "unknown component; known: " + known);
            }
            const double y =
                Reader::numbervalue(item.value(), composition.at(item.key()), Range::nonnegative);
            gas.realgas.molefractions[static_cast<std::size_t>(index)] = y;
            sum += y;
        }
        if (std::abs(sum - 1.0) > 0.01) {
            Reader::fail(r.at("composition"), "mole fractions sum to " + std::to_string(sum) +
                                                  "; expected 1 (within 0.01)");
        }
        if (r.has("reference")) {
            const Reader ref = r.object("reference");
            ref.onlyfields({"pressure", "temperature"});
            gas.realgas.referencepressure = ref.number("pressure", Range::positive);
            gas.realgas.referencetemperature = ref.number("temperature", Range::positive);
        }
    } else {
        Reader::fail(r.at("model"), "expected \"ideal\" or \"realgas\"");
    }
    return gas;
}

Pipe readpipe(const Reader& r)
{
    r.onlyfields({"length", "diameter", "inletdiameter", "outletdiameter", "inclination",
                  "roughness", "celllength", "ambienttemperature", "heattransfercoefficient"});
    Pipe p;
    p.length = r.number("length", Range::positive);
    if (r.has("diameter")) {
        if (r.has("inletdiameter") || r.has("outletdiameter")) {
            Reader::fail(r.at("diameter"),
                         "give either diameter or inletdiameter and outletdiameter");
        }
        p.inletdiameter = p.outletdiameter = r.number("diameter", Range::positive);
    } else {
        p.inletdiameter = r.number("inletdiameter", Range::positive);
        p.outletdiameter = r.number("outletdiameter", Range::positive);
    }
    p.inclination = r.number("inclination", Range::finite, 0.0);
    if (std::abs(p.inclination) > 1.5707963267948966) {
        Reader::fail(r.at("inclination"), "expected radians between -pi/2 and pi/2");
    }
    p.roughness = r.number("roughness", Range::nonnegative);
    p.celllength = r.number("celllength", Range::positive);
    p.ambienttemperature = r.number("ambienttemperature", Range::positive);
    p.heattransfercoefficient = r.number("heattransfercoefficient", Range::nonnegative, 0.0);
    return p;
}

// A per-pipe value: one number for every pipe, or a list with one per pipe.
std::vector<double> perpipe(const Reader& r, const std::string& key, Range range, std::size_t n)
{
    if (!r.has(key))
        Reader::fail(r.at(key), std::string("missing; ") + describe(range));
    const json& v = r.raw(key);
    if (v.is_array()) {
        if (v.size() != n) {
            Reader::fail(r.at(key), "expected one value per pipe (" + std::to_string(n) + ")");
        }
        std::vector<double> out;
        for (std::size_t i = 0; i < n; ++i) {
            out.push_back(Reader::numbervalue(v[i], indexed(r.at(key), i), range));
        }
        return out;
    }
    return std::vector<double>(n, Reader::numbervalue(v, r.at(key), range));
}

StartState readstart(const Reader& r, std::size_t npipes)
{
    StartState s;
    const std::string type = r.text("type", "");
    if (type == "uniform") {
        r.onlyfields({"type", "pressure", "temperature", "massflow", "settletime"});
        s.pressure = perpipe(r, "pressure", Range::positive, npipes);
        s.temperature = perpipe(r, "temperature", Range::positive, npipes);
        s.massflow = perpipe(r, "massflow", Range::finite, npipes);
    } else if (type == "steadystate") {
        r.onlyfields({"type", "mode", "a", "b", "c", "settletime"});
        s.steady = true;
        const double mode = r.number("mode", Range::positive);
        if (mode != std::floor(mode) || mode > 6)
            Reader::fail(r.at("mode"), "expected 1 to 6");
        s.mode = static_cast<int>(mode);
        s.a = r.number("a", Range::positive);
        s.b = r.number("b", Range::positive);
        // c is a mass flow in modes 1 to 4 (any sign the mode allows) and a
        // pressure in modes 5 and 6.
        s.c = r.number("c", s.mode >= 5 ? Range::positive : Range::finite);
    } else {
        Reader::fail(r.at("type"), "expected \"uniform\" or \"steadystate\"");
    }
    s.settletime = r.number("settletime", Range::nonnegative, 0.0);
    return s;
}

EndTable readend(const Reader& r)
{
    r.onlyfields({"fixed", "table"});
    EndTable end;
    // 1. Which quantities the end imposes.
    const json& fixed = r.has("fixed") ? r.raw("fixed") : json::array();
    if (!fixed.is_array())
        Reader::fail(r.at("fixed"), "expected a list of quantity names");
    for (std::size_t i = 0; i < fixed.size(); ++i) {
        const std::string name = fixed[i].is_string() ? fixed[i].get<std::string>() : "";
        if (name == "pressure")
            end.pressurefixed = true;
        else if (name == "temperature")
            end.temperaturefixed = true;
        else if (name == "massflow")
            end.massflowfixed = true;
        else
            Reader::fail(indexed(r.at("fixed"), i),
                         "expected \"pressure\", \"temperature\" or \"massflow\"");
    }
    // 2. The table: every row has a time and each imposed quantity; a
    //    quantity that is not imposed may be left out (NaN here).
    const json& rows = r.array("table");
    const double nan = std::nan("");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const Reader row(rows[i], indexed(r.at("table"), i));
        row.onlyfields({"time", "pressure", "temperature", "massflow"});
        const double t = row.number("time", Range::nonnegative);
        if (!end.time.empty() && t < end.time.back()) {
            Reader::fail(row.at("time"), "times must not decrease down the table");
        }
        end.time.push_back(t);
        end.pressure.push_back(row.has("pressure") || end.pressurefixed
                                   ? row.number("pressure", Range::positive)
                                   : nan);
        end.temperature.push_back(row.has("temperature") || end.temperaturefixed
                                      ? row.number("temperature", Range::positive)
                                      : nan);
        end.massflow.push_back(
            row.has("massflow") || end.massflowfixed ? row.number("massflow", Range::finite) : nan);
    }
    return end;
}

Output readoutput(const Reader& r, double endtime)
{
    r.onlyfields({"directory", "interval", "profiles", "plots"});
    Output o;
    o.directory = r.text("directory", "");
    o.interval = r.number("interval", Range::nonnegative, 0.0);
    if (r.has("profiles")) {
        const json& times = r.raw("profiles");
        if (!times.is_array())
            Reader::fail(r.at("profiles"), "expected a list of times");
        for (std::size_t i = 0; i < times.size(); ++i) {
            const double t =
                Reader::numbervalue(times[i], indexed(r.at("profiles"), i), Range::nonnegative);
            if (t > endtime)
                Reader::fail(indexed(r.at("profiles"), i), "after endtime");
            o.profiletimes.push_back(t);
        }
        std::sort(o.profiletimes.begin(), o.profiletimes.end());
    }
    o.plots = r.flag("plots", false);
    return o;
}

} // namespace

Scenario scenariofromjson(const json& document)
{
    const Reader r(document, "");
    r.onlyfields({"name", "description", "gas", "pipes", "initial", "boundary", "timestep",
                  "endtime", "maxtimestep", "output"});
    Scenario s;
    s.name = r.text("name", "scenario");
    s.description = r.text("description", "");
    s.gas = readgas(r.object("gas"));

    const json& pipes = r.array("pipes");
    for (std::size_t i = 0; i < pipes.size(); ++i) {
        s.pipes.push_back(readpipe(Reader(pipes[i], indexed("pipes", i))));
    }
    s.start = readstart(r.object("initial"), s.pipes.size());

    const Reader boundary = r.object("boundary");
    boundary.onlyfields({"inlet", "outlet"});
    s.ends[0] = readend(boundary.object("inlet"));
    s.ends[1] = readend(boundary.object("outlet"));

    s.timestep = r.number("timestep", Range::positive);
    s.endtime = r.number("endtime", Range::positive);
    s.maxtimestep = r.number("maxtimestep", Range::positive, 0.0);
    s.output = r.has("output") ? readoutput(r.object("output"), s.endtime) : Output{};
    return s;
}

Scenario parsescenario(const std::string& text)
{
    json document;
    try {
        document = json::parse(text);
    } catch (const json::parse_error& e) {
        throw ScenarioError(std::string("not valid JSON: ") + e.what());
    }
    return scenariofromjson(document);
}

GasConstants gasconstants(const Scenario& s)
{
    const Gas& g = s.gas;
    if (!g.real)
        return {g.ideal.molweight, g.ideal.gamma, g.ideal.viscosity, g.ideal.compressibility};
    constexpr double celsius = 273.15;
    const std::unique_ptr<pelmora_realgas, decltype(&realgas_destroy)> gas(
        realgas_create(g.realgas.molefractions.data()), &realgas_destroy);
    if (!gas)
        throw ScenarioError("gas.composition: the real-gas provider refused it");
    GasConstants c;
    double tpc, ppc, ratio;
    realgas_description(gas.get(), &c.molweight, &tpc, &ppc);
    double pref = g.realgas.referencepressure, tref = g.realgas.referencetemperature;
    if (pref <= 0)
        pref = s.start.steady ? s.start.a : s.start.pressure.front();
    if (tref <= 0)
        tref = s.start.steady ? s.start.b : s.start.temperature.front();
    realgas_exponents(gas.get(), pref / 1000, tref - celsius, &ratio, &c.gamma);
    c.compressibility = realgas_z(gas.get(), pref / 1000, tref - celsius);
    double rho, energy, enthalpy, centipoise, sound;
    realgas_pt(gas.get(), pref / 1000, tref - celsius, &rho, &energy, &enthalpy, &centipoise,
               &sound);
    c.viscosity = centipoise * 1e-3;
    return c;
}

EndValues valuesat(const EndTable& table, double t)
{
    // 1. Find the first row after t; before the first and after the last row
    //    the table's end values hold.
    const auto& times = table.time;
    const auto after = std::upper_bound(times.begin(), times.end(), t);
    const std::size_t j = static_cast<std::size_t>(after - times.begin());
    auto row = [&](std::size_t i) {
        return EndValues{table.pressure[i], table.temperature[i], table.massflow[i]};
    };
    if (j == 0)
        return row(0);
    if (j == times.size())
        return row(times.size() - 1);
    // 2. Linear interpolation between rows j-1 and j.
    const double f = (t - times[j - 1]) / (times[j] - times[j - 1]);
    auto lerp = [f](double a, double b) { return a + f * (b - a); };
    return EndValues{lerp(table.pressure[j - 1], table.pressure[j]),
                     lerp(table.temperature[j - 1], table.temperature[j]),
                     lerp(table.massflow[j - 1], table.massflow[j])};
}

} // namespace pelmorarun
