// String: see string.h. Portable code.
#include "core/string.h"

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "core/fatal.h"
#include "core/format.h"

const char String::Blanks[] = " \r\n\t";
const char String::EmptyText[1] = "";

namespace {

inline unsigned char FoldLower(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? (unsigned char)(c + ('a' - 'A')) : c;
}

inline unsigned char FoldUpper(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? (unsigned char)(c - ('a' - 'A')) : c;
}

inline bool IsWordByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

// memchr rather than strchr: a zero byte of the content must never count as
// a member of the set (strchr finds the set's terminator).
inline bool InSet(const char* set, int setLength, char c)
{
    return memchr(set, c, (size_t)setLength) != nullptr;
}

int CompareBytes(const char* a, const char* b, int n, bool caseSensitive)
{
    if (caseSensitive)
        return memcmp(a, b, (size_t)n);
    for (int i = 0; i < n; i++) {
        int diff = FoldLower((unsigned char)a[i]) - FoldLower((unsigned char)b[i]);
        if (diff != 0)
            return diff;
    }
    return 0;
}

inline int Min(int a, int b) { return a < b ? a : b; }
inline int Max(int a, int b) { return a > b ? a : b; }

// Writes the decimal text of n into out (at least 21 bytes), returns its length.
int WriteDecimal(char* out, long long n)
{
    char digits[20];
    uint64_t magnitude = n < 0 ? 0ULL - (uint64_t)n : (uint64_t)n;
    int count = 0;
    do {
        digits[count++] = (char)('0' + DivideInPlace(magnitude, 10));
    } while (magnitude != 0);
    int length = 0;
    if (n < 0)
        out[length++] = '-';
    while (count > 0)
        out[length++] = digits[--count];
    out[length] = 0;
    return length;
}

} // namespace

// ---------------------------------------------------------------------------
// Construction, assignment, access

String::String(const char* text)
{
    if (text == nullptr || *text == 0)
        return;
    int length = (int)strlen(text);
    data_ = (char*)malloc((size_t)length + Slack);
    if (data_ == nullptr)
        FatalError("Out of memory");
    memcpy(data_, text, (size_t)length + 1);
    length_ = length;
    capacity_ = length + Slack;
}

String::String(const char* bytes, int count)
{
    Assign(bytes, count);
}

String::String(const String& other)
{
    Assign(other.data_, other.length_);
}

String::String(String&& other) noexcept
    : data_(other.data_), length_(other.length_), capacity_(other.capacity_)
{
    other.data_ = nullptr;
    other.length_ = 0;
    other.capacity_ = 0;
}

String::~String()
{
    free(data_);
}

String& String::operator=(const String& other)
{
    Assign(other);
    return *this;
}

String& String::operator=(String&& other) noexcept
{
    if (this != &other) {
        free(data_);
        data_ = other.data_;
        length_ = other.length_;
        capacity_ = other.capacity_;
        other.data_ = nullptr;
        other.length_ = 0;
        other.capacity_ = 0;
    }
    return *this;
}

String& String::operator=(const char* text)
{
    Assign(text);
    return *this;
}

void String::Assign(const char* text)
{
    if (text == nullptr)
        Clear();
    else
        Assign(text, (int)strlen(text));
}

void String::Assign(const String& other)
{
    if (this != &other)
        Assign(other.data_, other.length_);
}

void String::Assign(const void* bytes, int count)
{
    if (bytes == nullptr || count < 1) {
        Clear();
        return;
    }
    // A piece of this very string (s.Assign(s.CStr() + 3)) is moved to the
    // front first, as the resize below may move or free the block.
    const char* source = (const char*)bytes;
    if (data_ != nullptr && source >= data_ && source < data_ + capacity_) {
        memmove(data_, source, (size_t)count);
        SetLength(count);
        return;
    }
    SetLength(count);
    memcpy(data_, source, (size_t)count);
}

