// Bit-for-bit comparison of two whole stores: every count, code, context
// value, end pair, per-pipe, per-cell and per-face array. Only the working
// storage (the chain update's window, the steady march's face arrays) is
// left out; it carries nothing from one call to the next.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>

#include "engine/store.h"

namespace pelmora::testing {

inline bool samebits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

template <class T>
void expectsameitems(const std::vector<T>& a, const std::vector<T>& b, const std::string& what)
{
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t i = 0; i < a.size(); ++i) {
        bool same = false;
        if constexpr (std::is_same_v<T, double>)
            same = samebits(a[i], b[i]);
        else
            same = a[i] == b[i];
        if (!same) {
            ADD_FAILURE() << what << " differs at element " << i + 1 << ": " << a[i] << " against "
                          << b[i];
            return;
        }
    }
}

inline void expectsamestore(const Store& a, const Store& b)
{
    // Counts, codes and context.
    EXPECT_EQ(a.numberofpipes, b.numberofpipes);
    EXPECT_EQ(a.totalcells, b.totalcells);
    EXPECT_EQ(a.pipeerrorcode, b.pipeerrorcode);
    EXPECT_EQ(a.fluiderrorcode, b.fluiderrorcode);
    EXPECT_EQ(a.currentcell, b.currentcell);
    EXPECT_EQ(a.currentface, b.currentface);
    EXPECT_EQ(a.atinletface, b.atinletface);
    EXPECT_EQ(a.atoutletface, b.atoutletface);
    // The current fluid state.
    const double Store::*current[] = {
        &Store::curpressure, &Store::curtemperature, &Store::curdensity,    &Store::curenergy,
        &Store::curenthalpy, &Store::curviscosity,   &Store::cursoundspeed, &Store::simulationtime};
    for (auto member : current)
        EXPECT_TRUE(samebits(a.*member, b.*member)) << "current fluid state";
    // End pairs.
    const EndPair<double> Store::*pairs[] = {
        &Store::lastbcpressure, &Store::lastbctemperature, &Store::lastbcmassflow,
        &Store::midbcpressure,  &Store::midbctemperature,  &Store::midbcmassflow,
        &Store::endpressure,    &Store::endtemperature,    &Store::endmassflow,
        &Store::enddensity,     &Store::endvelocity,       &Store::endenergy,
        &Store::endenthalpy,    &Store::endsoundspeed,     &Store::endmachnumber,
        &Store::bcpressure,     &Store::bctemperature,     &Store::bcmassflowrate,
        &Store::bcdensity,      &Store::bcvelocity,        &Store::bcinternalenergy,
        &Store::bcenthalpy,     &Store::bcsoundspeed,      &Store::bcmachnumber,
        &Store::pipeendarea};
    for (std::size_t i = 0; i < std::size(pairs); ++i)
        for (int end = 1; end <= 2; ++end)
            EXPECT_TRUE(samebits((a.*pairs[i])(end), (b.*pairs[i])(end)))
                << "end pair " << i << ", end " << end;
    // Per pipe.
    const Array1<std::int32_t> Store::*logicals[] = {&Store::firstcell,
                                                     &Store::lastcell,
                                                     &Store::pipepassflag,
                                                     &Store::inletpressurefixed,
                                                     &Store::outletpressurefixed,
                                                     &Store::inlettemperaturefixed,
                                                     &Store::outlettemperaturefixed,
                                                     &Store::inletmassflowfixed,
                                                     &Store::outletmassflowfixed};
    for (std::size_t i = 0; i < std::size(logicals); ++i)
        expectsameitems((a.*logicals[i]).raw(), (b.*logicals[i]).raw(),
                        "per-pipe integer " + std::to_string(i));
    // Every array of reals: per pipe, per variable, per cell, per face.
    const Array1<double> Store::*reals[] = {&Store::midinletpressure,
                                            &Store::midoutletpressure,
                                            &Store::midinlettemperature,
                                            &Store::midoutlettemperature,
                                            &Store::midinletmassflow,
                                            &Store::midoutletmassflow,
                                            &Store::inletghost,
                                            &Store::outletghost,
                                            &Store::density,
                                            &Store::pressure,
                                            &Store::temperature,
                                            &Store::viscosity,
                                            &Store::soundspeed,
                                            &Store::internalenergy,
                                            &Store::totalenergy,
                                            &Store::enthalpy,
                                            &Store::totalenthalpy,
                                            &Store::velocity,
                                            &Store::massflowrate,
                                            &Store::machnumber,
                                            &Store::massflowdeviation,
                                            &Store::temperaturechange,
                                            &Store::densitychange,
                                            &Store::facediameter,
                                            &Store::facearea,
                                            &Store::faceinclination,
                                            &Store::facelength,
                                            &Store::inversefacelength,
                                            &Store::inletbcgradient,
                                            &Store::inletbcvalue,
                                            &Store::inletbcweight,
                                            &Store::outletbcgradient,
                                            &Store::outletbcvalue,
                                            &Store::outletbcweight};
    for (std::size_t i = 0; i < std::size(reals); ++i)
        expectsameitems((a.*reals[i]).raw(), (b.*reals[i]).raw(), "array " + std::to_string(i));
    expectsameitems(a.conserved.raw(), b.conserved.raw(), "conserved");
    expectsameitems(a.previousconserved.raw(), b.previousconserved.raw(), "previousconserved");
}

} // namespace pelmora::testing
