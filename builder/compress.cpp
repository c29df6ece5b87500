#include "builder/compress.h"

#include "archive/codec.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <stdexcept>
#include <utility>

namespace {

constexpr size_t kMaxBlock = 0x40000000;    // the stub's largest String
constexpr uint32_t kMinCopy = 4;            // shortest copy, also shortest distance
constexpr uint32_t kMinRun = 3;             // shortest byte run
constexpr size_t kProgressStep = 1 << 20;   // report about once per MiB

// ---------------------------------------------------------------------------
// Token costs in bits, inlined where the parse weighs tokens by the million

// A number: k one-bits, a zero-bit, then a field of min(base + k*step, 32)
// bits, for the fewest k whose field holds the value.
struct NumberShape {
    int ones;   // k
    int width;  // of the field
};

constexpr __attribute__((always_inline)) NumberShape ShapeOf(uint32_t value, int base, int step)
{
    int bits = value == 0 ? 0 : 32 - __builtin_clz(value);     // significant bits
    int excess = bits - base;
    int k = excess <= 0 ? 0 : step == 1 ? excess : step == 2 ? (excess + 1) >> 1 : (excess + step - 1) / step;
    return {k, std::min(base + k * step, 32)};
}

constexpr __attribute__((always_inline)) uint32_t NumberCost(uint32_t value, int base, int step)
{
    NumberShape shape = ShapeOf(value, base, step);
    return (uint32_t)(shape.ones + 1 + shape.width);
}

// A literal run's kind bit and its count - 1 as a number of base 2 and
// step 2: 4 + 3k bits in class k, which holds the counts up to 4^(k+1).
// Weighed at every position, so the class comes straight from the bits.
constexpr uint32_t LiteralHeaderCost(uint32_t count)
{
    return 4 + 3 * ((31 - __builtin_clz((count - 1) | 1)) >> 1);
}

constexpr bool HeaderCostAgrees()
{
    for (uint32_t count : {1u, 4u, 5u, 16u, 17u, 64u, 65u, 1u << 30, (1u << 30) + 1, 0xFFFFFFFFu})
        if (LiteralHeaderCost(count) != 1 + NumberCost(count - 1, 2, 2))
            return false;
    return true;
}
static_assert(HeaderCostAgrees());

constexpr uint32_t LiteralRunCost(uint32_t count) { return LiteralHeaderCost(count) + 8 * count; }
constexpr uint32_t ByteRunCost(uint32_t length) { return 2 + 8 + NumberCost(length - kMinRun, 1, 1); }

constexpr uint32_t CopyCost(uint32_t length, uint32_t distance)
{
    return 2 + NumberCost(length - kMinCopy, 2, 1) + NumberCost(distance - kMinCopy, 12, 2);
}

// cost(n) for n from `first` to N - 1, for the costs the parse looks up.
template <size_t N, class Cost>
constexpr std::array<uint8_t, N> CostTable(uint32_t first, Cost cost)
{
    std::array<uint8_t, N> bits{};
    for (uint32_t n = first; n < N; n++)
        bits[n] = (uint8_t)cost(n);
    return bits;
}

// Bits of a hash table index: enough for one slot per `perSlot` bytes of
// input, between 10 and `most`, so that small inputs get small tables.
inline int TableBits(size_t size, size_t perSlot, int most)
{
    int bits = 10;
    while (bits < most && (size_t(1) << bits) * perSlot < size)
        bits++;
    return bits;
}

// ---------------------------------------------------------------------------
// Writing the stream

// Collects bits least significant first, the order the decoder reads them.
class BitWriter {
public:
    explicit BitWriter(size_t expectedBytes)
        : out_(std::max<size_t>(expectedBytes, 64)), at_(out_.data()), end_(at_ + out_.size())
    {
    }

    // Appends the low `n` bits of `value` (n <= 32, value < 2^n); fill_ stays
    // below 32 between calls, so the 64-bit accumulator never overflows.
    void Put(uint64_t value, int n)
    {
        acc_ |= value << fill_;
        fill_ += n;
        if (fill_ >= 32) {
            if (end_ - at_ < 4)
                Grow();
            uint32_t word = (uint32_t)acc_;
            memcpy(at_, &word, 4);
            at_ += 4;
            acc_ >>= 32;
            fill_ -= 32;
        }
    }

    // A number: k one-bits, a zero-bit, then a field of min(base + k*step, 32)
    // bits. The smallest k whose field holds the value is also the cheapest.
    void PutNumber(uint32_t value, int base, int step)
    {
        NumberShape shape = ShapeOf(value, base, step);
        Put((uint64_t(1) << shape.ones) - 1, shape.ones + 1);  // the ones and their ending zero
        Put(value, shape.width);
    }

    void PutLiteralRun(const uint8_t* bytes, uint32_t count)
    {
        Put(0, 1);
        PutNumber(count - 1, 2, 2);
        uint32_t i = 0;
        for (; i + 4 <= count; i += 4) {
            uint32_t word;
            memcpy(&word, bytes + i, 4);
            Put(word, 32);
        }
        for (; i < count; i++)
            Put(bytes[i], 8);
    }

    void PutByteRun(uint8_t value, uint32_t length)
    {
        Put(3, 2);                              // 1, then 1
        Put(value, 8);
        PutNumber(length - kMinRun, 1, 1);
    }

    void PutCopy(uint32_t length, uint32_t distance)
    {
        Put(1, 2);                              // 1, then 0
        PutNumber(length - kMinCopy, 2, 1);
        PutNumber(distance - kMinCopy, 12, 2);
    }

    std::vector<uint8_t> Finish()
    {
        while (fill_ > 0) {
            if (at_ == end_)
                Grow();
            *at_++ = (uint8_t)acc_;
            acc_ >>= 8;
            fill_ = std::max(0, fill_ - 8);
        }
        out_.resize((size_t)(at_ - out_.data()));
        return std::move(out_);
    }

private:
    __attribute__((noinline)) void Grow()
    {
        size_t written = (size_t)(at_ - out_.data());
        out_.resize(out_.size() * 2);
        at_ = out_.data() + written;
        end_ = out_.data() + out_.size();
    }

