// String: the program's own growable byte string.
//
// It keeps paths, messages and settings, and doubles as the raw byte buffer
// of the archive and codec code, so its content may hold zero bytes: the
// length, not the first zero, is authoritative. Whenever a block exists it
// is terminated by a zero byte at data[length], so CStr() is always usable
// as a C text; CStr() of the empty state is a static empty text.
//
// The block comes from malloc/realloc/free: Detach() hands it to the caller,
// who frees it with free(); Adopt() takes over a malloc'd block.
//
// Positions are zero-based; a failed search returns -1; a count or limit of
// String::All means everything. Bad positions and counts are not errors:
// the operation returns -1, 0, false or an empty result and changes nothing.
// The only fatal stops are At() out of range, a length above MaxLength and
// an exhausted heap (see core/fatal.h).
//
// Portable: this header includes no windows.h.
#pragma once

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>

// The stub formats with msvcrt's printf (the C99 one of MinGW would add
// 28 KB): no %zu there, and 64-bit values are best passed as text
// (String::FromInt64Grouped).
#if defined(__MINGW32__)
#define VELT_PRINTF_FORMAT(fmt, args) __attribute__((format(ms_printf, fmt, args)))
#elif defined(__GNUC__)
#define VELT_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define VELT_PRINTF_FORMAT(fmt, args)
#endif

class String {
public:
    static constexpr int All = 0x7fffffff;          // "no limit" for counts
    static constexpr int MaxLength = 0x40000000;    // larger lengths are fatal
    static constexpr int Slack = 25;                // extra bytes per (re)allocation
    static constexpr int ShrinkHysteresis = 512;    // shrinks up to this keep the block
    static constexpr int FormatPieceSize = 32768;   // limit of one formatted piece
    static const char Blanks[];                     // " \r\n\t", the default trim set

    // Flag bits of Find, SplitAt, ReplaceAll.
    static constexpr int FindNoCase = 1;            // fold ASCII letters
    static constexpr int FindWholeWord = 2;         // no word byte may touch the match
    static constexpr int FindWildcard = 4;          // '?' in the text matches any byte

    // Construction, assignment, access.
    String() = default;
    String(const char* text);                       // null or "" -> empty state
    String(const char* bytes, int count);           // raw bytes, may hold zeros
    String(const String& other);
    String(String&& other) noexcept;
    ~String();
    String& operator=(const String& other);
    String& operator=(String&& other) noexcept;
    String& operator=(const char* text);

    void Assign(const char* text);                  // null -> empty state
    void Assign(const String& other);
    void Assign(const void* bytes, int count);      // count < 1 or null -> Clear
    void AssignUpTo(const char* text, int limit);   // at most limit chars, stops at a zero

    // Takes over a malloc'd block holding n bytes (n <= 0: the block is freed).
    void Adopt(void* block, int n);
    // Hands the block (null in the empty state) to the caller, who frees it
    // with free(); the string is left empty.
    char* Detach();
    void Clear();                                   // frees the block: empty state

    const char* CStr() const { return data_ ? data_ : EmptyText; }
    char* Data() { return data_; }                  // the block, null when empty
    const char* Data() const { return data_; }
    int Length() const { return length_; }
    int Capacity() const { return capacity_; }
    bool IsEmpty() const { return length_ == 0; }

    // The sizing rule every growing operation rests on: n < 1 frees the
    // block; otherwise the block is reallocated to n + Slack bytes when n
    // reaches the capacity or lies more than ShrinkHysteresis below it, and
    // data[n] becomes zero. Bytes between the old and new length are not
    // initialised. n > MaxLength is fatal.
    void SetLength(int n);
    // After a caller wrote a C text into Data(): length = strlen(data).
    void SyncLength();
    // n < capacity: raises the length to n if smaller, returns false (the
    // block stays). Otherwise SetLength(n), returns true.
    bool EnsureLength(int n);
    void Reset(int n);                              // Clear, then n uninitialised bytes

    char CharAt(int i) const;                       // 0 outside the string
    char First() const;                             // 0 when empty
    char Last() const;                              // 0 when empty
    char* At(int i);                                // i out of range is fatal
    const char* At(int i) const;
    // Stores c at i (false when i is outside); storing a zero cuts the length to i.
    bool SetAt(int i, char c);

    // Appending and inserting; insert positions are clamped to 0..length.
    String& Append(char c);
    String& Append(const char* text);
    String& Append(const String& other, int limit = All);
    String& Append(const void* bytes, int count);   // count <= 0 appends nothing
    String& operator+=(char c) { return Append(c); }
    String& operator+=(const char* text) { return Append(text); }
    String& operator+=(const String& other) { return Append(other); }
    // n > 0: extends the length by n and returns the first new byte; n <= 0:
    // returns the end (null in the empty state) without change.
    char* Grow(int n);
    // Like Grow, but null for n < 0.
    char* GrowOrNull(int n);
    void Insert(char c, int pos, int count = 1);
    void Insert(const char* text, int pos, int limit = All);
    void Insert(const String& other, int pos, int limit = All);
    // The core insert. The bytes must not lie inside this string's block.
    void InsertBytes(const void* bytes, int n, int pos);
    bool EnsureLeading(char c);                     // true when c was inserted
    bool EnsureTrailing(char c);                    // true when c was appended

    friend String operator+(const String& left, char c);
    friend String operator+(const String& left, const char* right);
    friend String operator+(const String& left, const String& right);
    friend String operator+(const char* left, const String& right);

