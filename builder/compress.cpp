#include "builder/compress.h"

#include "launcher/codec.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace {

constexpr uint32_t kMagic = 0x9EC72BA1u;
constexpr size_t kMaxBlock = 0x40000000;    // the stub's largest String
constexpr uint32_t kMinCopy = 4;            // shortest copy, also shortest distance
constexpr uint32_t kMinRun = 3;             // shortest byte run
constexpr size_t kProgressStep = 1 << 20;   // report about once per MiB

// ---------------------------------------------------------------------------
// Writing the stream

// Collects bits least significant first, the order the decoder reads them.
class BitWriter {
public:
    explicit BitWriter(size_t expectedBytes) { out_.reserve(expectedBytes); }

    // Appends the low `n` bits of `value` (n <= 32, value < 2^n); fill_ stays
    // below 32 between calls, so the 64-bit accumulator never overflows.
    void Put(uint64_t value, int n)
    {
        acc_ |= value << fill_;
        fill_ += n;
        if (fill_ >= 32) {
            for (int i = 0; i < 4; i++)
                out_.push_back((uint8_t)(acc_ >> (8 * i)));
            acc_ >>= 32;
            fill_ -= 32;
        }
    }

    // A number: k one-bits, a zero-bit, then a field of min(base + k*step, 32)
    // bits. The smallest k whose field holds the value is also the cheapest.
    void PutNumber(uint32_t value, int base, int step)
    {
        int k = 0;
        int width = base;
        while (width < 32 && ((uint64_t)value >> width) != 0) {
            k++;
            width += step;
        }
        width = std::min(width, 32);
        Put((uint64_t(1) << k) - 1, k + 1);     // the ones and their ending zero
        Put(value, width);
    }

    void PutLiteralRun(const uint8_t* bytes, uint32_t count)
    {
        Put(0, 1);
        PutNumber(count - 1, 2, 2);
        uint32_t i = 0;
        for (; i + 4 <= count; i += 4)
            Put((uint32_t)bytes[i] | ((uint32_t)bytes[i + 1] << 8) | ((uint32_t)bytes[i + 2] << 16)
                | ((uint32_t)bytes[i + 3] << 24), 32);
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
            out_.push_back((uint8_t)acc_);
            acc_ >>= 8;
            fill_ = std::max(0, fill_ - 8);
        }
        return std::move(out_);
    }

private:
    std::vector<uint8_t> out_;  // whole bytes written so far
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

size_t CommonLength(const uint8_t* a, const uint8_t* b, size_t limit)
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

struct Match {
    uint32_t length;    // bytes copied, >= kMinCopy
    uint32_t distance;  // back from the current position, >= length
};

// Hash chains over 4-byte prefixes. Candidates come newest first, so a walk
// meets them in order of growing distance, which is also growing cost.
class ChainFinder {
public:
    ChainFinder(std::span<const uint8_t> in, int hashBits, size_t window)
        : in_(in.data()), size_(in.size()), hashBits_(hashBits)
    {
        size_t w = 1;
        while (w < window && w < size_)
            w <<= 1;
        mask_ = w - 1;
        head_.assign(size_t(1) << hashBits, 0);
        prev_.assign(w, 0);
    }

    void Insert(size_t pos)
    {
        if (pos + 4 > size_)
            return;
        uint32_t h = Hash(pos);
        prev_[pos & mask_] = head_[h];
        head_[h] = (uint32_t)pos + 1;
    }

    // Walks at most `depth` candidates and calls visit(distance, length) for
    // each with a usable length, the length capped at the distance (copies
    // never overlap their output) and at the end of input. visit returns
    // false to stop the walk.
    template <class Visit>
    void Walk(size_t pos, int depth, Visit visit) const
    {
        if (pos + kMinCopy > size_)
            return;
        size_t left = size_ - pos;
        uint32_t next = head_[Hash(pos)];
        while (next != 0 && depth-- > 0) {
            size_t cand = next - 1;
            size_t distance = pos - cand;
            if (distance > mask_)
                break;                          // older entries are overwritten
            next = prev_[cand & mask_];
            if (distance < kMinCopy)
                continue;
            size_t limit = std::min(left, distance);
            size_t length = CommonLength(in_ + pos, in_ + cand, limit);
            if (length >= kMinCopy && !visit((uint32_t)distance, (uint32_t)length))
                return;
        }
    }

private:
    uint32_t Hash(size_t pos) const
    {
        uint32_t v;
        memcpy(&v, in_ + pos, 4);
        return (v * 2654435761u) >> (32 - hashBits_);
    }

    const uint8_t* in_;             // the whole input
    size_t size_;                   // its length
    int hashBits_;                  // head_ has 2^hashBits_ entries
    size_t mask_;                   // window - 1; prev_ is indexed by pos & mask_
    std::vector<uint32_t> head_;    // newest position + 1 per hash, 0 = none
    std::vector<uint32_t> prev_;    // the previous position + 1 on the same chain
};

