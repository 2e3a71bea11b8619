#include "text/cpu_features.h"

namespace sigilflip {

#ifdef SIGILFLIP_AVX2
bool HasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
#endif

}  // namespace sigilflip
