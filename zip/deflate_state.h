#ifndef ZIP_DEFLATE_STATE_H_
#define ZIP_DEFLATE_STATE_H_

// The compressor's state for one entry, shared by the matcher, the tally,
// the tree builder and the bit writer. One allocation, zero-filled; nothing
// is allocated while compressing.

#include <stdint.h>

#include "zip/deflate.h"

namespace zip {
namespace deflate_internal {

constexpr uint32_t kWindowSize = 32768;
constexpr uint32_t kWindowMask = kWindowSize - 1;
constexpr uint32_t kWindowBufferSize = 2 * kWindowSize;
constexpr uint32_t kHashSize = 32768;
constexpr uint32_t kHashMask = kHashSize - 1;
constexpr uint32_t kHashShift = 5;
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr uint32_t kMaxDistance = kWindowSize - kMinLookahead;
constexpr uint32_t kSlideAt = kWindowSize + kMaxDistance;
constexpr uint32_t kTooFar = 4096;
static_assert(kWindowBufferSize <= 0x10000, "positions must fit the tables");
// Zeroed bytes after the window: at the end of the input a search may look
// up to a full match length past the last byte read, and the word compare
// loads 8 bytes at a time.
constexpr uint32_t kWindowGuard = kMaxMatch + 16;

constexpr uint32_t kLiteralBufferSize = 32768;
constexpr uint32_t kDistanceBufferSize = 32768;
constexpr uint32_t kEstimateInterval = 4096;

constexpr int kLengthCodes = 29;
constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes;  // 286
constexpr int kDCodes = 30;
constexpr int kBlCodes = 19;
constexpr int kMaxBits = 15;
constexpr int kMaxBlBits = 7;
constexpr int kHeapSize = 2 * kLCodes + 1;  // 573
constexpr int kRep3To6 = 16;
constexpr int kRepZero3To10 = 17;
constexpr int kRepZero11To138 = 18;

constexpr uint32_t kReadChunk = kWindowBufferSize;

struct TreeNode {
  uint32_t freq;
  uint16_t code;
  uint16_t len;
  uint16_t dad;
};

struct TreeDesc {
  TreeNode* dyn_tree;
  const TreeNode* static_tree;  // null for the code-length tree
  const uint8_t* extra_bits;
  int extra_base;
  int elems;
  int max_length;
  int max_code;
};

struct DeflateState {
  // I/O and outcome.
  const DeflateIo* io;
  int level;
  DeflateStatus status;
  const char* error_text;
  uint64_t input_read;

  // Bit output. The accumulator holds fewer than 32 pending bits between
  // calls; the stream is the same as a 16-bits-at-a-time writer's.
  uint8_t* out;
  uint32_t out_size;
  uint32_t fill;
  uint64_t bit_buffer;
  uint32_t bit_count;
  uint64_t bytes_written;

  // Trees.
  TreeNode dyn_ltree[kHeapSize];
  TreeNode dyn_dtree[2 * kDCodes + 1];
  TreeNode static_ltree[kLCodes + 2];
  TreeNode static_dtree[kDCodes];
  TreeNode bl_tree[2 * kBlCodes + 1];
  TreeDesc l_desc;
  TreeDesc d_desc;
  TreeDesc bl_desc;
  uint16_t bl_count[kMaxBits + 1];
  int heap[kHeapSize];
  int heap_len;
  int heap_max;
  uint8_t depth[kHeapSize];
  uint8_t length_code[256];
  uint8_t dist_code[512];
  int base_length[kLengthCodes];
  int base_dist[kDCodes];

  // Tallied items of the current block: bits 0-7 the literal or the match
  // length - 3, bits 8 and up the match distance (0 for a literal).
  uint32_t items[kLiteralBufferSize];
  uint32_t item_count;
  uint32_t dist_count;
  uint64_t opt_len;
  uint64_t static_len;
  uint64_t compressed_bytes;
  uint64_t compressed_bits;
  uint64_t input_len;
  uint16_t* file_type;

  // Matching. A position in the window buffer fits 16 bits, and the chain
  // tables hold no more: at half the width of a 32-bit table, twice as much
  // of the chains stays in the cache while a search walks them.
  uint8_t window[kWindowBufferSize + kWindowGuard];
  // The chain link of position p is prev[p AND kWindowMask]; it is kept
  // twice, there and kWindowSize further on, so that prev[p] reads it for
  // any position p of the buffer. A search then follows a link with one
  // load and no masking, which shortens each step of the walk.
  uint16_t prev[2 * kWindowSize];
  uint16_t head[kHashSize];
  uint32_t window_size;
  bool sliding;
  int64_t block_start;
  uint32_t ins_h;
  uint32_t prev_length;
  uint32_t match_start;
  uint32_t strstart;
  uint32_t lookahead;
  bool eofile;
  uint32_t max_chain;
  uint32_t max_lazy;
  uint32_t good_match;
  uint32_t nice_match;
};

inline bool Stopped(const DeflateState& s) {
  return s.status != DeflateStatus::kOk;
}

// Records a failed internal check and stops the entry: a compressor in a
// bad state must not write anything further.
inline void FailCheck(DeflateState& s, const char* text) {
  s.error_text = text;
  if (s.status == DeflateStatus::kOk) s.status = DeflateStatus::kInternalError;
}

// deflate_trees.cc
void TreesInit(DeflateState& s, uint16_t* file_type);
bool TallyWantsFlushEstimate(const DeflateState& s);
uint64_t FlushBlock(DeflateState& s, const uint8_t* buf, uint64_t stored_len,
                    bool eof);

// deflate_matcher.cc
void MatcherInit(DeflateState& s, int level, uint16_t* flags);
uint64_t DeflateLoop(DeflateState& s);

}  // namespace deflate_internal
}  // namespace zip

#endif  // ZIP_DEFLATE_STATE_H_
