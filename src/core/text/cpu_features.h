#pragma once

// The vector instructions that the core's fast paths use. SIGILFLIP_PLAIN_SCAN builds the plain,
// portable paths only, as on processors without SSE2.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(SIGILFLIP_PLAIN_SCAN)
#include <emmintrin.h>
#define SIGILFLIP_SSE2 1
#endif

// The block scan of line_scan.h, written with GCC's vector types: with GCC and Clang and SSE2.
#if defined(SIGILFLIP_SSE2) && defined(__GNUC__)
#define SIGILFLIP_BLOCK_SCAN 1
#endif

// A function whose calls are all inlined into it, where the compiler can.
#ifdef __GNUC__
#define SIGILFLIP_FLATTEN __attribute__((flatten))
#else
#define SIGILFLIP_FLATTEN
#endif

// With GCC and Clang on x86-64, functions compiled for AVX2 (SIGILFLIP_TARGET_AVX2), called only
// where HasAvx2.
#if defined(SIGILFLIP_SSE2) && defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define SIGILFLIP_AVX2 1
#define SIGILFLIP_TARGET_AVX2 __attribute__((target("avx2")))
// Everything between them is compiled for AVX2.
#ifdef __clang__
#define SIGILFLIP_BEGIN_AVX2 \
  _Pragma("clang attribute push(__attribute__((target(\"avx2\"))), apply_to = function)")
#define SIGILFLIP_END_AVX2 _Pragma("clang attribute pop")
#else
#define SIGILFLIP_BEGIN_AVX2 _Pragma("GCC push_options") _Pragma("GCC target(\"avx2\")")
#define SIGILFLIP_END_AVX2 _Pragma("GCC pop_options")
#endif
namespace sigilflip {
bool HasAvx2();
}
#endif
