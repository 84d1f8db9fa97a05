// One-based containers for the engine store.
//
// Everything the engine numbers (pipes, cells, faces, ends, conserved
// variables) counts from 1. These small wrappers keep that numbering visible
// at every use site instead of scattering "- 1" through the numerics.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace pelmora {

// A dense array indexed 1..size().
template <class T>
class Array1 {
public:
    void assign(std::size_t n, T value) { items.assign(n, value); }
    void release() { std::vector<T>().swap(items); }

    T& operator()(std::int64_t i) { return items[static_cast<std::size_t>(i - 1)]; }
    const T& operator()(std::int64_t i) const { return items[static_cast<std::size_t>(i - 1)]; }

    std::int64_t size() const { return static_cast<std::int64_t>(items.size()); }
    bool empty() const { return items.empty(); }

    // Address of element i (1-based), for bulk copies.
    T* at(std::int64_t i) { return items.data() + (i - 1); }
    const T* at(std::int64_t i) const { return items.data() + (i - 1); }

    std::vector<T>& raw() { return items; }
    const std::vector<T>& raw() const { return items; }

private:
    std::vector<T> items;
};

// A two-dimensional array (variable k, cell c), both from 1, with the
// variable index running fastest in memory: column c holds the values of
// every variable of cell c.
class Array2 {
public:
    void assign(std::int64_t nrows, std::int64_t ncols, double value)
    {
        rows = nrows;
        cols = ncols;
        items.assign(static_cast<std::size_t>(nrows * ncols), value);
    }
    void release()
    {
        std::vector<double>().swap(items);
        rows = 0;
        cols = 0;
    }

    double& operator()(std::int64_t k, std::int64_t c)
    {
        return items[static_cast<std::size_t>((c - 1) * rows + (k - 1))];
    }
    double operator()(std::int64_t k, std::int64_t c) const
    {
        return items[static_cast<std::size_t>((c - 1) * rows + (k - 1))];
    }

    std::int64_t nrows() const { return rows; }
    std::int64_t ncols() const { return cols; }
    bool empty() const { return items.empty(); }

    std::vector<double>& raw() { return items; }
    const std::vector<double>& raw() const { return items; }

private:
    std::int64_t rows = 0;
    std::int64_t cols = 0;
    std::vector<double> items;
};

// A value per boundary end: element 1 is the inlet (upstream) end,
// element 2 the outlet (downstream) end.
template <class T>
class EndPair {
public:
    T& operator()(int end) { return items[static_cast<std::size_t>(end - 1)]; }
    const T& operator()(int end) const { return items[static_cast<std::size_t>(end - 1)]; }

private:
    std::array<T, 2> items{};
};

// True when the lowest bit of a stored logical is set.
inline bool istrue(std::int32_t flag) { return (flag & 1) != 0; }

// The values the engine itself writes for a logical.
constexpr std::int32_t logicaltrue = -1;
constexpr std::int32_t logicalfalse = 0;

} // namespace pelmora
