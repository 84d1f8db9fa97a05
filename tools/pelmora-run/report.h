// What a run leaves behind: CSV files, a summary (text on stdout and JSON
// beside the CSV files) and optional PNG plots drawn by gnuplot.
#pragma once

#include <iosfwd>
#include <string>

#include "scenario.h"
#include "simulation.h"

namespace pelmorarun {

// ends.csv: one row per host step (or per output interval) with pressure,
// temperature, mass flow, density, velocity and Mach number at both ends,
// then the line pack and the coldest cell of the line.
void writeseries(const std::string& path, const Results& r, double interval);

// profiles.csv: one row per cell and requested time.
void writeprofiles(const std::string& path, const Results& r);

// The summary as text for people.
void printsummary(std::ostream& out, const Scenario& s, const Results& r);

// The same figures as JSON for scripts and tests (summary.json).
void writesummaryjson(const std::string& path, const Scenario& s, const Results& r);

// Mass balance: line pack change against the integrated end flows, as a
// fraction of the larger of the line pack and the mass that passed through.
double massbalanceerror(const Results& r);

// PNG plots through gnuplot in `directory` (ends_pressure.png,
// ends_flow.png, ends_temperature.png, linepack.png, profiles_pressure.png). Returns false with a
// reason when gnuplot is missing or fails.
bool drawplots(const std::string& directory, const Scenario& s, const Results& r,
               std::string& error);

} // namespace pelmorarun