// ---------------------------------------------------------------------------
// Fast level: greedy matching with one step of lazy evaluation.

// The two newest positions for each hash of 4 bytes, side by side in one
// slot with the 4 bytes found there: a probe costs one cache miss for the
// slot, and the input is only read for candidates whose bytes agree.
class BucketFinder {
public:
    static constexpr int kHashBits = 15;

    explicit BucketFinder(std::span<const uint8_t> in)
        : in_(in.data()), size_(in.size()), slots_(size_t(1) << kHashBits)
    {
    }

    void Insert(size_t pos)
    {
        if (pos + 4 > size_)
            return;
        uint32_t v = Load(pos);
        Slot& s = slots_[Hash(v)];
        s.older = s.newer;
        s.olderBytes = s.newerBytes;
        s.newer = (uint32_t)pos + 1;
        s.newerBytes = v;
    }

    void Prefetch(size_t pos) const
    {
        if (pos + 4 <= size_)
            __builtin_prefetch(&slots_[Hash(Load(pos))]);
    }

    // The candidates for `pos` whose first 4 bytes agree with it, newest
    // first, as positions + 1 (0 = none). Needs pos + 4 <= size.
    std::pair<uint32_t, uint32_t> Candidates(size_t pos) const
    {
        uint32_t v = Load(pos);
        const Slot& s = slots_[Hash(v)];
        return {s.newerBytes == v ? s.newer : 0, s.olderBytes == v ? s.older : 0};
    }

private:
    struct Slot {
        uint32_t newer = 0, older = 0;
        uint32_t newerBytes = 0, olderBytes = 0;
    };

    uint32_t Load(size_t pos) const
    {
        uint32_t v;
        memcpy(&v, in_ + pos, 4);
        return v;
    }

    static uint32_t Hash(uint32_t v) { return (v * 2654435761u) >> (32 - kHashBits); }

    const uint8_t* in_;
    size_t size_;
    std::vector<Slot> slots_;
};

struct Choice {
    int64_t gain = 0;       // bits saved against sending the bytes as literals
    uint32_t length = 0;    // 0: no token worth taking
    uint32_t distance = 0;  // 0: a byte run; else a copy
};

class FastPacker {
public:
    // Only a short token is worth a look one byte further: the look costs a
    // probe per token, and a longer find there is rare enough after a
    // match of 6 bytes that executables lose well under 1% without it.
    static constexpr uint32_t kLazyBelow = 6;
    // Inside a token only this many positions at each edge are indexed.
    static constexpr size_t kIndexedEdge = 8;

    FastPacker(std::span<const uint8_t> in, BitWriter& out,
               const std::function<void(size_t, size_t)>& progress)
        : in_(in.data()), size_(in.size()), out_(out), progress_(progress), finder_(in)
    {
    }