    std::vector<uint8_t> out_;  // written bytes, then room for more
    uint8_t* at_;               // the next whole byte to write
    uint8_t* end_;              // the end of the room
    uint64_t acc_ = 0;          // pending bits, the oldest in bit 0
    int fill_ = 0;              // number of pending bits, < 32 between calls
};

// Emits pending literals [from, to) as one run: two adjacent literal runs are
// never cheaper than one (a run header grows by 3 bits per fourfold count
// but a second header costs at least 4).
void FlushLiterals(BitWriter& out, const uint8_t* in, size_t from, size_t to)
{
    if (to > from)
        out.PutLiteralRun(in + from, (uint32_t)(to - from));
}

// ---------------------------------------------------------------------------
// Finding matches

inline __attribute__((always_inline)) size_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit)
{
    size_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x, y;
        memcpy(&x, a + n, 8);
        memcpy(&y, b + n, 8);
        if (x != y)
            return n + (size_t)(__builtin_ctzll(x ^ y) >> 3);
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        n++;
    return n;
}

// Bytes equal to in[pos] starting at pos, at most `limit`.
size_t RunLength(const uint8_t* in, size_t pos, size_t limit)
{
    size_t n = 1;
    while (n < limit && in[pos + n] == in[pos])
        n++;
    return n;
}

inline uint32_t LoadFour(const uint8_t* at)
{
    uint32_t v;
    memcpy(&v, at, 4);
    return v;
}

// Hash products of the 4 and the 8 bytes at a position; each table takes
// as many of the top bits as it has index bits.
inline uint32_t FourBytesHash(uint32_t bytes) { return bytes * 2654435761u; }

inline uint32_t FourByteHash(const uint8_t* at) { return FourBytesHash(LoadFour(at)); }

inline uint32_t EightByteHash(const uint8_t* at)
{
    uint64_t v;
    memcpy(&v, at, 8);
    return (uint32_t)((v * 0x9E3779B97F4A7C15ull) >> 32);
}

struct Match {
    uint32_t length;    // bytes copied, >= kMinCopy
    uint32_t distance;  // back from the current position, >= length
};

// Merges two lists of copies, each ordered by distance, into `out`, keeping
// only the copies longer than every nearer one. Returns their number.
size_t MergeMatches(const Match* a, size_t countA, const Match* b, size_t countB, Match* out)
{
    size_t i = 0, j = 0, count = 0;
    uint32_t longest = 0;
    while (i < countA || j < countB) {
        bool fromA = j == countB || (i < countA && a[i].distance <= b[j].distance);
        Match m = fromA ? a[i++] : b[j++];
        if (m.length > longest) {
            out[count++] = m;
            longest = m.length;
        }
    }
    return count;
}

// Binary search trees over the positions of a sliding window, one tree per
// hash of the 4 bytes at a position, each ordered by the bytes that follow
// its positions. A position enters as the root of its tree, so a walk down
// from the root meets candidates newest first, in order of growing distance,
// and the candidates it meets are the ones whose bytes sort nearest to the
// current position's: for every length, the nearest position that shares at
// least that many bytes is on the path (as far as the walk is allowed to go).
class TreeFinder {
public:
    // `depth` bounds the nodes looked at per walk; the trees are cut below.
    TreeFinder(std::span<const uint8_t> in, size_t window, int depth)
        : in_(in.data()), size_(in.size()), depth_(depth)
    {
        size_t w = 1;
        while (w < window && w < size_)
            w <<= 1;
        mask_ = w - 1;
        // Four heads per window position: fewer trees hold positions of
        // other 4-byte strings, which a walk would only step over.
        int bits = TableBits(4 * w, 1, 20);
        shift_ = 32 - bits;
        head_.assign(size_t(1) << bits, 0);
        children_.assign(2 * w, 0);
    }

    // Fetches the root for `hash` (a FourByteHash) into the caches.
    void PrefetchRoot(uint32_t hash) const { __builtin_prefetch(&head_[hash >> shift_]); }

    // Enters `pos`, whose bytes have the FourByteHash `hash`, and calls
    // visit(distance, length) for each candidate that is longer than all
    // before it, with the length capped at the distance (a copy never
    // overlaps its output) and at `limit` bytes. A candidate that overlaps
    // stands for a repeating pattern, so copies from whole multiples of its
    // distance further back are tried as well.
    template <class Visit>
    void FindAndEnter(size_t pos, uint32_t hash, size_t limit, Visit visit)
    {
        limit = std::min(limit, size_ - pos);
        if (limit < kMinCopy)
            return;
        uint32_t& head = head_[hash >> shift_];
        uint32_t next = head;
        head = (uint32_t)pos + 1;
        // The new root's two subtrees are built as the walk goes: `below`
        // is where the next candidate that sorts before pos hangs, `above`
        // the same for those after it. Every candidate met so far agrees
        // with pos on min(belowLength, aboveLength) bytes.
        uint32_t* below = &children_[2 * (pos & mask_)];
        uint32_t* above = below + 1;
        size_t belowLength = 0, aboveLength = 0;
        size_t longest = kMinCopy - 1;
        for (int depth = depth_; next != 0 && depth > 0; depth--) {
            size_t cand = next - 1;
            size_t distance = pos - cand;
            if (distance > mask_)
                break;                          // its slot holds a newer position now
            uint32_t* node = &children_[2 * (cand & mask_)];
            size_t length = std::min(belowLength, aboveLength);
            length += CommonLength(in_ + pos + length, in_ + cand + length, limit - length);
            if (std::min(length, distance) > longest) {
                longest = std::min(length, distance);
                visit((uint32_t)distance, (uint32_t)longest);
            }
            if (length > distance)
                longest = TryMultiples(pos, distance, length, limit, longest, visit);
            if (length == limit) {
                // As far as we compare, cand equals pos: pos takes its place.
                *below = node[0];
                *above = node[1];
                return;
            }
            if (in_[cand + length] < in_[pos + length]) {
                *below = next;
                below = &node[1];
                belowLength = length;
                next = *below;
            } else {
                *above = next;
                above = &node[0];
                aboveLength = length;
                next = *above;
            }
        }
        *below = 0;
        *above = 0;
    }

private:
    // A candidate at `distance` that agrees on `length` > distance bytes
    // shows a pattern repeating every `distance` bytes: copies from 2, 4,
    // 8... times as far back may be longer, as they do not overlap as soon.
    template <class Visit>
    size_t TryMultiples(size_t pos, size_t distance, size_t length, size_t limit, size_t longest,
                        Visit& visit)
    {
        for (size_t d = 2 * distance; d <= mask_ && d <= pos && d / 2 < length; d *= 2) {
            size_t found = CommonLength(in_ + pos, in_ + pos - d, std::min(limit, d));
            if (found > longest) {
                longest = found;
                visit((uint32_t)d, (uint32_t)found);
            }
        }
        return longest;
    }

