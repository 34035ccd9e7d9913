// The string matcher: the sliding window, the hash chains, the longest-match
// search and the lazy (and fast) parsing loops that feed the tally.

#include <string.h>

#include "zip/deflate_state.h"
#include "zip/deflate_tally.h"

namespace zip {
namespace deflate_internal {
namespace {

struct LevelConfig {
  uint16_t good_length;
  uint16_t max_lazy;
  uint16_t nice_length;
  uint16_t max_chain;
};

constexpr LevelConfig kLevelConfig[10] = {
    {0, 0, 0, 0},        {4, 4, 8, 4},       {4, 5, 16, 8},
    {4, 6, 32, 32},      {4, 4, 16, 16},     {8, 16, 32, 32},
    {8, 16, 128, 128},   {8, 32, 128, 256},  {32, 128, 258, 1024},
    {32, 258, 258, 4096}};

static_assert(kHashShift * kMinMatch >= 15 && kMaxMatch == 258,
              "Code too clever");

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  memcpy(&v, p, 8);
  return v;
}

inline void UpdateHash(DeflateState& s, uint8_t byte) {
  s.ins_h = ((s.ins_h << kHashShift) ^ byte) & kHashMask;
}

// Links position `pos` into its hash chain; returns the chain's previous
// head (0 when empty).
inline uint32_t InsertString(DeflateState& s, uint32_t pos) {
  UpdateHash(s, s.window[pos + kMinMatch - 1]);
  const uint16_t chain_start = s.head[s.ins_h];
  const uint32_t link = pos & kWindowMask;
  s.prev[link] = chain_start;
  s.prev[link + kWindowSize] = chain_start;
  s.head[s.ins_h] = static_cast<uint16_t>(pos);
  return chain_start;
}

// Asks the cache for the chain head of the next position while the search
// at this one runs. The next search, when there is one, starts there; and
// a walk ends on a branch the processor mispredicts, so it would not start
// that load early by itself.
inline void PrefetchNextHead(const DeflateState& s) {
  const uint32_t next_hash =
      ((s.ins_h << kHashShift) ^ s.window[s.strstart + kMinMatch]) & kHashMask;
  __builtin_prefetch(&s.head[next_hash]);
}

// Inserts the positions `from` to `to`, both included (none when `to` is
// below `from`).
inline void InsertStrings(DeflateState& s, uint32_t from, uint32_t to) {
  for (uint32_t pos = from; pos <= to; ++pos) InsertString(s, pos);
}

// Equal bytes at `scan` and `match`, at most kMaxMatch; the first two are
// known to agree. Eight bytes per step: the first differing byte is the
// lowest set byte of the XOR on this little-endian target.
inline uint32_t MatchLength(const uint8_t* scan, const uint8_t* match) {
  for (uint32_t len = 2; len < kMaxMatch; len += 8) {
    const uint64_t diff = Load64(scan + len) ^ Load64(match + len);
    if (diff != 0) {
      const uint32_t found = len + (__builtin_ctzll(diff) >> 3);
      return found < kMaxMatch ? found : kMaxMatch;
    }
  }
  return kMaxMatch;
}

// Reads into the window at `at`, at most `room` bytes. False on a read
// error, which stops the entry.
bool ReadInput(DeflateState& s, uint32_t at, uint32_t room, uint32_t* got) {
  const uint32_t n = s.io->read(s.io->context, s.window + at, room);
  // A source that claims more than it was given room for is broken too.
  if (n == kDeflateReadError || n > room) {
    s.status = DeflateStatus::kReadError;
    return false;
  }
  *got = n;
  s.input_read += n;
  return true;
}

// Positions drop by the slide; those that leave the window become 0, the
// end of a chain. A plain loop, which the compiler turns into saturating
// vector subtractions.
void RebaseTable(uint16_t* table, uint32_t size) {
  for (uint32_t n = 0; n < size; ++n) {
    const uint16_t m = table[n];
    table[n] = static_cast<uint16_t>(m >= kWindowSize ? m - kWindowSize : 0);
  }
}

void SlideWindow(DeflateState& s) {
  memcpy(s.window, s.window + kWindowSize, kWindowSize);
  s.match_start -= kWindowSize;
  s.strstart -= kWindowSize;
  s.block_start -= kWindowSize;
  RebaseTable(s.head, kHashSize);
  RebaseTable(s.prev, 2 * kWindowSize);
}

void FillWindow(DeflateState& s) {
  uint32_t more = s.window_size - s.lookahead - s.strstart;
  if (s.strstart >= kSlideAt) {
    SlideWindow(s);
    more += kWindowSize;
  }
  if (s.eofile) return;
  if (more < 2) {
    FailCheck(s, "more < 2");
    return;
  }
  uint32_t n = 0;
  if (!ReadInput(s, s.strstart + s.lookahead, more, &n)) return;
  if (n == 0) {
    s.eofile = true;
  } else {
    s.lookahead += n;
  }
}

void Refill(DeflateState& s) {
  while (s.lookahead < kMinLookahead && !s.eofile && !Stopped(s)) {
    FillWindow(s);
  }
}

// Walks the chain from `cur_match` for a match longer than the previous
// one; returns the best length and leaves its start in s.match_start.
uint32_t LongestMatch(DeflateState& s, uint32_t cur_match) {
  const uint32_t strstart = s.strstart;
  uint32_t best_len = s.prev_length;
  uint32_t chain_length = s.max_chain;
  if (best_len >= s.good_match) chain_length >>= 2;
  // Past the end of the input the position may go beyond the usual bound;
  // the guard area keeps the scan inside the buffer then.
  if (strstart > s.window_size - kMinLookahead && !s.eofile) {
    FailCheck(s, "insufficient lookahead");
    return best_len;
  }
  if (strstart + kMaxMatch > kWindowBufferSize + kWindowGuard - 8) {
    FailCheck(s, "wild scan");
    return best_len;
  }

  const uint32_t limit = strstart > kMaxDistance ? strstart - kMaxDistance : 0;
  const uint32_t nice_match = s.nice_match;
  const uint8_t* const window = s.window;
  const uint8_t* const scan = window + strstart;
  const uint16_t* const prev = s.prev;
  const uint16_t scan_start = Load16(scan);
  // A longer match agrees at the current best length and the byte before:
  // two bytes that reject nearly every candidate before a full compare.
  uint16_t scan_end = Load16(scan + best_len - 1);
  const uint8_t* match_end = window + best_len - 1;
  uint32_t match_start = s.match_start;
  for (;;) {
    if (cur_match >= strstart) {
      FailCheck(s, "no future");
      break;
    }
    if (Load16(match_end + cur_match) == scan_end &&
        Load16(window + cur_match) == scan_start) {
      const uint32_t len = MatchLength(scan, window + cur_match);
      if (len > best_len) {
        match_start = cur_match;
        best_len = len;
        if (len >= nice_match) break;
        scan_end = Load16(scan + best_len - 1);
        match_end = window + best_len - 1;
      }
    }
    cur_match = prev[cur_match];
    if (cur_match <= limit || --chain_length == 0) break;
  }
  s.match_start = match_start;
  return best_len;
}

// Searches the chain at `chain_start` when the rules allow it; returns the
// match length to use (2 or less means none).
inline uint32_t FindMatch(DeflateState& s, uint32_t chain_start) {
  if (chain_start == 0 || s.prev_length >= s.max_lazy ||
      s.strstart - chain_start > kMaxDistance) {
    return kMinMatch - 1;
  }
  if (s.nice_match > s.lookahead) s.nice_match = s.lookahead;
  uint32_t length = LongestMatch(s, chain_start);
  if (length > s.lookahead) length = s.lookahead;
  if (length == kMinMatch && s.strstart - s.match_start > kTooFar) {
    length = kMinMatch - 1;
  }
  return length;
}

inline const uint8_t* BlockBytes(const DeflateState& s) {
  return s.block_start >= 0 ? s.window + s.block_start : nullptr;
}

inline uint64_t BlockLength(const DeflateState& s) {
  return static_cast<uint64_t>(static_cast<int64_t>(s.strstart) -
                               s.block_start);
}

// Flushes the block ending at the current position; false when the entry
// has stopped.
inline bool EndBlock(DeflateState& s) {
  FlushBlock(s, BlockBytes(s), BlockLength(s), false);
  s.block_start = s.strstart;
  return !Stopped(s);
}

uint64_t DeflateLazy(DeflateState& s) {
  uint32_t match_length = kMinMatch - 1;
  bool match_available = false;
  while (s.lookahead != 0) {
    const uint32_t chain_start =
        s.lookahead >= kMinMatch ? InsertString(s, s.strstart) : 0;
    s.prev_length = match_length;
    const uint32_t prev_match = s.match_start;
    PrefetchNextHead(s);
    match_length = FindMatch(s, chain_start);
    if (Stopped(s)) return 0;

    if (s.prev_length >= kMinMatch && match_length <= s.prev_length) {
      const uint32_t max_insert = s.strstart + s.lookahead - kMinMatch;
      const bool flush = Tally(s, s.strstart - 1 - prev_match,
                               s.prev_length - kMinMatch);
      s.lookahead -= s.prev_length - 1;
      // The match covers up to `last`; its positions are inserted up to
      // the last one with three bytes left.
      const uint32_t last = s.strstart + s.prev_length - 2;
      InsertStrings(s, s.strstart + 1, last < max_insert ? last : max_insert);
      s.strstart = last;
      match_available = false;
      match_length = kMinMatch - 1;
      s.strstart++;
      if (flush && !EndBlock(s)) return 0;
    } else if (match_available) {
      if (Tally(s, 0, s.window[s.strstart - 1]) && !EndBlock(s)) return 0;
      s.strstart++;
      s.lookahead--;
    } else {
      match_available = true;
      s.strstart++;
      s.lookahead--;
    }
    if (s.lookahead < kMinLookahead) {
      Refill(s);
      if (Stopped(s)) return 0;
    }
  }
  if (match_available) Tally(s, 0, s.window[s.strstart - 1]);
  if (Stopped(s)) return 0;
  return FlushBlock(s, BlockBytes(s), BlockLength(s), true);
}

uint64_t DeflateFast(DeflateState& s) {
  s.prev_length = kMinMatch - 1;
  while (s.lookahead != 0) {
    const uint32_t chain_start =
        s.lookahead >= kMinMatch ? InsertString(s, s.strstart) : 0;
    const uint32_t match_length = FindMatch(s, chain_start);
    if (Stopped(s)) return 0;
    bool flush;
    if (match_length >= kMinMatch) {
      flush = Tally(s, s.strstart - s.match_start, match_length - kMinMatch);
      s.lookahead -= match_length;
      if (match_length <= s.max_lazy && s.lookahead >= kMinMatch) {
        for (uint32_t left = match_length - 1; left != 0; --left) {
          InsertString(s, ++s.strstart);
        }
        s.strstart++;
      } else {
        s.strstart += match_length;
        s.ins_h = s.window[s.strstart];
        UpdateHash(s, s.window[s.strstart + 1]);
      }
    } else {
      flush = Tally(s, 0, s.window[s.strstart]);
      s.strstart++;
      s.lookahead--;
    }
    if (flush && !EndBlock(s)) return 0;
    if (s.lookahead < kMinLookahead) {
      Refill(s);
      if (Stopped(s)) return 0;
    }
  }
  return FlushBlock(s, BlockBytes(s), BlockLength(s), true);
}

}  // namespace

void MatcherInit(DeflateState& s, int level, uint16_t* flags) {
  if (level < 1 || level > 8) {
    FailCheck(s, "bad pack level");
    return;
  }
  s.level = level;
  s.window_size = kWindowBufferSize;
  s.sliding = true;
  for (uint32_t n = 0; n < kHashSize; ++n) s.head[n] = 0;
  const LevelConfig& config = kLevelConfig[level];
  s.max_lazy = config.max_lazy;
  s.good_match = config.good_length;
  s.nice_match = config.nice_length;
  s.max_chain = config.max_chain;
  if (level < 3) *flags |= 4;
  if (level >= 8) *flags |= 2;

  s.strstart = 0;
  s.block_start = 0;
  s.prev_length = kMinMatch - 1;
  uint32_t n = 0;
  if (!ReadInput(s, 0, kReadChunk, &n)) return;
  s.lookahead = n;
  if (n == 0) {
    s.eofile = true;
    return;
  }
  Refill(s);
  if (Stopped(s)) return;
  s.ins_h = 0;
  for (uint32_t j = 0; j < kMinMatch - 1; ++j) UpdateHash(s, s.window[j]);
}

uint64_t DeflateLoop(DeflateState& s) {
  return s.level <= 3 ? DeflateFast(s) : DeflateLazy(s);
}

}  // namespace deflate_internal
}  // namespace zip