    // printf-style formatting, at most FormatPieceSize - 1 bytes per call.
    // The format must fit the arguments: a text from the archive or the
    // uninstall record goes through AppendCheckedFormatV instead.
    void Format(const char* format, ...) VELT_PRINTF_FORMAT(2, 3);
    void AppendFormat(const char* format, ...) VELT_PRINTF_FORMAT(2, 3);
    void AppendFormatV(const char* format, va_list args);
    static String Formatted(const char* format, ...) VELT_PRINTF_FORMAT(1, 2);
    // True when `format` takes exactly arguments of `conversions` ("s",
    // "dc" ...), in that order: each conversion is written plainly, with at
    // most flags and a width and precision of two digits ("%-20s", "%02d"),
    // and "%%" is none. A size prefix (%ls, %I64d), '*', a lone '%' or any
    // other letter makes it false: printf would read arguments that were
    // never passed, or of another kind.
    static bool FormatFits(const char* format, const char* conversions);
    // Appends `format` formatted when it fits `conversions` (FormatFits),
    // and otherwise the text as it stands, for texts that may be damaged or
    // hostile.
    void AppendCheckedFormatV(const char* format, const char* conversions, va_list args);

    // Deleting and cutting.
    bool Delete(int pos, int count);                // negative pos eats into count
    bool Truncate(int pos) { return Delete(pos, All); }
    int ChopLeft(int n);                            // returns the number removed
    int ChopRight(int n);
    int ChopBoth(int n);
    int RemoveChar(char c);                         // every c; returns how many
    int RemoveAll(const char* text, int max = All, bool caseSensitive = true);
    bool TruncateAtChar(char c);                    // cut at the first c
    bool StripLeading(char c);                      // one first byte if it is c
    bool StripTrailing(char c);                     // one last byte if it is c
    bool StripLeadingOneOf(const char* set);
    char PopChar();                                 // first byte, removed; 0 when empty
    bool Unquote(char c);                           // c...c -> ...
    bool RemovePrefixNoCase(const char* text);

    // Trimming; each returns the number of bytes removed.
    int TrimLeft(const char* set = Blanks);
    int TrimRight(const char* set = Blanks);
    int TrimRightChar(char c);
    int Trim();
    bool IsBlank() const;                           // empty or only Blanks

    // Comparing: <0, 0, >0. One terminator takes part, so a proper prefix is
    // smaller; limit = strlen(text) makes it a starts-with test. Without
    // case sensitivity 'A'..'Z' fold to lower case.
    int Compare(const char* text, bool caseSensitive = true, int limit = All) const;
    int Compare(const String& other, bool caseSensitive = true, int limit = All) const;
    bool IsPrefixOfNoCase(const char* text) const;  // this string starts text
    bool FirstIs(char c) const;
    bool LastIs(char c) const;
    friend bool operator==(const String& left, const String& right);
    friend bool operator!=(const String& left, const String& right) { return !(left == right); }
    friend bool operator==(const String& left, const char* right);
    friend bool operator!=(const String& left, const char* right) { return !(left == right); }

    // Searching; each returns a position or -1.
    int Find(const char* text, int from = 0, int flags = 0) const;
    int FindChar(char c, int from = 0, bool caseSensitive = true) const;
    int ReverseFindChar(char c, int from = All) const;
    int FindOneOf(const char* set, int from = 0) const;
    bool ContainsOneOf(const char* set) const;     // any byte of set (defined with the paths)
    int FindNotOneOf(const char* set, int from = 0) const;
    int FindNumberStart(int from = 0) const;        // a digit, '+', '-' or '.'

    // Cutting out pieces.
    String Mid(int start, int count = All) const;
    String Extract(int start, int count = All);     // Mid, then deleted here
    // Finds text from 0 (Find rules); returns the match and all after it and
    // cuts this string before it. Not found: empty result, no change.
    String SplitAt(const char* text, int flags = 0);
    // Removes the first line with its end (zero byte, LF, CR, LF CR or CR LF)
    // and returns it without / with the end. No end: the whole string.
    String PopLine();
    String PopLineWithEnd();
    // The quoted piece at pos (q...q, a doubled q stands for one), removed
    // with both quotes; returned without them. No q at pos: empty, no change.
    String PopQuoted(char q, int pos = 0);
    // The next blank-separated word; a quoted part keeps its quotes and its
    // blanks. The blank that ends the word is consumed.
    String PopToken();

    // Replacing. Returns the number of replacements. With FindWildcard each
    // '?' of replacement takes the byte matched by the corresponding '?' of
    // find.
    int ReplaceAll(const char* find, const char* replacement, int flags = 0);
    void ToCrLf();                                  // every line end becomes CR LF
    void MakeUpper();

    // Numbers.
    int ToInt() const;                              // "Size: 1,024" -> 1024
    // Reads [+-]digits at pos and advances pos; pos outside -> 0x80000000.
    int ParseInt(int& pos) const;
    static String FromInt(int n);
    static String FromInt64Grouped(long long n);    // 12345 -> 12,345; 1234 stays
    static String FromDouble(double x, int decimals);  // decimals < 0: shortest

    // Byte-buffer use (little-endian).
    uint32_t ReadU32(int offset) const;             // 0xFFFFFFFF when outside
    bool WriteU16(int offset, uint16_t value);      // false when outside
    bool WriteU32(int offset, uint32_t value);
    bool CopyIn(const void* bytes, int offset, int count);

private:
    static const char EmptyText[1];
    void Reallocate(int capacity);
    int FindAt(const char* text, int textLength, int from, int flags) const;

    char* data_ = nullptr;      // the block, null exactly in the empty state
    int length_ = 0;            // bytes in use, without the terminating zero
    int capacity_ = 0;          // bytes allocated for data_
};