    const uint8_t* in_;
    size_t size_;
    int depth_;
    size_t mask_;                       // window - 1: a position's node is at pos & mask_
    int shift_;                         // of a hash, to its index in head_
    std::vector<uint32_t> head_;        // per hash the newest position + 1 (the root), 0 = none
    std::vector<uint32_t> children_;    // per node: position + 1 of the subtree roots sorting before, after
};

// ---------------------------------------------------------------------------
// Every earlier position whose first 4 bytes agree with the current one,
// newest first. Complete, and so slow on long inputs that it serves only
// small ones, whose parse is then exact.
class ChainFinder {
public:
    explicit ChainFinder(std::span<const uint8_t> in)
        : in_(in.data()), size_(in.size()), head_(size_t(1) << kHashBits), previous_(in.size())
    {
    }

    // As TreeFinder::FindAndEnter.
    template <class Visit>
    void FindAndEnter(size_t pos, size_t limit, Visit visit)
    {
        limit = std::min(limit, size_ - pos);
        if (limit < kMinCopy)
            return;
        uint32_t& head = head_[Hash(pos)];
        size_t longest = kMinCopy - 1;
        for (uint32_t next = head; next != 0; next = previous_[next - 1]) {
            size_t distance = pos - (next - 1);
            if (distance < kMinCopy)
                continue;
            size_t length = CommonLength(in_ + pos, in_ + next - 1, std::min(limit, distance));
            if (length > longest) {
                longest = length;
                visit((uint32_t)distance, (uint32_t)length);
            }
        }
        previous_[pos] = head;
        head = (uint32_t)pos + 1;
    }

    void Enter(size_t pos, size_t limit)
    {
        FindAndEnter(pos, limit, [](uint32_t, uint32_t) {});
    }

private:
    static constexpr int kHashBits = 12;

    uint32_t Hash(size_t pos) const { return FourByteHash(in_ + pos) >> (32 - kHashBits); }

    const uint8_t* in_;
    size_t size_;
    std::vector<uint32_t> head_;        // per hash the newest position + 1, 0 = none
    std::vector<uint32_t> previous_;    // per position the one before it on its chain
};

// ---------------------------------------------------------------------------
// Fast level: greedy matching with one step of lazy evaluation.

struct Choice {
    int64_t gain = 0;       // bits saved against sending the bytes as literals
    uint32_t length = 0;    // 0: no token worth taking
    uint32_t distance = 0;  // 0: a byte run; else a copy
};

class FastPacker {
public:
    static constexpr int kHashBits = 15;
    // Only a short token is worth a look one byte further: the look costs a
    // probe per token, and a longer find there is rare enough after a
    // match of 6 bytes that executables lose well under 1% without it.
    static constexpr uint32_t kLazyBelow = 6;
    // Inside a token only this many positions at each edge are indexed.
    static constexpr size_t kIndexedEdge = 3;

    FastPacker(std::span<const uint8_t> in, BitWriter& out,
               const std::function<void(size_t, size_t)>& progress)
        : in_(in.data()), size_(in.size()), out_(out), progress_(progress),
          slots_(size_t(1) << kHashBits)
    {
    }

    void Run()
    {
        size_t pos = 0;
        size_t literalsFrom = 0;
        size_t nextReport = kProgressStep;
        size_t misses = 0;
        // A probe indexes the position it looks at, so each position is
        // probed at most once: the lazy look's result is kept.
        Choice here = Probe(pos);
        while (pos + 4 <= size_) {
            if (progress_ && pos >= nextReport) {
                progress_(pos, size_);
                nextReport = pos + kProgressStep;
            }
            if (here.length == 0) {
                // Data that keeps failing to match is looked at ever more
                // sparsely, as it is probably incompressible.
                misses++;
                pos += 1 + (misses >> 6);
                here = Probe(pos);
                continue;
            }
            misses = 0;
            size_t indexedTo = pos + 1;     // positions below this are indexed
            // A better token one byte later is worth one more literal.
            if (here.length < kLazyBelow) {
                Choice next = Probe(pos + 1);
                indexedTo = pos + 2;
                if (next.gain > here.gain + 8) {
                    pos++;
                    here = next;
                    continue;
                }
            }
            FlushLiterals(out_, in_, literalsFrom, pos);
            if (here.distance == 0)
                out_.PutByteRun(in_[pos], here.length);
            else
                out_.PutCopy(here.length, here.distance);
            size_t end = pos + here.length;
            IndexEdges(indexedTo, pos, end);
            pos = literalsFrom = end;
            here = Probe(pos);
        }
        FlushLiterals(out_, in_, literalsFrom, size_);
    }

private:
    // The two newest positions for each hash of 4 bytes, side by side in
    // one slot with the 4 bytes found there: a probe costs one cache miss
    // for the slot, and the input is only read for candidates whose bytes
    // agree.
    struct Slot {
        uint32_t newer = 0, older = 0;          // position + 1, 0 = none
        uint32_t newerBytes = 0, olderBytes = 0;
    };

