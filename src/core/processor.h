#pragma once

// The vector instructions that the core's fast paths use. SIGILFLIP_PLAIN_SCAN builds the plain,
// portable paths only, as on processors without SSE2.
#if (defined(__SSE2__) || defined(_M_X64)) && !defined(SIGILFLIP_PLAIN_SCAN)
#include <emmintrin.h>
#define SIGILFLIP_SSE2 1
#endif
