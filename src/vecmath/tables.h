// The C library's constants and tables for log, log10, pow and exp, laid
// out for the vector routines: the entries one lane needs side by side
// (four doubles per row for pow's logarithm, pairs for log and exp), so
// that a lane's row is one load.
#pragma once

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
struct ExpRow { // 2^(j/128): the tail, and the bits of its scale
    double tail;
    std::uint64_t scalebits;
};
template <class Row>
struct Table {
    Row row[128];
};

alignas(32) inline constexpr Table<PowLogRow> powlogrows = [] {
    Table<PowLogRow> t{};
    for (int i = 0; i < 128; ++i)
        t.row[i] = {powinvc[i], powlogc[i], powlogctail[i], 0.0};
    return t;
}();

alignas(16) inline constexpr Table<LogRow> logrows = [] {
    Table<LogRow> t{};
    for (int i = 0; i < 128; ++i)
        t.row[i] = {loginvc[i], loglogc[i]};
    return t;
}();

alignas(16) inline constexpr Table<ExpRow> exprows = [] {
    Table<ExpRow> t{};
    for (int i = 0; i < 128; ++i)
        t.row[i] = {__builtin_bit_cast(double, exptable[2 * i]), exptable[2 * i + 1]};
    return t;
}();

} // namespace pelmora::vecmath::tables