    uint32_t Load(size_t pos) const { return LoadFour(in_ + pos); }

    static uint32_t Hash(uint32_t v) { return FourBytesHash(v) >> (32 - kHashBits); }

    static void Enter(Slot& s, size_t pos, uint32_t bytes)
    {
        s.older = s.newer;
        s.olderBytes = s.newerBytes;
        s.newer = (uint32_t)pos + 1;
        s.newerBytes = bytes;
    }

    // Indexes the positions of a token [pos, end) from `from` on, only
    // those near its edges: the middle of a long token seldom starts a
    // better match than its edges do.
    void IndexEdges(size_t from, size_t pos, size_t end)
    {
        size_t last = std::min(end, size_ >= 4 ? size_ - 3 : 0);
        for (size_t p = from; p < last; p++) {
            if (p - pos < kIndexedEdge || end - p <= kIndexedEdge) {
                uint32_t v = Load(p);
                Enter(slots_[Hash(v)], p, v);
            } else {
                p = end - kIndexedEdge - 1;
            }
        }
    }

    // The best token at `pos`, which is then indexed. Positions without 4
    // bytes left have none: the tail goes out as literals.
    __attribute__((always_inline)) Choice Probe(size_t pos)
    {
        Choice best;
        if (pos + 4 > size_)
            return best;
        uint32_t v = Load(pos);
        Slot& s = slots_[Hash(v)];
        uint32_t newer = s.newerBytes == v ? s.newer : 0;
        uint32_t older = s.olderBytes == v ? s.older : 0;
        Enter(s, pos, v);
        if (pos + 5 <= size_)
            __builtin_prefetch(&slots_[Hash(Load(pos + 1))]);
        bool run = ((v ^ (v >> 8)) & 0xFFFF) == 0;     // the first 3 bytes agree
        if ((newer | older) == 0 && !run)
            return best;
        if (run) {
            size_t length = RunLength(in_, pos, std::min(size_ - pos, kMaxBlock));
            best.gain = 8 * (int64_t)length - ByteRunCost((uint32_t)length);
            best.length = (uint32_t)length;
            if (length >= 64)
                return best;
        }
        Consider(pos, newer, best);
        Consider(pos, older, best);
        if (best.gain <= 0)
            best.length = 0;
        return best;
    }

    // Weighs the copy from candidate position + 1 `entry` (0 = none): the
    // copy may not reach past its own start.
    void Consider(size_t pos, uint32_t entry, Choice& best) const
    {
        if (entry == 0)
            return;
        size_t distance = pos - (entry - 1);
        if (distance < kMinCopy)
            return;
        size_t limit = std::min(size_ - pos, distance);
        size_t length = 4 + CommonLength(in_ + pos + 4, in_ + entry + 3, limit - 4);
        int64_t gain = 8 * (int64_t)length - CopyCost((uint32_t)length, (uint32_t)distance);
        if (gain > best.gain) {
            best.gain = gain;
            best.length = (uint32_t)length;
            best.distance = (uint32_t)distance;
        }
    }

    const uint8_t* in_;
    size_t size_;
    BitWriter& out_;
    const std::function<void(size_t, size_t)>& progress_;
    std::vector<Slot> slots_;
};

// The newest positions that the trees leave out, four per hash of their
// first 4 bytes and with those bytes, in one cache line: a probe finds the
// copies from them without a walk. The best level enters here the positions
// whose walk would buy little (see BestPacker).
class SideIndex {
public:
    explicit SideIndex(std::span<const uint8_t> in)
        : in_(in.data()), size_(in.size()), shift_(32 - TableBits(in.size(), 16, 16)),
          buckets_(size_t(1) << (32 - shift_))
    {
    }

    // Fetches the bucket for `hash` into the caches. Here and below, `hash`
    // is FourByteHash of the bytes at the position.
    void PrefetchBucket(uint32_t hash) const { __builtin_prefetch(&buckets_[hash >> shift_]); }

    void Enter(size_t pos, uint32_t hash)
    {
        if (pos + 4 > size_)
            return;
        uint32_t bytes = Load(pos);
        Bucket& b = buckets_[hash >> shift_];
        PushFront(b.entry, (uint32_t)pos + 1, std::make_index_sequence<kWays - 1>());
        PushFront(b.bytes, bytes, std::make_index_sequence<kWays - 1>());
    }

    // The copies from the bucket of `pos`, nearest first, into found[0, kWays).
    // Returns their number.
    size_t Find(size_t pos, uint32_t hash, size_t limit, Match* found) const
    {
        if (pos + 4 > size_)
            return 0;
        const Bucket& b = buckets_[hash >> shift_];
        size_t count = 0;
        for (unsigned ways = Agreeing(b, Load(pos)); ways != 0; ways &= ways - 1) {
            int i = __builtin_ctz(ways);
            size_t distance = pos - (b.entry[i] - 1);
            if (distance < kMinCopy)
                continue;
            size_t length = CommonLength(in_ + pos, in_ + b.entry[i] - 1,
                                         std::min(std::min(limit, size_ - pos), distance));
            if (length >= kMinCopy)
                found[count++] = {(uint32_t)length, (uint32_t)distance};
        }
        return count;
    }

    static constexpr int kWays = 4;

private:
    struct Bucket {
        uint32_t entry[kWays] = {};     // position + 1, newest first; 0 = none
        uint32_t bytes[kWays] = {};     // the 4 bytes there
    };

    uint32_t Load(size_t pos) const { return LoadFour(in_ + pos); }

