#ifndef ZIP_DEFLATE_TALLY_H_
#define ZIP_DEFLATE_TALLY_H_

// Records one literal or match of the current block and says whether the
// block should be flushed now.

#include "zip/deflate_state.h"

namespace zip {
namespace deflate_internal {

inline int DistCode(const DeflateState& s, uint32_t dist_minus_one) {
  return dist_minus_one < 256 ? s.dist_code[dist_minus_one]
                              : s.dist_code[256 + (dist_minus_one >> 7)];
}

// `dist` is 0 for a literal (then `lc` is the byte), else the match
// distance (then `lc` is its length - 3).
inline bool Tally(DeflateState& s, uint32_t dist, uint32_t lc) {
  if (dist == 0) {
    s.items[s.item_count++] = lc;
    s.dyn_ltree[lc].freq++;
  } else {
    const uint32_t d = dist - 1;
    const int dcode = DistCode(s, d);
    if (d >= kMaxDistance || lc > kMaxMatch - kMinMatch || dcode >= kDCodes) {
      FailCheck(s, "ct_tally: bad match");
      return true;
    }
    s.items[s.item_count++] = lc | (dist << 8);
    s.dyn_ltree[s.length_code[lc] + kLiterals + 1].freq++;
    s.dyn_dtree[dcode].freq++;
    s.dist_count++;
  }
  if (s.level > 2 && (s.item_count & (kEstimateInterval - 1)) == 0 &&
      TallyWantsFlushEstimate(s)) {
    return true;
  }
  return s.item_count == kLiteralBufferSize - 1 ||
         s.dist_count == kDistanceBufferSize;
}

}  // namespace deflate_internal
}  // namespace zip

#endif  // ZIP_DEFLATE_TALLY_H_
