// The fixed constants of the encrypted-data format (see the .cc file).

#ifndef QZCRYPTO_FORMAT_CONSTANTS_H_
#define QZCRYPTO_FORMAT_CONSTANTS_H_

#include <stddef.h>
#include <stdint.h>

namespace qzcrypto {

const size_t kProductKeyLength = 256;

extern const uint8_t kSubstitutionTable[256];
extern const uint8_t kDefaultKeyByte;
extern const uint8_t kProductKeyMaterial[kProductKeyLength];

}  // namespace qzcrypto

#endif  // QZCRYPTO_FORMAT_CONSTANTS_H_
