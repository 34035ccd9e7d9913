// Random numbers from the runtime's rand_s, which draws from the system's
// cryptographic generator.

// rand_s is declared only with _CRT_RAND_S set before <stdlib.h>.
#define _CRT_RAND_S
#include <stdlib.h>

#include "base/rand_util.h"

#include "base/logging.h"

namespace base {

uint32_t RandUint32() {
  uint32_t number;
  CHECK_EQ(rand_s(&number), 0);
  return number;
}

}  // namespace base
