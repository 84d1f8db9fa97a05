// How the kernel's hot loops are compiled. The floating-point settings come
// from the build (CMakeLists.txt) and hold for every file of the library, so
// that a function of the standard headers inlined into a loop is compiled
// exactly as the loop is:
//
// 1. No contraction of a * b + c into one fused multiply-add
//    (-ffp-contract=off). A compiler may fuse them on processors that have
//    the instruction, and the fused form rounds once instead of twice: the
//    results would then depend on the processor the engine runs on. The
//    engine's results must not.
// 2. The floating-point exception flags are never read (-fno-trapping-math),
//    so the compiler may compute an operation whose result a select then
//    discards (a division in the unused branch of a ternary), which is what
//    turns a loop with conditions into vector code. No result changes by this.
// 3. Nothing in the engine reads errno (-fno-math-errno), and without it a
//    square root can be the square root instruction in a vector loop. That
//    instruction rounds exactly as std::sqrt does; no result changes by this
//    either.
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

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && defined(__linux__)
#  define PELMORA_VECTORISED __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#  define PELMORA_VECTORISED
#endif