    // Moves the ways one down, the oldest out, and puts `value` first;
    // written out, as the compiler would turn a loop into a call to memmove.
    template <size_t... I>
    static void PushFront(uint32_t (&ways)[kWays], uint32_t value, std::index_sequence<I...>)
    {
        ((ways[kWays - 1 - I] = ways[kWays - 2 - I]), ...);
        ways[0] = value;
    }

    // A bit for each way that holds a position with these bytes, computed
    // without branches: which ways agree is anybody's guess.
    static unsigned Agreeing(const Bucket& b, uint32_t bytes)
    {
        unsigned ways = 0;
        for (int i = 0; i < kWays; i++)
            ways |= (unsigned(b.entry[i] != 0) & unsigned(b.bytes[i] == bytes)) << i;
        return ways;
    }

    const uint8_t* in_;
    size_t size_;
    int shift_;                     // of a hash, to its bucket's index
    std::vector<Bucket> buckets_;
};

// The newest earlier position with the same 8 bytes, by hash, over the whole
// input: the trees' window is kept small enough for the caches, and copies
// from further back are worth their longer distance only when they are long.
// The table is far larger than the caches, so each probe is fetched ahead.
class FarFinder {
public:
    explicit FarFinder(std::span<const uint8_t> in)
        : in_(in.data()), size_(in.size()), shift_(32 - TableBits(in.size(), 4, 20)),
          table_(size_t(1) << (32 - shift_), 0)
    {
    }

    // Fetches the slot for `hash` into the caches. Here and below, `hash` is
    // EightByteHash of the bytes at the position.
    void PrefetchSlot(uint32_t hash) const { __builtin_prefetch(&table_[hash >> shift_]); }

    // The candidate for `pos` (position + 1, 0 = none), which then takes its place.
    uint32_t Exchange(size_t pos, uint32_t hash)
    {
        if (pos + 8 > size_)
            return 0;
        uint32_t& slot = table_[hash >> shift_];
        uint32_t found = slot;
        slot = (uint32_t)pos + 1;
        return found;
    }

private:
    const uint8_t* in_;
    size_t size_;
    int shift_;                     // of a hash, to its slot's index
    std::vector<uint32_t> table_;
};

// ---------------------------------------------------------------------------
// Best level: a shortest path over the tokens at every position.
//
// The input is parsed in segments. Within a segment, priceEnd[r] is the
// cheapest cost of the segment's bytes [0, r) when a byte run or a copy ends
// at r (or r = 0), and best[r] the cheapest cost of [0, r) at all: either
// priceEnd[r], or priceEnd[i] plus one literal run [i, r). From best[r]
// every fill length and every copy length the match finder offers is
// relaxed forwards.
//
// A literal run's cost is 8 bits a byte plus a header that depends only on
// its count class (1..4, 5..16, 17..64, ...). On small inputs, for each
// class a sliding-window minimum of priceEnd[i] - 8i gives the best run
// start in O(1), which prices every run exactly. Longer inputs weigh only
// three starts: r - 1, the one cheapest a byte earlier, and the one with
// the least priceEnd[i] - 8i. Another start could win only for a while,
// by a few bits of header, and the queues cost more time than all the rest
// of the pricing.
//
// A token of kNiceLength bytes or more is offered at every length up to its
// full extent, and from each position inside it to its end; inside it only
// every kSearchedEvery-th position is searched (and, on long inputs,
// entered into the trees).
//
// On long inputs, a position is covered when the tokens before it reach the
// next byte at no extra cost, as inside most copies. Any token from it but
// the shortest is matched, as cheaply, by one a byte shorter from the next
// position, so it is not searched, and rather than walk a tree only to be
// entered it goes into a side index of recent positions, which the walks
// at the other positions consult too. This costs about 0.4% in size on
// executables and text and makes the level 1.3 to 1.6 times as fast.
//
// Inputs of up to kSmallInput bytes are searched exhaustively and priced
// exactly: their stream is then the smallest the format allows whenever no
// token reaches kNiceLength. Longer ones use the trees, which can miss a
// copy only where a repeating pattern overlaps itself or the depth bound
// cuts a walk short.

class BestPacker {
public:
    BestPacker(std::span<const uint8_t> in, BitWriter& out,
               const std::function<void(size_t, size_t)>& progress)
        : in_(in.data()), size_(in.size()), out_(out), progress_(progress),
          small_(in.size() <= kSmallInput)
    {
        if (small_) {
            chain_.emplace(in);
        } else {
            tree_.emplace(in, kWindow, kDepth);
            far_.emplace(in);
            side_.emplace(in);
            for (size_t p = 0; p < kAhead; p++)
                HashAhead(p);
        }
        size_t cells = std::min(size_, kSegment) + 1;
        priceEnd_.resize(cells);
        best_.resize(cells);
        literalFrom_.resize(cells);
        into_.resize(cells);
        // Only small inputs price literal runs exactly, through the queues.
        for (int k = 0; small_ && k < kClasses; k++) {
            size_t span = std::min<uint64_t>(ClassHigh(k) - ClassLow(k) + 1, cells);
            size_t ring = 1;
            while (ring < span)
                ring <<= 1;
            windows_[k].entries.resize(ring);
            windows_[k].mask = ring - 1;
        }
    }

    void Run()
    {
        size_t pos = 0;
        size_t nextReport = kProgressStep;
        while (pos < size_) {
            if (progress_ && pos >= nextReport) {
                progress_(pos, size_);
                nextReport = pos + kProgressStep;
            }
            pos = Segment(pos);
        }
    }

private:
    static constexpr size_t kSegment = 1 << 18;
    static constexpr size_t kWindow = size_t(1) << 20;
    static constexpr uint32_t kNiceLength = 128;  // tokens this long are taken as found
    static constexpr uint32_t kSearchedEvery = 16; // positions searched inside a long token
    static constexpr int kDepth = 12;             // tree nodes looked at per position
    static constexpr size_t kSmallInput = 4096;   // searched exhaustively, priced exactly
    // Above any price of a segment's cells, and far enough below 2^32 that
    // adding a token's cost to it cannot wrap.
    static constexpr uint32_t kNoPrice = uint32_t(1) << 30;
    static constexpr uint32_t kFromEnd = std::numeric_limits<uint32_t>::max();
    static constexpr int kClasses = 16;     // literal count classes up to 2^32
    // Each position's hashes are computed once, kAhead positions early,
    // and kept in a ring of kRing > kAhead entries.
    static constexpr size_t kAhead = 16, kRing = 32;