void String::AssignUpTo(const char* text, int limit)
{
    int count = 0;
    if (text != nullptr)
        while (count < limit && text[count] != 0)
            count++;
    Assign(text, count);
}

void String::Adopt(void* block, int n)
{
    Clear();
    if (block == nullptr)
        return;
    if (n <= 0) {
        free(block);
        return;
    }
    if (n > MaxLength)
        AssertionStop("Core32", 700);
    char* data = (char*)realloc(block, (size_t)n + 1);
    if (data == nullptr)
        OutOfMemory((size_t)n + 1);
    data_ = data;
    length_ = n;
    capacity_ = n + 1;
    data_[n] = 0;
}

char* String::Detach()
{
    char* data = data_;
    data_ = nullptr;
    length_ = 0;
    capacity_ = 0;
    return data;
}

void String::Clear()
{
    free(data_);
    data_ = nullptr;
    length_ = 0;
    capacity_ = 0;
}

void String::Reallocate(int capacity)
{
    char* data = (char*)realloc(data_, (size_t)capacity);
    if (data == nullptr)
        OutOfMemory((size_t)capacity);
    data_ = data;
    capacity_ = capacity;
}

void String::SetLength(int n)
{
    if (n < 1) {
        Clear();
        return;
    }
    if (n == length_)
        return;
    if (n >= capacity_ || n < capacity_ - ShrinkHysteresis) {
        if (n > MaxLength)
            AssertionStop("Core32", 700);
        Reallocate(n + Slack);
    }
    length_ = n;
    data_[n] = 0;
}

void String::SyncLength()
{
    if (data_ == nullptr) {
        length_ = 0;
        return;
    }
    // Never look past the block, even if the caller forgot the terminator.
    const char* end = (const char*)memchr(data_, 0, (size_t)capacity_);
    SetLength(end != nullptr ? (int)(end - data_) : capacity_ - 1);
}

bool String::EnsureLength(int n)
{
    if (n < capacity_) {
        if (length_ < n) {
            length_ = n;
            data_[n] = 0;
        }
        return false;
    }
    SetLength(n);
    return true;
}

void String::Reset(int n)
{
    Clear();
    if (n > 0)
        SetLength(n);
}

char String::CharAt(int i) const
{
    return (i >= 0 && i < length_) ? data_[i] : 0;
}

char String::First() const
{
    return length_ > 0 ? data_[0] : 0;
}

char String::Last() const
{
    return length_ > 0 ? data_[length_ - 1] : 0;
}

char* String::At(int i)
{
    if (i < 0 || i >= length_)
        AssertionStop("Core32", 640);
    return data_ + i;
}

const char* String::At(int i) const
{
    if (i < 0 || i >= length_)
        AssertionStop("Core32", 640);
    return data_ + i;
}

bool String::SetAt(int i, char c)
{
    if (i < 0 || i >= length_)
        return false;
    data_[i] = c;
    if (c == 0)
        length_ = i;
    return true;
}

// ---------------------------------------------------------------------------
// Appending and inserting

String& String::Append(char c)
{
    SetLength(length_ + 1);
    data_[length_ - 1] = c;
    return *this;
}

String& String::Append(const char* text)
{
    if (text != nullptr)
        Append(text, (int)strlen(text));
    return *this;
}

String& String::Append(const String& other, int limit)
{
    return Append(other.data_, Min(other.length_, limit));
}

String& String::Append(const void* bytes, int count)
{
    if (bytes == nullptr || count <= 0)
        return *this;
    // s.Append(s): the source moves with the block when it grows.
    const char* source = (const char*)bytes;
    int oldLength = length_;
    if (data_ != nullptr && source >= data_ && source < data_ + capacity_) {
        int offset = (int)(source - data_);
        SetLength(oldLength + count);
        memmove(data_ + oldLength, data_ + offset, (size_t)count);
        return *this;
    }
    SetLength(oldLength + count);
    memcpy(data_ + oldLength, source, (size_t)count);
    return *this;
}