    void Run()
    {
        size_t pos = 0;
        size_t literalsFrom = 0;
        size_t nextReport = kProgressStep;
        size_t misses = 0;
        Choice here = Evaluate(pos);
        while (pos < size_) {
            if (progress_ && pos >= nextReport) {
                progress_(pos, size_);
                nextReport = pos + kProgressStep;
            }
            finder_.Insert(pos);
            if (here.length == 0) {
                // Data that keeps failing to match is looked at ever more
                // sparsely, as it is probably incompressible.
                misses++;
                size_t step = 1 + (misses >> 6);
                pos = std::min(size_, pos + step);
                here = Evaluate(pos);
                continue;
            }
            misses = 0;
            // A better token one byte later is worth one more literal.
            if (here.length < kLazyBelow) {
                Choice next = Evaluate(pos + 1);
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
            for (size_t p = pos + 1; p < end; p++) {
                if (p - pos < kIndexedEdge || end - p < kIndexedEdge)
                    finder_.Insert(p);
            }
            pos = literalsFrom = end;
            here = Evaluate(pos);
        }
        FlushLiterals(out_, in_, literalsFrom, size_);
    }

private:
    Choice Evaluate(size_t pos) const
    {
        Choice best;
        if (pos + kMinRun > size_)
            return best;
        finder_.Prefetch(pos + 1);
        if (in_[pos] == in_[pos + 1] && in_[pos] == in_[pos + 2]) {
            size_t run = RunLength(in_, pos, std::min(size_ - pos, kMaxBlock));
            best.gain = 8 * (int64_t)run - pack_detail::ByteRunBits((uint32_t)run);
            best.length = (uint32_t)run;
            if (run >= 64)
                return best;
        }
        if (pos + kMinCopy <= size_) {
            auto [newer, older] = finder_.Candidates(pos);
            Consider(pos, newer, best);
            Consider(pos, older, best);
        }
        if (best.gain <= 0)
            best.length = 0;
        return best;
    }

    // Weighs the copy from candidate position + 1 `entry` (0 = none): the
    // hash may collide, and the copy may not reach past its own start.
    void Consider(size_t pos, uint32_t entry, Choice& best) const
    {
        if (entry == 0)
            return;
        size_t distance = pos - (entry - 1);
        if (distance < kMinCopy)
            return;
        size_t limit = std::min(size_ - pos, distance);
        size_t length = CommonLength(in_ + pos, in_ + entry - 1, limit);
        if (length < kMinCopy)
            return;
        int64_t gain = 8 * (int64_t)length - pack_detail::CopyBits((uint32_t)length, (uint32_t)distance);
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
    BucketFinder finder_;
};

// ---------------------------------------------------------------------------
// Best level: a shortest path over the tokens at every position.
//
// The input is parsed in segments. Within a segment, priceEnd[r] is the
// cheapest cost of the segment's bytes [0, r) when a byte run or a copy ends
// at r (or r = 0), and best[r] the cheapest cost of [0, r) at all: either
// priceEnd[r], or priceEnd[i] plus one literal run [i, r). A literal run's
// cost is 8 bits a byte plus a header that depends only on its count class
// (1..4, 5..16, 17..64, ...), so for each class a sliding-window minimum of
// priceEnd[i] - 8i gives the best run start in O(1). From best[r] every fill
// length and every copy length the match finder allows is relaxed forwards.
// A token of kNiceLength bytes or more ends the segment: it is taken as it
// stands, which keeps long runs and long repeats linear in time. Below
// kSmallInput bytes the chain walk is complete, so for such inputs the
// stream is the smallest the format allows whenever no token reaches
// kNiceLength.

class BestPacker {
public:
    BestPacker(std::span<const uint8_t> in, BitWriter& out,
               const std::function<void(size_t, size_t)>& progress)
        : in_(in.data()), size_(in.size()), out_(out), progress_(progress),
          finder_(in, 17, size_t(1) << 22), depth_(in.size() <= kSmallInput ? std::numeric_limits<int>::max() : kDepth)
    {
        size_t cells = std::min(size_, kSegment) + 1;
        priceEnd_.resize(cells);
        best_.resize(cells);
        literalFrom_.resize(cells);
        into_.resize(cells);
        for (Window& w : windows_)
            w.slots.resize(cells);
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
    static constexpr uint32_t kNiceLength = 128;  // tokens this long are taken as found
    static constexpr int kDepth = 12;
    static constexpr size_t kSmallInput = 4096;   // complete chain walks below this size
    static constexpr uint32_t kNoPrice = std::numeric_limits<uint32_t>::max();
    static constexpr uint32_t kFromEnd = std::numeric_limits<uint32_t>::max();
    static constexpr int kClasses = 16;     // literal count classes up to 2^32

    struct Step {
        uint32_t length = 0;    // token bytes
        uint32_t distance = 0;  // 0: byte run; else a copy
    };

    // Monotone queue of run starts i for one literal count class, ordered by
    // i with increasing priceEnd[i] - 8i.
    struct Window {
        std::vector<uint32_t> slots;
        size_t head = 0, tail = 0;
    };

    int64_t Key(uint32_t i) const { return (int64_t)priceEnd_[i] - 8 * (int64_t)i; }

    static uint64_t ClassLow(int k) { return k == 0 ? 1 : (uint64_t(1) << (2 * k)) + 1; }
    static uint64_t ClassHigh(int k) { return uint64_t(1) << (2 * k + 2); }

    // Best cost of [0, r) ending with a literal run; sets literalFrom_[r].
    void PriceLiterals(uint32_t r)
    {
        best_[r] = priceEnd_[r];
        literalFrom_[r] = kFromEnd;
        for (int k = 0; k < kClasses; k++) {
            uint64_t low = ClassLow(k);
            if (low > r)
                break;
            Window& w = windows_[k];
            uint32_t enter = (uint32_t)(r - low);
            if (priceEnd_[enter] != kNoPrice) {
                while (w.tail > w.head && Key(w.slots[w.tail - 1]) >= Key(enter))
                    w.tail--;
                w.slots[w.tail++] = enter;
            }
            uint64_t high = ClassHigh(k);
            while (w.tail > w.head && r - w.slots[w.head] > high)
                w.head++;
            if (w.tail == w.head)
                continue;
            uint32_t from = w.slots[w.head];
            uint64_t cost = (uint64_t)priceEnd_[from] + pack_detail::LiteralRunBits(r - from);
            if (cost < best_[r]) {
                best_[r] = (uint32_t)cost;
                literalFrom_[r] = from;
            }
        }
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

    // On long inputs the walk is cut short, and a chain flooded with the
    // positions inside runs of one byte would hide every older candidate.
    // Those positions make poor copy sources anyway (a byte run codes them),
    // so only a run's first and last few positions are indexed.
    void InsertUnlessInsideRun(size_t pos, size_t run)
    {
        bool inside = run > 4 && pos > 0 && in_[pos - 1] == in_[pos];
        if (!inside || depth_ == std::numeric_limits<int>::max())
            finder_.Insert(pos);
    }

    // Parses from `start`; returns where the next segment begins.
    size_t Segment(size_t start)
    {
        size_t end = std::min(size_, start + kSegment);
        uint32_t cells = (uint32_t)(end - start);
        std::fill(priceEnd_.begin(), priceEnd_.begin() + cells + 1, kNoPrice);
        priceEnd_[0] = 0;
        for (Window& w : windows_)
            w.head = w.tail = 0;

        Step forced;
        uint32_t r = 0;
        size_t run = 0;
        for (;; r++) {
            PriceLiterals(r);
            size_t pos = start + r;
            if (pos == end)
                break;
            run = (run > 1 && in_[pos] == in_[pos - 1]) ? run - 1
                                                       : RunLength(in_, pos, size_ - pos);
            Match matches[kNiceLength];
            size_t count = 0;
            uint32_t longest = 0;
            // Data that keeps failing to match is searched ever more
            // sparsely (never on short inputs, whose parse stays exact);
            // the parse still prices every position.
            size_t stride = depth_ == std::numeric_limits<int>::max() ? 1 : 1 + (misses_ >> 7);
            if (pos % stride == 0) {
                finder_.Walk(pos, depth_, [&](uint32_t distance, uint32_t length) {
                    if (length > longest) {
                        longest = length;
                        matches[count++] = {length, distance};
                    }
                    return length < kNiceLength && count < kNiceLength;
                });
            }
            misses_ = (count == 0 && run < kMinRun) ? misses_ + 1 : 0;
            InsertUnlessInsideRun(pos, run);
            if (run >= kNiceLength || longest >= kNiceLength) {
                if (run >= longest)
                    forced = {(uint32_t)run, 0};
                else
                    forced = {matches[count - 1].length, matches[count - 1].distance};
                break;
            }
            uint32_t room = cells - r;
            for (uint32_t n = kMinRun; n <= std::min<size_t>(run, room); n++)
                Relax(r, n, 0, pack_detail::ByteRunBits(n));
            uint32_t length = kMinCopy;
            for (size_t m = 0; m < count; m++) {
                uint32_t top = std::min(matches[m].length, room);
                for (; length <= top; length++)
                    Relax(r, length, matches[m].distance,
                          pack_detail::CopyBits(length, matches[m].distance));
            }
        }
        Emit(start, r);
        size_t next = start + r;
        if (forced.length != 0) {
            if (forced.distance == 0)
                out_.PutByteRun(in_[next], forced.length);
            else
                out_.PutCopy(forced.length, forced.distance);
            for (size_t p = next + 1, left = forced.length - 1; left > 0; p++, left--)
                InsertUnlessInsideRun(p, forced.distance == 0 ? left : 0);
            next += forced.length;
        }
        return next;
    }

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
    ChainFinder finder_;
    int depth_;                         // chain candidates looked at per position
    size_t misses_ = 0;                 // positions in a row without any token
    std::vector<uint32_t> priceEnd_;    // see the block comment above
    std::vector<uint32_t> best_;
    std::vector<uint32_t> literalFrom_; // start of the literal run into best_[r], or kFromEnd
    std::vector<Step> into_;            // the token that ends at r for priceEnd_[r]
    Window windows_[kClasses];
};

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

uint32_t NumberBits(uint32_t value, int base, int step)
{
    int bits = value == 0 ? 0 : 32 - __builtin_clz(value);     // significant bits
    int k = bits <= base ? 0 : (bits - base + step - 1) / step;  // fewest prefix ones
    return (uint32_t)(k + 1 + std::min(base + k * step, 32));
}

uint32_t LiteralRunBits(uint32_t count) { return 1 + NumberBits(count - 1, 2, 2) + 8 * count; }
uint32_t ByteRunBits(uint32_t length) { return 2 + 8 + NumberBits(length - kMinRun, 1, 1); }

uint32_t CopyBits(uint32_t length, uint32_t distance)
{
    return 2 + NumberBits(length - kMinCopy, 2, 1) + NumberBits(distance - kMinCopy, 12, 2);
}

} // namespace pack_detail

std::vector<uint8_t> Pack(std::span<const uint8_t> input, PackLevel level,
                          const std::function<void(size_t done, size_t total)>& progress)
{
    if (input.size() > kMaxBlock)
        throw std::length_error("input larger than 1 GiB cannot be one compressed block");
    BitWriter out(input.size() / 2 + 64);
    out.Put(kMagic, 32);
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
