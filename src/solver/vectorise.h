// How the kernel's hot loops are compiled. Include this header first in a
// solver source file, before any other include, so that every function the
// file compiles or inlines (those of the standard headers too) is compiled
// with the same settings: a compiler will not inline a function built with
// other floating-point settings into a loop, and the loop then stays scalar.
//
// 1. No contraction of a * b + c into one fused multiply-add. A compiler may
//    fuse them on processors that have the instruction, and the fused form
//    rounds once instead of twice: the results would then depend on the
//    processor the engine runs on. The engine's results must not.
// 2. The floating-point exception flags are never read, so the compiler may
//    compute an operation whose result a select then discards (a division
//    in the unused branch of a ternary), which is what turns a loop with
//    conditions into vector code. No result changes by this.
// 3. The library is built with -fno-math-errno (CMakeLists.txt): nothing in
//    the engine reads errno, and without it a square root cannot be the
//    square root instruction in a vector loop. That instruction rounds
//    exactly as std::sqrt does; no result changes by this either.
// 4. A hot loop takes its arrays as __restrict parameters: they are
//    distinct arrays of the store or of a window on the stack, and the
//    compiler honours that promise only on parameters (without it, a loop
//    over many arrays is not vectorised at all).
// 5. Where the toolchain can pick a function's variant when the library is
//    loaded (GCC on Linux: ifunc), the hot loops are built for AVX-512, AVX2
//    and baseline x86-64, and the widest the processor has is used. Every
//    variant computes the same bits (IEEE operations, no contraction).
//    Elsewhere (the Windows build has no ifunc; other compilers) they are
//    built for the baseline instruction set, vectorised two doubles wide.
#pragma once

#if defined(__GNUC__) && !defined(__clang__)
#  pragma GCC optimize("fp-contract=off")
#  pragma GCC optimize("no-trapping-math")
#elif defined(__clang__)
#  pragma clang fp contract(off)
#endif

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#  define PELMORA_VECTORISED __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#  define PELMORA_VECTORISED
#endif