    struct Hashes {
        uint32_t four = 0;      // FourByteHash
        uint32_t eight = 0;     // EightByteHash
    };

    struct Step {
        uint32_t length = 0;    // token bytes
        uint32_t distance = 0;  // 0: byte run; else a copy
    };

    // Where a literal run may start, and its key priceEnd[from] - 8 * from.
    struct RunStart {
        uint32_t from = 0;
        int32_t key = (int32_t)kNoPrice;
    };

    // Monotone queue of run starts i for one literal count class, ordered by
    // i with increasing key priceEnd[i] - 8i, in a ring that holds the
    // class's whole span.
    struct Window {
        struct Entry {
            uint32_t from;
            int64_t key;
        };
        std::vector<Entry> entries;
        size_t mask = 0;
        size_t head = 0, tail = 0;  // counts; entries[count & mask]
    };

    static uint64_t ClassLow(int k) { return k == 0 ? 1 : (uint64_t(1) << (2 * k)) + 1; }
    static uint64_t ClassHigh(int k) { return uint64_t(1) << (2 * k + 2); }

    // Sets best_[r], and literalFrom_[r] to the start of the literal run
    // that ends there if that is cheaper than priceEnd_[r].
    void PriceLiterals(uint32_t r)
    {
        if (small_)
            PriceLiteralsExactly(r);
        else
            PriceCarriedLiterals(r);
    }

    void PriceLiteralsExactly(uint32_t r)
    {
        uint32_t bestCost = priceEnd_[r];
        uint32_t from = kFromEnd;
        for (int k = 0; k < kClasses; k++) {
            uint32_t low = (uint32_t)ClassLow(k);
            if (low > r)
                break;
            Window& w = windows_[k];
            uint32_t enter = r - low;
            if (priceEnd_[enter] != kNoPrice) {
                int64_t key = (int64_t)priceEnd_[enter] - 8 * (int64_t)enter;
                while (w.tail > w.head && w.entries[(w.tail - 1) & w.mask].key >= key)
                    w.tail--;
                w.entries[w.tail++ & w.mask] = {enter, key};
            }
            uint64_t high = ClassHigh(k);
            while (w.tail > w.head && r - w.entries[w.head & w.mask].from > high)
                w.head++;
            if (w.tail == w.head)
                continue;
            const Window::Entry& e = w.entries[w.head & w.mask];
            // 8 bits a byte, and a header of 4 + 3k bits for class k
            int64_t cost = e.key + 8 * (int64_t)r + 4 + 3 * k;
            if (cost < (int64_t)bestCost) {
                bestCost = (uint32_t)cost;
                from = e.from;
            }
        }
        best_[r] = bestCost;
        literalFrom_[r] = from;
    }

    // Three run starts weighed: r - 1, the one that was cheapest a byte
    // ago, and the one cheapest in the long run, with the least key, which
    // a newer start beats only until the newer run's header grows. An
    // unpriced cell's kNoPrice makes its key too large to win.
    void PriceCarriedLiterals(uint32_t r)
    {
        uint32_t bestCost = priceEnd_[r];
        uint32_t from = kFromEnd;
        if (r > 0) {
            RunStart fresh = {r - 1, (int32_t)priceEnd_[r - 1] - 8 * (int32_t)(r - 1)};
            if (fresh.key < anchor_.key)
                anchor_ = fresh;
            // Selects rather than branches: which start wins is anybody's
            // guess where the data barely compresses.
            RunStart cheapest = fresh;
            uint32_t cost = RunCost(fresh, r);
            auto weigh = [&](RunStart start) {
                uint32_t c = RunCost(start, r);
                cheapest.from = c < cost ? start.from : cheapest.from;
                cheapest.key = c < cost ? start.key : cheapest.key;
                cost = std::min(c, cost);
            };
            weigh(carried_);
            weigh(anchor_);
            carried_ = cheapest;
            if (cost < bestCost) {
                bestCost = cost;
                from = cheapest.from;
            }
        }
        best_[r] = bestCost;
        literalFrom_[r] = from;
    }

    // A literal run [start.from, r): 8 bits a byte and its header.
    static uint32_t RunCost(RunStart start, uint32_t r)
    {
        return (uint32_t)(start.key + 8 * (int32_t)r) + LiteralHeaderCost(r - start.from);
    }

    void Relax(uint32_t from, uint32_t length, uint32_t distance, uint32_t tokenBits)
    {
        uint64_t cost = (uint64_t)best_[from] + tokenBits;
        uint32_t to = from + length;
        if (cost < priceEnd_[to]) {
            priceEnd_[to] = (uint32_t)cost;
            into_[to] = {length, distance};
        }
    }

    // Every length below kNiceLength of the byte run of `run` bytes and of
    // the copies found at r, each length from the nearest copy that has it.
    void RelaxShort(uint32_t r, uint32_t run, const Match* matches, size_t count, uint32_t top)
    {
        const uint32_t from = best_[r];
        uint32_t* price = &priceEnd_[r];
        Step* into = &into_[r];
        for (uint32_t n = kMinRun; n <= run; n++) {
            uint32_t cost = from + kRunBits[n];
            if (cost < price[n]) {
                price[n] = cost;
                into[n] = {n, 0};
            }
        }
        uint32_t length = kMinCopy;
        for (size_t m = 0; m < count; m++) {
            uint32_t distance = matches[m].distance;
            uint32_t base = from + CopyCost(kMinCopy, distance) - LengthBits(kMinCopy);
            uint32_t last = std::min(matches[m].length, top);
            for (; length <= last; length++) {
                uint32_t cost = base + LengthBits(length);
                if (cost < price[length]) {
                    price[length] = cost;
                    into[length] = {length, distance};
                }
            }
        }
    }