char* String::Grow(int n)
{
    if (n <= 0)
        return data_ + length_;
    int oldLength = length_;
    SetLength(oldLength + n);
    return data_ + oldLength;
}

char* String::GrowOrNull(int n)
{
    return n < 0 ? nullptr : Grow(n);
}

void String::Insert(char c, int pos, int count)
{
    if (count <= 0)
        return;
    pos = Max(0, Min(pos, length_));
    int oldLength = length_;
    SetLength(oldLength + count);
    memmove(data_ + pos + count, data_ + pos, (size_t)(oldLength - pos));
    memset(data_ + pos, c, (size_t)count);
}

void String::Insert(const char* text, int pos, int limit)
{
    if (text != nullptr)
        InsertBytes(text, Min((int)strlen(text), limit), pos);
}

void String::Insert(const String& other, int pos, int limit)
{
    InsertBytes(other.data_, Min(other.length_, limit), pos);
}

void String::InsertBytes(const void* bytes, int n, int pos)
{
    if (bytes == nullptr || n <= 0)
        return;
    const char* source = (const char*)bytes;
    if (data_ != nullptr && source >= data_ && source < data_ + capacity_) {
        String copy(source, n);     // the block may move: insert a copy
        InsertBytes(copy.data_, n, pos);
        return;
    }
    pos = Max(0, Min(pos, length_));
    int oldLength = length_;
    SetLength(oldLength + n);
    memmove(data_ + pos + n, data_ + pos, (size_t)(oldLength - pos));
    memcpy(data_ + pos, source, (size_t)n);
}

bool String::EnsureLeading(char c)
{
    if (length_ > 0 && data_[0] == c)
        return false;
    Insert(c, 0);
    return true;
}

bool String::EnsureTrailing(char c)
{
    if (length_ > 0 && data_[length_ - 1] == c)
        return false;
    Append(c);
    return true;
}

String operator+(const String& left, char c)
{
    String result(left);
    result.Append(c);
    return result;
}

String operator+(const String& left, const char* right)
{
    String result(left);
    result.Append(right);
    return result;
}

String operator+(const String& left, const String& right)
{
    String result(left);
    result.Append(right);
    return result;
}

String operator+(const char* left, const String& right)
{
    String result(left);
    result.Append(right);
    return result;
}

// ---------------------------------------------------------------------------
// Formatting

void String::AppendFormatV(const char* format, va_list args)
{
    if (format == nullptr)
        return;
    char piece[FormatPieceSize];
#ifdef _WIN32
    // msvcrt's own printf, small; -1 means the output was cut to size and
    // left unterminated.
    int length = _vsnprintf(piece, FormatPieceSize, format, args);
    if (length < 0)
        length = FormatPieceSize;
#else
    int length = vsnprintf(piece, FormatPieceSize, format, args);
    if (length < 0)
        length = 0;
#endif
    if (length >= FormatPieceSize)
        length = FormatPieceSize - 1;
    Append(piece, length);
}

namespace {

// Skips a width or precision of at most two digits; null when it is longer.
const char* SkipShortNumber(const char* c)
{
    size_t digits = strspn(c, "0123456789");
    return digits > 2 ? nullptr : c + digits;
}

} // namespace

bool String::FormatFits(const char* format, const char* conversions)
{
    for (const char* c = format; c && *c; c++) {
        if (*c != '%' || *++c == '%')
            continue;
        c = SkipShortNumber(c + strspn(c, "-+ #0"));
        if (c != nullptr && *c == '.')
            c = SkipShortNumber(c + 1);
        // A lone '%' at the end, a size prefix (%ls, %I64d), '*', %n or a
        // letter other than the next expected one all end here.
        if (c == nullptr || *c == 0 || *c != *conversions)
            return false;
        conversions++;
    }
    return *conversions == 0;
}

void String::AppendCheckedFormatV(const char* format, const char* conversions, va_list args)
{
    if (FormatFits(format, conversions))
        AppendFormatV(format, args);
    else
        Append(format);
}

