// Block output: the Huffman trees of each block (built with length limits),
// the choice between stored, fixed and dynamic blocks, and the coded data.

#include "zip/deflate_bits.h"
#include "zip/deflate_state.h"
#include "zip/deflate_tally.h"

namespace zip {
namespace deflate_internal {
namespace {

constexpr uint8_t kExtraLengthBits[kLengthCodes] = {
    0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
    2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr uint8_t kExtraDistBits[kDCodes] = {
    0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr uint8_t kExtraBlBits[kBlCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                            0, 0, 0, 0, 0, 0, 2, 3, 7};
// The order in which code-length code lengths are sent.
constexpr uint8_t kBlOrder[kBlCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                        11, 4,  12, 3, 13, 2, 14, 1, 15};

constexpr int kStoredBlock = 0;
constexpr int kFixedBlock = 1;
constexpr int kDynamicBlock = 2;
constexpr int kSmallest = 1;  // heap index of the least node

uint32_t ReverseBits(uint32_t code, int len) {
  uint32_t result = 0;
  for (int i = 0; i < len; ++i) {
    result = (result << 1) | (code & 1);
    code >>= 1;
  }
  return result;
}

// Canonical codes from the per-length counts in s.bl_count.
void GenCodes(DeflateState& s, TreeNode* tree, int max_code) {
  uint16_t next_code[kMaxBits + 1];
  uint32_t code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = (code + s.bl_count[bits - 1]) << 1;
    next_code[bits] = static_cast<uint16_t>(code);
  }
  if (code + s.bl_count[kMaxBits] - 1 != (1u << kMaxBits) - 1) {
    FailCheck(s, "inconsistent bit counts");
    return;
  }
  for (int n = 0; n <= max_code; ++n) {
    const int len = tree[n].len;
    if (len == 0) continue;
    tree[n].code = static_cast<uint16_t>(ReverseBits(next_code[len]++, len));
  }
}

void BuildTables(DeflateState& s) {
  int length = 0;
  int code = 0;
  for (; code < kLengthCodes - 1; ++code) {
    s.base_length[code] = length;
    for (int n = 0; n < (1 << kExtraLengthBits[code]); ++n) {
      s.length_code[length++] = static_cast<uint8_t>(code);
    }
  }
  // Length 258 has a code of its own, although 255 + 3 would also fit the
  // code before it.
  s.length_code[255] = static_cast<uint8_t>(code);
  s.base_length[code] = 255;

  int dist = 0;
  for (code = 0; code < 16; ++code) {
    s.base_dist[code] = dist;
    for (int n = 0; n < (1 << kExtraDistBits[code]); ++n) {
      s.dist_code[dist++] = static_cast<uint8_t>(code);
    }
  }
  dist >>= 7;
  for (; code < kDCodes; ++code) {
    s.base_dist[code] = dist << 7;
    for (int n = 0; n < (1 << (kExtraDistBits[code] - 7)); ++n) {
      s.dist_code[256 + dist++] = static_cast<uint8_t>(code);
    }
  }

  for (int bits = 0; bits <= kMaxBits; ++bits) s.bl_count[bits] = 0;
  int n = 0;
  while (n <= 143) s.static_ltree[n++].len = 8, s.bl_count[8]++;
  while (n <= 255) s.static_ltree[n++].len = 9, s.bl_count[9]++;
  while (n <= 279) s.static_ltree[n++].len = 7, s.bl_count[7]++;
  while (n <= 287) s.static_ltree[n++].len = 8, s.bl_count[8]++;
  GenCodes(s, s.static_ltree, kLCodes + 1);
  for (n = 0; n < kDCodes; ++n) {
    s.static_dtree[n].len = 5;
    s.static_dtree[n].code = static_cast<uint16_t>(ReverseBits(n, 5));
  }
}

void InitBlock(DeflateState& s) {
  for (int n = 0; n < kLCodes; ++n) s.dyn_ltree[n].freq = 0;
  for (int n = 0; n < kDCodes; ++n) s.dyn_dtree[n].freq = 0;
  for (int n = 0; n < kBlCodes; ++n) s.bl_tree[n].freq = 0;
  s.dyn_ltree[kEndBlock].freq = 1;
  s.opt_len = 0;
  s.static_len = 0;
  s.item_count = 0;
  s.dist_count = 0;
}

bool Smaller(const DeflateState& s, const TreeNode* tree, int n, int m) {
  return tree[n].freq < tree[m].freq ||
         (tree[n].freq == tree[m].freq && s.depth[n] <= s.depth[m]);
}

// Restores the heap property below node k.
void SiftDown(DeflateState& s, const TreeNode* tree, int k) {
  const int v = s.heap[k];
  int j = k << 1;
  while (j <= s.heap_len) {
    if (j < s.heap_len && Smaller(s, tree, s.heap[j + 1], s.heap[j])) j++;
    if (Smaller(s, tree, v, s.heap[j])) break;
    s.heap[k] = s.heap[j];
    k = j;
    j <<= 1;
  }
  s.heap[k] = v;
}

// Code lengths from the finished tree, at most desc.max_length bits: leaves
// that would be deeper are moved down from the longest level with room,
// and the lengths are then handed out again so that the least frequent
// leaves get the longest codes.
void GenBitLengths(DeflateState& s, const TreeDesc& desc) {
  TreeNode* tree = desc.dyn_tree;
  const TreeNode* stree = desc.static_tree;
  const int max_code = desc.max_code;
  const int max_length = desc.max_length;
  for (int bits = 0; bits <= kMaxBits; ++bits) s.bl_count[bits] = 0;

  tree[s.heap[s.heap_max]].len = 0;  // the root
  int overflow = 0;
  int h = s.heap_max + 1;
  for (; h < kHeapSize; ++h) {
    const int n = s.heap[h];
    int bits = tree[tree[n].dad].len + 1;
    if (bits > max_length) bits = max_length, overflow++;
    tree[n].len = static_cast<uint16_t>(bits);
    if (n > max_code) continue;  // not a leaf
    s.bl_count[bits]++;
    const int xbits = n >= desc.extra_base ? desc.extra_bits[n - desc.extra_base] : 0;
    const uint64_t f = tree[n].freq;
    s.opt_len += f * static_cast<uint64_t>(bits + xbits);
    if (stree) s.static_len += f * static_cast<uint64_t>(stree[n].len + xbits);
  }
  if (overflow == 0) return;

  do {
    int bits = max_length - 1;
    while (s.bl_count[bits] == 0) bits--;
    s.bl_count[bits]--;
    s.bl_count[bits + 1] += 2;
    s.bl_count[max_length]--;
    overflow -= 2;
  } while (overflow > 0);

  h = kHeapSize;
  for (int bits = max_length; bits != 0; --bits) {
    int n = s.bl_count[bits];
    while (n != 0) {
      const int m = s.heap[--h];
      if (m > max_code) continue;
      if (tree[m].len != bits) {
        s.opt_len += (static_cast<uint64_t>(bits) - tree[m].len) * tree[m].freq;
        tree[m].len = static_cast<uint16_t>(bits);
      }
      n--;
    }
  }
}

void BuildTree(DeflateState& s, TreeDesc& desc) {
  TreeNode* tree = desc.dyn_tree;
  const TreeNode* stree = desc.static_tree;
  const int elems = desc.elems;
  int max_code = -1;
  s.heap_len = 0;
  s.heap_max = kHeapSize;
  for (int n = 0; n < elems; ++n) {
    if (tree[n].freq != 0) {
      s.heap[++s.heap_len] = max_code = n;
      s.depth[n] = 0;
    } else {
      tree[n].len = 0;
    }
  }
  // A tree needs two codes at least: force codes of count 1.
  while (s.heap_len < 2) {
    const int forced = s.heap[++s.heap_len] = (max_code < 2 ? ++max_code : 0);
    tree[forced].freq = 1;
    s.depth[forced] = 0;
    s.opt_len--;
    if (stree) s.static_len -= stree[forced].len;
  }
  desc.max_code = max_code;

  for (int n = s.heap_len / 2; n >= 1; --n) SiftDown(s, tree, n);

  int node = elems;
  do {
    const int n = s.heap[kSmallest];
    s.heap[kSmallest] = s.heap[s.heap_len--];
    SiftDown(s, tree, kSmallest);
    const int m = s.heap[kSmallest];
    s.heap[--s.heap_max] = n;
    s.heap[--s.heap_max] = m;
    tree[node].freq = tree[n].freq + tree[m].freq;
    s.depth[node] = static_cast<uint8_t>(
        (s.depth[n] >= s.depth[m] ? s.depth[n] : s.depth[m]) + 1);
    tree[n].dad = tree[m].dad = static_cast<uint16_t>(node);
    s.heap[kSmallest] = node++;
    SiftDown(s, tree, kSmallest);
  } while (s.heap_len >= 2);
  s.heap[--s.heap_max] = s.heap[kSmallest];

  GenBitLengths(s, desc);
  GenCodes(s, tree, max_code);
}

// Walks a tree's code lengths as runs, as both the counting and the
// sending of the code-length codes see them. `emit(len, count)` gets each
// run: count 1 to 3 plain lengths below the minimum, or a repeat code.
template <typename Emit>
void WalkLengthRuns(const TreeNode* tree, int max_code, Emit emit) {
  int prevlen = -1;
  int nextlen = tree[0].len;
  int count = 0;
  int max_count = 7;
  int min_count = 4;
  if (nextlen == 0) max_count = 138, min_count = 3;
  for (int n = 0; n <= max_code; ++n) {
    const int curlen = nextlen;
    nextlen = n + 1 <= max_code ? tree[n + 1].len : 0xFFFF;
    if (++count < max_count && curlen == nextlen) continue;
    emit(curlen, prevlen, count, min_count);
    count = 0;
    prevlen = curlen;
    if (nextlen == 0) {
      max_count = 138, min_count = 3;
    } else if (curlen == nextlen) {
      max_count = 6, min_count = 3;
    } else {
      max_count = 7, min_count = 4;
    }
  }
}

void ScanTree(DeflateState& s, const TreeNode* tree, int max_code) {
  WalkLengthRuns(tree, max_code,
                 [&s](int curlen, int prevlen, int count, int min_count) {
                   if (count < min_count) {
                     s.bl_tree[curlen].freq += count;
                   } else if (curlen != 0) {
                     if (curlen != prevlen) s.bl_tree[curlen].freq++;
                     s.bl_tree[kRep3To6].freq++;
                   } else if (count <= 10) {
                     s.bl_tree[kRepZero3To10].freq++;
                   } else {
                     s.bl_tree[kRepZero11To138].freq++;
                   }
                 });
}

void SendTree(DeflateState& s, const TreeNode* tree, int max_code) {
  WalkLengthRuns(tree, max_code,
                 [&s](int curlen, int prevlen, int count, int min_count) {
                   if (count < min_count) {
                     do SendCode(s, curlen, s.bl_tree);
                     while (--count != 0);
                   } else if (curlen != 0) {
                     if (curlen != prevlen) {
                       SendCode(s, curlen, s.bl_tree);
                       count--;
                     }
                     if (count < 3 || count > 6) FailCheck(s, " 3_6?");
                     SendCode(s, kRep3To6, s.bl_tree);
                     SendBits(s, count - 3, 2);
                   } else if (count <= 10) {
                     SendCode(s, kRepZero3To10, s.bl_tree);
                     SendBits(s, count - 3, 3);
                   } else {
                     SendCode(s, kRepZero11To138, s.bl_tree);
                     SendBits(s, count - 11, 7);
                   }
                 });
}

// Builds the code-length tree and returns the index, in sending order, of
// the last code-length code to send (at least 3).
int BuildBlTree(DeflateState& s) {
  ScanTree(s, s.dyn_ltree, s.l_desc.max_code);
  ScanTree(s, s.dyn_dtree, s.d_desc.max_code);
  BuildTree(s, s.bl_desc);
  int max_blindex = kBlCodes - 1;
  for (; max_blindex >= 3; --max_blindex) {
    if (s.bl_tree[kBlOrder[max_blindex]].len != 0) break;
  }
  s.opt_len += 3 * (static_cast<uint64_t>(max_blindex) + 1) + 5 + 5 + 4;
  return max_blindex;
}

void SendAllTrees(DeflateState& s, int lcodes, int dcodes, int blcodes) {
  if (lcodes < 257 || dcodes < 1 || blcodes < 4) {
    FailCheck(s, "not enough codes");
    return;
  }
  if (lcodes > kLCodes || dcodes > kDCodes || blcodes > kBlCodes) {
    FailCheck(s, "too many codes");
    return;
  }
  SendBits(s, lcodes - 257, 5);
  SendBits(s, dcodes - 1, 5);
  SendBits(s, blcodes - 4, 4);
  for (int rank = 0; rank < blcodes; ++rank) {
    SendBits(s, s.bl_tree[kBlOrder[rank]].len, 3);
  }
  SendTree(s, s.dyn_ltree, lcodes - 1);
  SendTree(s, s.dyn_dtree, dcodes - 1);
}

void CompressBlock(DeflateState& s, const TreeNode* ltree,
                   const TreeNode* dtree) {
  const uint32_t* items = s.items;
  const uint32_t count = s.item_count;
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t item = items[i];
    uint32_t lc = item & 0xFF;
    uint32_t dist = item >> 8;
    if (dist == 0) {
      SendCode(s, lc, ltree);
      continue;
    }
    int code = s.length_code[lc];
    SendCode(s, code + kLiterals + 1, ltree);
    int extra = kExtraLengthBits[code];
    if (extra != 0) SendBits(s, lc - s.base_length[code], extra);
    dist--;
    code = DistCode(s, dist);
    if (code >= kDCodes) {
      FailCheck(s, "bad d_code");
      return;
    }
    SendCode(s, code, dtree);
    extra = kExtraDistBits[code];
    if (extra != 0) SendBits(s, dist - s.base_dist[code], extra);
  }
  SendCode(s, kEndBlock, ltree);
}

// Guesses text or binary from the literal counts of the first block.
void SetFileType(DeflateState& s) {
  uint64_t binary = 0;
  uint64_t text = 0;
  int n = 0;
  while (n < 7) binary += s.dyn_ltree[n++].freq;
  while (n < 128) text += s.dyn_ltree[n++].freq;
  while (n < kLiterals) binary += s.dyn_ltree[n++].freq;
  *s.file_type = binary > (text >> 2) ? 0 : 1;
}

}  // namespace

void TreesInit(DeflateState& s, uint16_t* file_type) {
  s.file_type = file_type;
  s.compressed_bytes = 0;
  s.compressed_bits = 0;
  s.input_len = 0;
  BuildTables(s);
  s.l_desc = {s.dyn_ltree, s.static_ltree, kExtraLengthBits, kLiterals + 1,
              kLCodes, kMaxBits, 0};
  s.d_desc = {s.dyn_dtree, s.static_dtree, kExtraDistBits, 0, kDCodes,
              kMaxBits, 0};
  s.bl_desc = {s.bl_tree, nullptr, kExtraBlBits, 0, kBlCodes, kMaxBlBits, 0};
  InitBlock(s);
}

bool TallyWantsFlushEstimate(const DeflateState& s) {
  uint64_t out_length = static_cast<uint64_t>(s.item_count) * 8;
  const uint64_t in_length = static_cast<uint64_t>(
      static_cast<int64_t>(s.strstart) - s.block_start);
  for (int dcode = 0; dcode < kDCodes; ++dcode) {
    out_length += static_cast<uint64_t>(s.dyn_dtree[dcode].freq) *
                  (5 + kExtraDistBits[dcode]);
  }
  out_length >>= 3;
  return s.dist_count < s.item_count / 2 && out_length < in_length / 2;
}

uint64_t FlushBlock(DeflateState& s, const uint8_t* buf, uint64_t stored_len,
                    bool eof) {
  if (*s.file_type == 0xFFFF) SetFileType(s);
  BuildTree(s, s.l_desc);
  BuildTree(s, s.d_desc);
  const int max_blindex = BuildBlTree(s);
  if (Stopped(s)) return 0;

  uint64_t opt_lenb = (s.opt_len + 3 + 7) >> 3;
  const uint64_t static_lenb = (s.static_len + 3 + 7) >> 3;
  s.input_len += stored_len;
  if (static_lenb <= opt_lenb) opt_lenb = static_lenb;

  // A stored block's LEN field holds 16 bits; the window never gives more.
  if (stored_len + 4 <= opt_lenb && buf != nullptr && stored_len <= 0xFFFF) {
    SendBits(s, (kStoredBlock << 1) + eof, 3);
    s.compressed_bytes += ((s.compressed_bits + 3 + 7) >> 3) + stored_len + 4;
    s.compressed_bits = 0;
    WriteStoredBytes(s, buf, static_cast<uint32_t>(stored_len));
  } else if (static_lenb == opt_lenb) {
    SendBits(s, (kFixedBlock << 1) + eof, 3);
    CompressBlock(s, s.static_ltree, s.static_dtree);
    s.compressed_bits += 3 + s.static_len;
  } else {
    SendBits(s, (kDynamicBlock << 1) + eof, 3);
    SendAllTrees(s, s.l_desc.max_code + 1, s.d_desc.max_code + 1,
                 max_blindex + 1);
    CompressBlock(s, s.dyn_ltree, s.dyn_dtree);
    s.compressed_bits += 3 + s.opt_len;
  }
  if (Stopped(s)) return 0;
  if ((s.compressed_bytes << 3) + s.compressed_bits != BitsSent(s)) {
    FailCheck(s, "bad compressed size");
    return 0;
  }
  InitBlock(s);
  if (eof) {
    AlignToByte(s);
    s.compressed_bits += 7;
  }
  return s.compressed_bytes + (s.compressed_bits >> 3);
}

}  // namespace deflate_internal
}  // namespace zip