    // Parses from `start`; returns where the next segment begins.
    size_t Segment(size_t start)
    {
        size_t end = std::min(size_, start + kSegment);
        uint32_t cells = (uint32_t)(end - start);
        priceEnd_[0] = 0;
        std::fill(priceEnd_.begin() + 1, priceEnd_.begin() + cells + 1, kNoPrice);
        for (Window& w : windows_)
            w.head = w.tail = 0;
        carried_ = anchor_ = RunStart{};

        Step along;             // the long token being gone through
        uint32_t alongEnd = 0;  // where it ends; none when at or below r
        size_t run = 0;
        uint32_t r = 0;
        for (;; r++) {
            PriceLiterals(r);
            size_t pos = start + r;
            if (pos == end)
                break;
            if (!small_)
                HashAhead(pos + kAhead);
            run = (run > 1 && in_[pos] == in_[pos - 1]) ? run - 1
                                                       : RunLength(in_, pos, size_ - pos);
            uint32_t room = cells - r;
            if (r < alongEnd) {
                // Inside a long token the token is offered again from here
                // to its end, so that the path may also enter it late, and
                // only every kSearchedEvery-th position is searched, for
                // tokens that leave it.
                uint32_t length = alongEnd - r;
                if (length >= (along.distance == 0 ? kMinRun : kMinCopy))
                    Relax(r, length, along.distance, TokenBits(length, along.distance));
                if (length % kSearchedEvery != 0) {
                    // On long inputs the trees skip it too: its bytes are
                    // there already, a little further back.
                    if (small_)
                        chain_->Enter(pos, kNiceLength);
                    else
                        far_->Exchange(pos, HashesAt(pos).eight);
                    continue;
                }
            }
            // Room for every length from the trees, the side index's and the far copy.
            Match found[kNiceLength + 1], merged[kNiceLength + SideIndex::kWays + 1];
            Match* matches = found;
            size_t count = 0;
            // Data that keeps failing to match is searched ever more
            // sparsely (never on small inputs, whose parse stays exact);
            // the parse still prices every position.
            size_t stride = small_ ? 1 : 1 + (misses_ >> 7);
            // Covered: the tokens before it reach the next byte as cheaply
            // as this one. Its walk would buy little, so it goes into the
            // side index instead of the trees.
            bool covered = !small_ && priceEnd_[r + 1] <= best_[r];
            if (pos % stride == 0) {
                auto collect = [&](uint32_t distance, uint32_t length) {
                    matches[count++] = {length, distance};
                };
                if (small_) {
                    chain_->FindAndEnter(pos, kNiceLength, collect);
                } else if (covered) {
                    side_->Enter(pos, HashesAt(pos).four);
                } else {
                    uint32_t hash = HashesAt(pos).four;
                    tree_->FindAndEnter(pos, hash, kNiceLength, collect);
                    Match recent[SideIndex::kWays];
                    size_t nearby = side_->Find(pos, hash, kNiceLength, recent);
                    if (nearby > 0) {
                        count = MergeMatches(found, count, recent, nearby, merged);
                        matches = merged;
                    }
                }
            }
            if (!small_) {
                uint32_t far = far_->Exchange(pos, HashesAt(pos).eight);
                uint32_t nearest = count == 0 ? kMinCopy - 1 : matches[count - 1].length;
                // A covered position offers only copies of kMinCopy bytes,
                // which never pay for a distance this long.
                if (far != 0 && !covered && nearest < kNiceLength) {
                    size_t distance = pos - (far - 1);
                    if (distance > kWindow / 2) {
                        size_t limit = std::min(std::min<size_t>(kNiceLength, size_ - pos), distance);
                        size_t length = CommonLength(in_ + pos, in_ + far - 1, limit);
                        if (length > nearest)
                            matches[count++] = {(uint32_t)length, (uint32_t)distance};
                    }
                }
            }
            uint32_t longest = count == 0 ? 0 : matches[count - 1].length;
            misses_ = (count == 0 && run < kMinRun) ? misses_ + 1 : 0;
            if (run >= kNiceLength || longest >= kNiceLength) {
                // A long token is offered at its full length, found beyond
                // the finder's kNiceLength bytes; a byte run when they tie.
                Step token = {(uint32_t)std::min<size_t>(run, kMaxBlock), 0};
                if (longest >= kNiceLength) {
                    size_t distance = matches[count - 1].distance;
                    size_t copy = CommonLength(in_ + pos, in_ + pos - distance,
                                               std::min(size_ - pos, distance));
                    // A copy cut short only by its distance is part of a
                    // repeating pattern, which may go on from further back.
                    while (copy == distance && 2 * distance <= pos) {
                        size_t further = CommonLength(in_ + pos, in_ + pos - 2 * distance,
                                                      std::min(size_ - pos, 2 * distance));
                        if (further <= copy)
                            break;
                        copy = further;
                        distance *= 2;
                    }
                    if (copy > run)
                        token = {(uint32_t)copy, (uint32_t)distance};
                }
                // Every length of it that reaches past the long token gone
                // through so far, so that the path can leave it anywhere for
                // a token found further in; each end is offered once, which
                // keeps this linear.
                uint32_t tokenEnd = r + std::min(token.length, room);
                if (tokenEnd > alongEnd) {
                    uint32_t n = std::max(kNiceLength, alongEnd > r ? alongEnd - r + 1 : 0);
                    for (; n <= tokenEnd - r; n++)
                        Relax(r, n, token.distance, TokenBits(n, token.distance));
                    along = token;
                    alongEnd = tokenEnd;
                }
            }
            // Shorter tokens, every length of them.
            uint32_t top = std::min(room, kNiceLength - 1);
            top = std::min(top, (uint32_t)std::max<size_t>(run, longest));
            // A covered position offers only its shortest tokens: each
            // longer one is matched, as cheaply, by one a byte shorter from
            // the next position.
            if (covered)
                top = std::min(top, kMinCopy);
            RelaxShort(r, (uint32_t)std::min<size_t>(run, top), matches, count, top);
        }
        Emit(start, r);
        return end;
    }