void String::Format(const char* format, ...)
{
    Clear();
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

void String::AppendFormat(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    AppendFormatV(format, args);
    va_end(args);
}

String String::Formatted(const char* format, ...)
{
    String result;
    va_list args;
    va_start(args, format);
    result.AppendFormatV(format, args);
    va_end(args);
    return result;
}

// ---------------------------------------------------------------------------
// Deleting and cutting

bool String::Delete(int pos, int count)
{
    if (pos >= length_)
        return false;
    if (pos < 0) {
        count += pos;
        pos = 0;
    }
    if (count < 1)
        return false;
    if (count >= length_ - pos) {
        SetLength(pos);
        return true;
    }
    memmove(data_ + pos, data_ + pos + count, (size_t)(length_ - pos - count + 1));
    length_ -= count;
    return true;
}

int String::ChopLeft(int n)
{
    if (n < 1)
        return 0;
    int removed = Min(n, length_);
    Delete(0, removed);
    return removed;
}

int String::ChopRight(int n)
{
    if (n < 1)
        return 0;
    int start = Max(0, length_ - n);
    int removed = length_ - start;
    Delete(start, All);
    return removed;
}

int String::ChopBoth(int n)
{
    int removed = ChopLeft(n);
    return removed + ChopRight(n);
}

int String::RemoveChar(char c)
{
    int kept = 0;
    for (int i = 0; i < length_; i++)
        if (data_[i] != c)
            data_[kept++] = data_[i];
    int removed = length_ - kept;
    if (removed != 0)
        SetLength(kept);
    return removed;
}

int String::RemoveAll(const char* text, int max, bool caseSensitive)
{
    if (text == nullptr || *text == 0)
        return 0;
    int textLength = (int)strlen(text);
    int removed = 0;
    int pos = 0;
    while (removed < max) {
        pos = FindAt(text, textLength, pos, caseSensitive ? 0 : FindNoCase);
        if (pos < 0)
            break;
        Delete(pos, textLength);
        removed++;
    }
    return removed;
}

bool String::TruncateAtChar(char c)
{
    int pos = FindChar(c);
    if (pos < 0)
        return false;
    Truncate(pos);
    return true;
}

bool String::StripLeading(char c)
{
    if (length_ == 0 || data_[0] != c)
        return false;
    Delete(0, 1);
    return true;
}

bool String::StripTrailing(char c)
{
    if (length_ == 0 || data_[length_ - 1] != c)
        return false;
    SetLength(length_ - 1);
    return true;
}

bool String::StripLeadingOneOf(const char* set)
{
    if (length_ == 0 || set == nullptr || !InSet(set, (int)strlen(set), data_[0]))
        return false;
    Delete(0, 1);
    return true;
}

char String::PopChar()
{
    if (length_ == 0)
        return 0;
    char c = data_[0];
    Delete(0, 1);
    return c;
}

bool String::Unquote(char c)
{
    // A lone quote is not an enclosing pair: it stays.
    if (length_ < 2 || data_[0] != c || data_[length_ - 1] != c)
        return false;
    SetLength(length_ - 1);
    Delete(0, 1);
    return true;
}

bool String::RemovePrefixNoCase(const char* text)
{
    if (text == nullptr || *text == 0)
        return false;
    int textLength = (int)strlen(text);
    if (textLength > length_ || CompareBytes(data_, text, textLength, false) != 0)
        return false;
    Delete(0, textLength);
    return true;
}

// ---------------------------------------------------------------------------
// Trimming

int String::TrimLeft(const char* set)
{
    if (set == nullptr)
        return 0;
    int setLength = (int)strlen(set);
    int count = 0;
    while (count < length_ && InSet(set, setLength, data_[count]))
        count++;
    if (count > 0)
        Delete(0, count);
    return count;
}

int String::TrimRight(const char* set)
{
    if (set == nullptr)
        return 0;
    int setLength = (int)strlen(set);
    int keep = length_;
    while (keep > 0 && InSet(set, setLength, data_[keep - 1]))
        keep--;
    int count = length_ - keep;
    if (count > 0)
        SetLength(keep);
    return count;
}

int String::TrimRightChar(char c)
{
    int keep = length_;
    while (keep > 0 && data_[keep - 1] == c)
        keep--;
    int count = length_ - keep;
    if (count > 0)
        SetLength(keep);
    return count;
}

int String::Trim()
{
    int removed = TrimRight();
    return removed + TrimLeft();
}

bool String::IsBlank() const
{
    for (int i = 0; i < length_; i++)
        if (!InSet(Blanks, 4, data_[i]))
            return false;
    return true;
}

// ---------------------------------------------------------------------------
// Comparing

int String::Compare(const char* text, bool caseSensitive, int limit) const
{
    if (text == nullptr || *text == 0)
        return length_ == 0 ? 0 : 1;
    if (data_ == nullptr)
        return -1;
    int n = Min(Min(length_, (int)strlen(text)) + 1, limit);
    if (n < 1)
        return -1;
    return CompareBytes(data_, text, n, caseSensitive);
}

int String::Compare(const String& other, bool caseSensitive, int limit) const
{
    if (other.length_ == 0)
        return length_ == 0 ? 0 : 1;
    if (length_ == 0)
        return -1;
    int n = Min(Min(length_, other.length_) + 1, limit);
    if (n < 1)
        return -1;
    return CompareBytes(data_, other.data_, n, caseSensitive);
}

bool String::IsPrefixOfNoCase(const char* text) const
{
    if (data_ == nullptr || text == nullptr)
        return false;
    for (int i = 0; i < length_; i++) {
        if (text[i] == 0)
            return false;   // text is shorter than this string
        if (FoldLower((unsigned char)data_[i]) != FoldLower((unsigned char)text[i]))
            return false;
    }
    return true;
}

bool String::FirstIs(char c) const
{
    return length_ > 0 && data_[0] == c;
}

bool String::LastIs(char c) const
{
    return length_ > 0 && data_[length_ - 1] == c;
}

bool operator==(const String& left, const String& right)
{
    return left.length_ == right.length_
        && (left.length_ == 0 || memcmp(left.data_, right.data_, (size_t)left.length_) == 0);
}

bool operator==(const String& left, const char* right)
{
    size_t length = right != nullptr ? strlen(right) : 0;
    return (size_t)left.length_ == length
        && (length == 0 || memcmp(left.data_, right, length) == 0);
}

// ---------------------------------------------------------------------------
// Searching

int String::FindAt(const char* text, int textLength, int from, int flags) const
{
    bool noCase = (flags & FindNoCase) != 0;
    bool wildcard = (flags & FindWildcard) != 0;
    bool wholeWord = (flags & FindWholeWord) != 0;
    int last = length_ - textLength;
    for (int pos = Max(from, 0); pos <= last; pos++) {
        const char* candidate = data_ + pos;
        bool match;
        if (wildcard) {
            match = true;
            for (int i = 0; i < textLength && match; i++) {
                if (text[i] == '?')
                    continue;
                if (noCase)
                    match = FoldUpper((unsigned char)candidate[i]) == FoldUpper((unsigned char)text[i]);
                else
                    match = candidate[i] == text[i];
            }
        } else {
            match = CompareBytes(candidate, text, textLength, !noCase) == 0;
        }
        if (!match)
            continue;
        if (wholeWord && ((pos > 0 && IsWordByte(data_[pos - 1]))
                          || (pos + textLength < length_ && IsWordByte(data_[pos + textLength]))))
            continue;
        return pos;
    }
    return -1;
}

int String::Find(const char* text, int from, int flags) const
{
    if (text == nullptr || *text == 0)
        return -1;
    return FindAt(text, (int)strlen(text), from, flags);
}

int String::FindChar(char c, int from, bool caseSensitive) const
{
    unsigned char wanted = caseSensitive ? (unsigned char)c : FoldUpper((unsigned char)c);
    for (int i = Max(from, 0); i < length_; i++) {
        unsigned char b = (unsigned char)data_[i];
        if ((caseSensitive ? b : FoldUpper(b)) == wanted)
            return i;
    }
    return -1;
}

int String::ReverseFindChar(char c, int from) const
{
    for (int i = Min(from, length_ - 1); i >= 0; i--)
        if (data_[i] == c)
            return i;
    return -1;
}

int String::FindOneOf(const char* set, int from) const
{
    if (set == nullptr || *set == 0)
        return -1;
    int setLength = (int)strlen(set);
    for (int i = Max(from, 0); i < length_; i++)
        if (InSet(set, setLength, data_[i]))
            return i;
    return -1;
}

int String::FindNotOneOf(const char* set, int from) const
{
    int setLength = set != nullptr ? (int)strlen(set) : 0;
    for (int i = Max(from, 0); i < length_; i++)
        if (!InSet(set != nullptr ? set : "", setLength, data_[i]))
            return i;
    return -1;
}

int String::FindNumberStart(int from) const
{
    for (int i = Max(from, 0); i < length_; i++) {
        char c = data_[i];
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')
            return i;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Cutting out pieces

String String::Mid(int start, int count) const
{
    start = Max(start, 0);
    if (start >= length_)
        return String();
    count = Min(count, length_ - start);
    if (count <= 0)
        return String();
    return String(data_ + start, count);
}

String String::Extract(int start, int count)
{
    String piece = Mid(start, count);
    if (!piece.IsEmpty())
        Delete(Max(start, 0), piece.length_);
    return piece;
}

String String::SplitAt(const char* text, int flags)
{
    int pos = Find(text, 0, flags);
    if (pos < 0)
        return String();
    String tail = Mid(pos);
    Truncate(pos);
    return tail;
}

namespace {

// Length of the line end at line[i], which is a zero byte, LF or CR.
int LineEndLength(const char* line, int i, int length)
{
    char c = line[i];
    if (c == 0 || i + 1 >= length)
        return 1;
    char next = line[i + 1];
    return ((c == '\n' && next == '\r') || (c == '\r' && next == '\n')) ? 2 : 1;
}

} // namespace

static String PopLineFrom(String& text, bool withEnd)
{
    const char* data = text.CStr();
    int length = text.Length();
    for (int i = 0; i < length; i++) {
        char c = data[i];
        if (c == 0 || c == '\n' || c == '\r') {
            int end = LineEndLength(data, i, length);
            String line = text.Mid(0, withEnd ? i + end : i);
            text.Delete(0, i + end);
            return line;
        }
    }
    String line(static_cast<String&&>(text));
    text.Clear();
    return line;
}

String String::PopLine()
{
    return PopLineFrom(*this, false);
}

String String::PopLineWithEnd()
{
    return PopLineFrom(*this, true);
}

String String::PopQuoted(char q, int pos)
{
    String piece;
    if (pos < 0 || pos >= length_ || data_[pos] != q)
        return piece;
    int i = pos + 1;
    int end = length_;          // no closing quote: the rest is taken
    int runStart = i;
    while (i < length_) {
        if (data_[i] != q) {
            i++;
            continue;
        }
        piece.Append(data_ + runStart, i - runStart);
        if (i + 1 < length_ && data_[i + 1] == q) {
            piece.Append(q);    // a doubled quote stands for one
            i += 2;
            runStart = i;
            continue;
        }
        end = i + 1;
        runStart = -1;
        break;
    }
    if (runStart >= 0)
        piece.Append(data_ + runStart, length_ - runStart);
    Delete(pos, end - pos);
    return piece;
}

String String::PopToken()
{
    TrimLeft();
    String token;
    int i = 0;                  // bytes [0, i) are taken
    while (i < length_) {
        char c = data_[i];
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            i++;                // the blank that ends the token is consumed
            break;
        }
        if (c == '"') {
            String quoted = PopQuoted('"', i);  // removed from here, rest moves to i
            token.Append('"');
            token.Append(quoted);
            token.Append('"');
            continue;
        }
        token.Append(c);
        i++;
    }
    Delete(0, i);
    return token;
}

// ---------------------------------------------------------------------------
// Replacing

namespace {

// The replacement for one wildcard match: the k-th '?' of replacement takes
// the byte that the k-th '?' of find matched; without such a '?' it stays.
void FillWildcards(char* out, const char* replacement, int replacementLength,
                   const char* find, int findLength, const char* matched)
{
    int f = 0;
    for (int i = 0; i < replacementLength; i++) {
        char c = replacement[i];
        if (c != '?') {
            out[i] = c;
            continue;
        }
        while (f < findLength && find[f] != '?')
            f++;
        if (f < findLength) {
            out[i] = matched[f];
            f++;
        } else {
            out[i] = '?';
        }
    }
}

} // namespace

int String::ReplaceAll(const char* find, const char* replacement, int flags)
{
    if (find == nullptr || *find == 0)
        return 0;
    if (replacement == nullptr)
        replacement = "";
    const int f = (int)strlen(find);
    const int r = (int)strlen(replacement);
    const int d = r - f;
    const bool wildcard = (flags & FindWildcard) != 0;
    String filled;              // the replacement for the current match
    if (wildcard)
        filled.Reset(r);
    auto replacementFor = [&](int matchPos) -> const char* {
        if (!wildcard)
            return replacement;
        FillWildcards(filled.Data(), replacement, r, find, f, data_ + matchPos);
        return filled.CStr();
    };

    if (d == 0) {
        int count = 0;
        for (int pos = FindAt(find, f, 0, flags); pos >= 0; pos = FindAt(find, f, pos + r, flags)) {
            memcpy(data_ + pos, replacementFor(pos), (size_t)r);
            count++;
        }
        return count;
    }

    // Collect every match first, then move each byte at most once. The list
    // doubles as it fills: the string's own +25 slack would reallocate it
    // every few matches.
    String positionBytes;
    int count = 0;
    int room = 0;
    for (int pos = FindAt(find, f, 0, flags); pos >= 0; pos = FindAt(find, f, pos + f, flags)) {
        if (count == room) {
            room = room == 0 ? 16 : room * 2;
            positionBytes.SetLength(room * (int)sizeof(int));
        }
        ((int*)positionBytes.Data())[count++] = pos;
    }
    if (count == 0)
        return 0;
    const int* positions = (const int*)positionBytes.Data();

    if (d < 0) {
        int write = positions[0];
        for (int k = 0; k < count; k++) {
            int match = positions[k];
            memmove(data_ + write, replacementFor(match), (size_t)r);
            write += r;
            int tail = match + f;
            int tailEnd = k + 1 < count ? positions[k + 1] : length_;
            memmove(data_ + write, data_ + tail, (size_t)(tailEnd - tail));
            write += tailEnd - tail;
        }
        SetLength(write);
        return count;
    }

    long long grownLength = (long long)length_ + (long long)count * d;
    int oldLength = length_;
    SetLength(grownLength > MaxLength ? MaxLength + 1 : (int)grownLength);
    int tailEnd = oldLength;
    for (int k = count - 1; k >= 0; k--) {
        int match = positions[k];
        int tail = match + f;
        memmove(data_ + tail + (k + 1) * d, data_ + tail, (size_t)(tailEnd - tail));
        // The matched bytes are still in place: only bytes behind them moved.
        const char* text = replacementFor(match);
        memmove(data_ + match + k * d, text, (size_t)r);
        tailEnd = match;
    }
    return count;
}

void String::ToCrLf()
{
    String result;
    for (int i = 0; i < length_; i++) {
        char c = data_[i];
        if (c != '\r' && c != '\n') {
            result.Append(c);
            continue;
        }
        char next = i + 1 < length_ ? data_[i + 1] : 0;
        if ((c == '\r' && next == '\n') || (c == '\n' && next == '\r'))
            i++;                // a pair is one line end
        result.Append("\r\n", 2);
    }
    *this = static_cast<String&&>(result);
}

void String::MakeUpper()
{
    for (int i = 0; i < length_; i++)
        data_[i] = (char)toupper((unsigned char)data_[i]);
}

// ---------------------------------------------------------------------------
// Numbers

int String::ToInt() const
{
    int i = FindNumberStart(0);
    if (i < 0)
        return 0;
    // atoi's rules on the number with its commas left out. A number beyond
    // the range of an int gives the nearest end of the range, as the
    // Windows runtime's atoi does.
    bool negative = data_[i] == '-';
    if (negative || data_[i] == '+')
        i++;
    // Counted in unsigned 32 bits, held at 2^31 once it is that large.
    const unsigned int kLimit = 0x80000000u;
    unsigned int value = 0;
    for (; i < length_; i++) {
        char c = data_[i];
        if (c == ',')
            continue;
        if (c < '0' || c > '9')
            break;
        unsigned int digit = (unsigned int)(c - '0');
        value = value > (kLimit - digit) / 10 ? kLimit : value * 10 + digit;
    }
    if (negative)
        return (int)(0u - value);
    return value >= kLimit ? 0x7FFFFFFF : (int)value;
}

int String::ParseInt(int& pos) const
{
    if (pos < 0 || pos >= length_)
        return (int)0x80000000u;
    bool negative = false;
    if (data_[pos] == '+' || data_[pos] == '-') {
        negative = data_[pos] == '-';
        pos++;
    }
    unsigned int value = 0;     // unsigned: an overlong number wraps, never traps
    while (pos < length_ && data_[pos] >= '0' && data_[pos] <= '9') {
        value = value * 10 + (unsigned int)(data_[pos] - '0');
        pos++;
    }
    return (int)(negative ? 0u - value : value);
}

String String::FromInt(int n)
{
    char text[24];
    return String(text, WriteDecimal(text, n));
}

String String::FromInt64Grouped(long long n)
{
    char text[24];
    int length = WriteDecimal(text, n);
    if (length < 5)
        return String(text, length);
    char grouped[32];
    int sign = text[0] == '-' ? 1 : 0;
    int digits = length - sign;
    int out = 0;
    if (sign)
        grouped[out++] = '-';
    for (int i = 0; i < digits; i++) {
        if (i > 0 && (digits - i) % 3 == 0)
            grouped[out++] = ',';
        grouped[out++] = text[sign + i];
    }
    return String(grouped, out);
}

String String::FromDouble(double x, int decimals)
{
    if (decimals >= 0)
        return Formatted("%.*f", decimals, x);
    String text = Formatted("%.6f", x);
    if (text.FindChar('.') >= 0) {
        text.TrimRightChar('0');
        text.StripTrailing('.');
    }
    return text;
}

// ---------------------------------------------------------------------------
// Byte-buffer use

uint32_t String::ReadU32(int offset) const
{
    if (offset < 0 || offset > length_ - 4)
        return 0xFFFFFFFFu;
    const unsigned char* p = (const unsigned char*)data_ + offset;
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

bool String::WriteU16(int offset, uint16_t value)
{
    unsigned char bytes[2] = {(unsigned char)value, (unsigned char)(value >> 8)};
    return CopyIn(bytes, offset, 2);
}

bool String::WriteU32(int offset, uint32_t value)
{
    unsigned char bytes[4] = {(unsigned char)value, (unsigned char)(value >> 8),
                              (unsigned char)(value >> 16), (unsigned char)(value >> 24)};
    return CopyIn(bytes, offset, 4);
}

bool String::CopyIn(const void* bytes, int offset, int count)
{
    if (offset < 0 || count < 0 || count > length_ - offset)
        return false;
    if (count > 0) {
        if (bytes == nullptr)
            return false;
        memmove(data_ + offset, bytes, (size_t)count);
    }
    return true;
}
