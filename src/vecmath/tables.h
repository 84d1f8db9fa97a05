// The C library's constants and tables for log, log10, pow and exp, laid
// out for the vector routines: the entries one lane needs side by side
// (four doubles per row for pow's logarithm, pairs for log and exp), so
// that a lane's row is one load.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace pelmora::vecmath::tables {

#include "vecmath/libmtables.inc"

// log10(2) in two parts and 1/ln(10), as the C library's log10 uses them.
constexpr double log10twohi = 0x1.34413509f6000p-2;
constexpr double log10twolo = 0x1.9fef311f12b36p-42;
constexpr double invln10 = 0x1.bcb7b1526e50ep-2;

struct PowLogRow {
    double invc, logc, logctail, unused;
};
struct LogRow {
    double invc, logc;
};

alignas(32) constexpr std::array<PowLogRow, 128> powlogrows = [] {
    std::array<PowLogRow, 128> t{};
    for (std::size_t i = 0; i < 128; ++i)
        t[i] = {powinvc[i], powlogc[i], powlogctail[i], 0.0};
    return t;
}();

alignas(16) constexpr std::array<LogRow, 128> logrows = [] {
    std::array<LogRow, 128> t{};
    for (std::size_t i = 0; i < 128; ++i)
        t[i] = {loginvc[i], loglogc[i]};
    return t;
}();

// Rows of (tail, scale bits) of 2^(j/128).
alignas(16) constexpr std::array<std::uint64_t, 256> exprows = std::to_array(exptable);

} // namespace pelmora::vecmath::tables