    // Hashes a position kAhead bytes before the parse gets there, keeps
    // its hashes until then, and fetches meanwhile the table entries they
    // index: the tables are far larger than the caches.
    void HashAhead(size_t pos)
    {
        if (pos + 4 > size_)
            return;
        Hashes& h = ring_[pos % kRing];
        h.four = FourByteHash(in_ + pos);
        tree_->PrefetchRoot(h.four);
        side_->PrefetchBucket(h.four);
        if (pos + 8 <= size_) {
            h.eight = EightByteHash(in_ + pos);
            far_->PrefetchSlot(h.eight);
        }
    }

    const Hashes& HashesAt(size_t pos) const { return ring_[pos % kRing]; }

    static uint32_t TokenBits(uint32_t length, uint32_t distance)
    {
        return distance == 0 ? ByteRunCost(length) : CopyCost(length, distance);
    }

    // Bits of a copy's kind and length fields, for lengths below kNiceLength.
    static uint32_t LengthBits(uint32_t length) { return kLengthBits[length]; }

    static constexpr auto kRunBits =
        CostTable<kNiceLength>(kMinRun, [](uint32_t n) { return ByteRunCost(n); });
    static constexpr auto kLengthBits =
        CostTable<kNiceLength>(kMinCopy, [](uint32_t n) { return 2 + NumberCost(n - kMinCopy, 2, 1); });

    // Writes the cheapest path to best_[r] of the segment that starts at `start`.
    void Emit(size_t start, uint32_t r)
    {
        struct Token {
            uint32_t from;
            Step step;          // length 0 with from < to: a literal run
            uint32_t to;
        };
        std::vector<Token> path;
        bool atBest = true;
        while (r > 0) {
            if (atBest && literalFrom_[r] != kFromEnd) {
                path.push_back({literalFrom_[r], {}, r});
                r = literalFrom_[r];
                atBest = false;
                continue;
            }
            Step s = into_[r];
            path.push_back({r - s.length, s, r});
            r -= s.length;
            atBest = true;
        }
        for (auto t = path.rbegin(); t != path.rend(); ++t) {
            size_t pos = start + t->from;
            if (t->step.length == 0)
                FlushLiterals(out_, in_, pos, start + t->to);
            else if (t->step.distance == 0)
                out_.PutByteRun(in_[pos], t->step.length);
            else
                out_.PutCopy(t->step.length, t->step.distance);
        }
    }

    const uint8_t* in_;
    size_t size_;
    BitWriter& out_;
    const std::function<void(size_t, size_t)>& progress_;
    bool small_;                        // searched exhaustively
    std::optional<ChainFinder> chain_;  // the finder of small inputs
    std::optional<TreeFinder> tree_;    // and of all others
    std::optional<FarFinder> far_;
    std::optional<SideIndex> side_;     // positions left out of the trees
    size_t misses_ = 0;                 // positions in a row without any token
    std::vector<uint32_t> priceEnd_;    // see the block comment above
    std::vector<uint32_t> best_;
    std::vector<uint32_t> literalFrom_; // start of the literal run into best_[r], or kFromEnd
    std::vector<Step> into_;            // the token that ends at r for priceEnd_[r]
    Window windows_[kClasses];
    RunStart carried_, anchor_;         // literal run starts carried on long inputs
    Hashes ring_[kRing];                // of the positions up to kAhead on
};

// ---------------------------------------------------------------------------
// Decodes the block with the stub's own decoder and compares.
bool DecodesTo(const std::vector<uint8_t>& block, std::span<const uint8_t> input)
{
    uint8_t* data = (uint8_t*)malloc(block.size());
    if (data == nullptr)
        throw std::bad_alloc();
    memcpy(data, block.data(), block.size());
    uint8_t* original = data;
    int32_t size = (int32_t)block.size();
    bool ok = Unpack(data, size);
    ok = ok && size == (int32_t)input.size()
         && (input.empty() || memcmp(data, input.data(), input.size()) == 0);
    if (data != original)
        free(data);
    free(original);
    return ok;
}

} // namespace

namespace pack_detail {

uint32_t NumberBits(uint32_t value, int base, int step) { return NumberCost(value, base, step); }
uint32_t LiteralRunBits(uint32_t count) { return LiteralRunCost(count); }
uint32_t ByteRunBits(uint32_t length) { return ByteRunCost(length); }
uint32_t CopyBits(uint32_t length, uint32_t distance) { return CopyCost(length, distance); }

} // namespace pack_detail

std::vector<uint8_t> Pack(std::span<const uint8_t> input, PackLevel level,
                          const std::function<void(size_t done, size_t total)>& progress)
{
    if (input.size() > kMaxBlock)
        throw std::length_error("input larger than 1 GiB cannot be one compressed block");
    BitWriter out(input.size() + input.size() / 32 + 64);   // enough for all but rare blocks
    out.Put(kBlockMagic, 32);
    out.Put((uint32_t)input.size(), 32);
    if (level == PackLevel::Fast)
        FastPacker(input, out, progress).Run();
    else
        BestPacker(input, out, progress).Run();
    std::vector<uint8_t> block = out.Finish();
    if (!DecodesTo(block, input))
        throw std::logic_error("compressed block does not decode to its input");
    if (progress)
        progress(input.size(), input.size());
    return block;
}
