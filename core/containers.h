#pragma once
// The program's collections: Vector, Array, List, Stack and the hash table
// of String keys. All of them share the virtual interface of Collection<T>,
// so code can walk any of them the same way. Portable: no windows.h.
//
// Element types need a default constructor and copy assignment. Element
// addresses handed out stay valid until the element is removed (List,
// Stack, HashTable) or until the next change of the collection's size or
// order (Vector, Array).

#include <stdint.h>

#include "core/checksum.h"
#include "core/fatal.h"
#include "core/string.h"

// ---------------------------------------------------------------------------
// Type names for fatal messages ("int", "class String"). The stub has no
// run-time type information, so every element type of a Vector, Stack or
// hash table names itself; a missing name is a compile error rather than a
// wrong message. A record type declares its name beside its definition:
//     VELT_TYPE_NAME(FileAssociation, "struct FileAssociation");

template <typename T> struct TypeName;

#define VELT_TYPE_NAME(type, text) \
    template <> struct TypeName<type> { static constexpr const char* kText = text; }

VELT_TYPE_NAME(int, "int");
VELT_TYPE_NAME(unsigned, "unsigned int");
VELT_TYPE_NAME(bool, "bool");
VELT_TYPE_NAME(char, "char");
VELT_TYPE_NAME(String, "class String");

template <int N> struct TypeNameText { char text[N]; };

constexpr int TypeNameLength(const char* text)
{
    int n = 0;
    while (text[n] != 0)
        n++;
    return n;
}

// Names built from other names are joined at compile time.
template <typename... Parts> struct JoinedTypeName {
    static constexpr int kSize = (TypeNameLength(Parts::kText) + ... + 1);
    static constexpr TypeNameText<kSize> Join()
    {
        TypeNameText<kSize> out{};
        int at = 0;
        const char* pieces[] = {Parts::kText...};
        for (const char* piece : pieces)
            for (int i = 0; piece[i] != 0; i++)
                out.text[at++] = piece[i];
        return out;
    }
    static constexpr TypeNameText<kSize> kJoined = Join();
    static constexpr const char* kText = kJoined.text;
};

struct TypeNamePointer { static constexpr const char* kText = " *"; };
template <typename T> struct TypeName<T*> : JoinedTypeName<TypeName<T>, TypeNamePointer> {};

// ---------------------------------------------------------------------------

// Where a walk over a collection stands: the current element and its two
// neighbours, kept apart so the current element may be removed during the
// walk. Lists and hash tables keep node addresses here, the indexed classes
// index + 1; 0 means none, so a zeroed record is a cleared iterator.
struct CollectionIterator {
    intptr_t current;       // element the walk stands on
    intptr_t next;          // element a forward step reaches
    intptr_t previous;      // element a backward step reaches
};

// The part of every collection that does not depend on the element type,
// compiled once (core/containers.cpp).
class CollectionCore {
public:
    virtual ~CollectionCore() {}
    int32_t Count() const { return count; }
    bool IsEmpty() const { return count == 0; }

    // Start a walk before the first / after the last element; true when
    // there is anything to walk.
    virtual bool BeginForward(CollectionIterator& it) = 0;
    virtual bool BeginBackward(CollectionIterator& it) = 0;

    virtual void Clear() = 0;
    // Removes the walk's current element; the walk's neighbours stay, so
    // Next / Previous carry on. False when the walk stands on nothing.
    virtual bool RemoveCurrent(CollectionIterator& it) = 0;
    // The N forms remove up to n elements and return how many they removed.
    virtual int32_t RemoveFirstN(int32_t n);
    virtual bool RemoveFirst() = 0;
    virtual int32_t RemoveLastN(int32_t n);
    virtual bool RemoveLast() = 0;
    // Removes elements at the front until at most n are left.
    virtual void KeepLast(int32_t n);
    // Forward by n: element k afterwards is the one that stood at
    // (k + n) mod count, so the first n move to the end. A negative n
    // rotates the other way; n = count changes nothing.
    virtual void RotateForward(int32_t n);
    virtual void RotateBackward(int32_t n);

protected:
    // The concrete rotation, forward by r with 0 < r < count.
    virtual void Rotate(int32_t r) = 0;

    int32_t count = 0;      // elements held
};

// The interface every container implements. A walk:
//     CollectionIterator it;
//     for (T* e = c.First(it); e != 0; e = c.Next(it)) ...
// RemoveCurrent(it) inside such a walk is allowed; the walk goes on with the
// element that followed.
template <typename T>
class Collection : public CollectionCore {
public:
    typedef T Element;

    // Move the walk and return the element's address; null (and a cleared
    // iterator) at the end or when empty.
    virtual T* First(CollectionIterator& it) = 0;
    virtual T* Next(CollectionIterator& it) = 0;
    virtual T* Last(CollectionIterator& it) = 0;
    virtual T* Previous(CollectionIterator& it) = 0;
    // Addresses without moving anything; null when there is no such element.
    virtual T* PeekFirst() = 0;
    virtual T* PeekLast() = 0;
    virtual T* Current(const CollectionIterator& it) = 0;
    virtual T* PeekNext(const CollectionIterator& it) = 0;
    virtual T* PeekPrevious(const CollectionIterator& it) = 0;

    // Adds return the new element's address. The From forms copy *value, or
    // add a default element for null.
    virtual T* AddTail(const T& value) = 0;
    virtual T* AddTailFrom(const T* value) { return value ? AddTail(*value) : AddTail(T()); }
    virtual void AddAllTail(Collection<T>& other);
    virtual T* AddHead(const T& value) = 0;
    virtual T* AddHeadFrom(const T* value) { return value ? AddHead(*value) : AddHead(T()); }
    // Adds the other's elements in front, keeping their order.
    virtual void AddAllHead(Collection<T>& other);

    // Copies of the element, which is then removed; a default value when
    // there is none.
    virtual T PopFirst();
    virtual T PopLast();
    // Like RemoveCurrent, but returns the element and clears the whole
    // iterator, which ends the walk.
    virtual T TakeCurrent(CollectionIterator& it);
};

template <typename T>
void Collection<T>::AddAllTail(Collection<T>& other)
{
    // Only the elements there were at the start, so that adding a
    // collection to itself ends.
    int32_t left = other.count;
    CollectionIterator it;
    for (T* e = other.First(it); e != 0 && left > 0; e = other.Next(it), left--)
        AddTailFrom(e);
}

template <typename T>
void Collection<T>::AddAllHead(Collection<T>& other)
{
    // A backward walk over ourselves would lose its place as the indexed
    // classes shift; and two copies of the same elements read the same
    // whichever copy is added in front.
    if (&other == this) {
        AddAllTail(other);
        return;
    }
    CollectionIterator it;
    for (T* e = other.Last(it); e != 0; e = other.Previous(it))
        AddHeadFrom(e);
}

template <typename T>
T Collection<T>::PopFirst()
{
    T* first = PeekFirst();
    if (first == 0)
        return T();
    T value = *first;
    RemoveFirst();
    return value;
}

template <typename T>
T Collection<T>::PopLast()
{
    T* last = PeekLast();
    if (last == 0)
        return T();
    T value = *last;
    RemoveLast();
    return value;
}

template <typename T>
T Collection<T>::TakeCurrent(CollectionIterator& it)
{
    T* current = Current(it);
    T value = current ? *current : T();
    if (current != 0)
        RemoveCurrent(it);
    it = CollectionIterator();
    return value;
}

// ---------------------------------------------------------------------------

// The walk and the end operations of the classes reached by index. At(i)
// checks the index first: Vector stops the program on a bad one, Array
// answers null.
template <typename T>
class IndexedCollection : public Collection<T> {
public:
    T* At(int32_t i) { return CheckIndex(i) ? Slot(i) : 0; }
    // True for 0 <= i < count.
    virtual bool CheckIndex(int32_t i) = 0;
    // Inserts before index i (clamped to 0..count); returns the new address.
    virtual T* InsertAt(int32_t i, const T& value) = 0;
    // False for an index outside 0..count-1.
    virtual bool RemoveAt(int32_t i) = 0;
    // Keeps the first min(n, count) elements, adds default ones up to n;
    // a negative n counts as 0.
    virtual void Resize(int32_t n) = 0;

    bool BeginForward(CollectionIterator& it) override
    {
        it = CollectionIterator();
        it.next = this->count > 0 ? 1 : 0;
        return this->count > 0;
    }
    bool BeginBackward(CollectionIterator& it) override
    {
        it = CollectionIterator();
        it.previous = this->count;
        return this->count > 0;
    }
    T* First(CollectionIterator& it) override { return StepTo(it, 1); }
    T* Next(CollectionIterator& it) override { return StepTo(it, it.next); }
    T* Last(CollectionIterator& it) override { return StepTo(it, this->count); }
    T* Previous(CollectionIterator& it) override { return StepTo(it, it.previous); }
    T* PeekFirst() override { return SlotAt(1); }
    T* PeekLast() override { return SlotAt(this->count); }
    T* Current(const CollectionIterator& it) override { return SlotAt(it.current); }
    T* PeekNext(const CollectionIterator& it) override { return SlotAt(it.next); }
    T* PeekPrevious(const CollectionIterator& it) override { return SlotAt(it.previous); }

    T* AddTail(const T& value) override { return InsertAt(this->count, value); }
    T* AddHead(const T& value) override { return InsertAt(0, value); }
    bool RemoveFirst() override { return RemoveAt(0); }
    bool RemoveLast() override { return RemoveAt(this->count - 1); }
    void Clear() override { Resize(0); }

    bool RemoveCurrent(CollectionIterator& it) override
    {
        if (it.current < 1 || it.current > this->count)
            return false;
        RemoveAt((int32_t)it.current - 1);
        // The elements behind the removed one moved down by one.
        if (it.next > it.current)
            it.next--;
        it.current = 0;
        return true;
    }

protected:
    // The element at i, without a check.
    virtual T* Slot(int32_t i) = 0;

private:
    // Positions are index + 1, 0 for none.
    T* SlotAt(intptr_t position)
    {
        return position >= 1 && position <= this->count ? Slot((int32_t)position - 1) : 0;
    }
    T* StepTo(CollectionIterator& it, intptr_t position)
    {
        if (position < 1 || position > this->count) {
            it = CollectionIterator();
            return 0;
        }
        it.current = position;
        it.next = position < this->count ? position + 1 : 0;
        it.previous = position - 1;
        return Slot((int32_t)position - 1);
    }
};

// ---------------------------------------------------------------------------

// A fixed number of elements in one block, changed only by the operations
// that resize it (each builds a new block). Indexing outside 0..count-1
// stops the program.
template <typename T>
class Vector : public IndexedCollection<T> {
public:
    Vector() {}
    explicit Vector(int32_t n) { Resize(n); }
    Vector(const Vector& other) { CopyFrom(other); }
    Vector& operator=(const Vector& other)
    {
        if (&other != this)
            CopyFrom(other);
        return *this;
    }
    ~Vector() override { delete[] block; }

    T& operator[](int32_t i) { return *this->At(i); }

    bool CheckIndex(int32_t i) override
    {
        if (i < 0 || i >= this->count)
            FatalError("Vector<%s>[%d]\nmax_index = %d", TypeName<T>::kText, i, this->count - 1);
        return true;
    }

    T* InsertAt(int32_t i, const T& value) override
    {
        i = i < 0 ? 0 : i > this->count ? this->count : i;
        T* fresh = Rebuilt(this->count + 1, i, 0, -1);
        fresh[i] = value;   // before the old block goes: value may live in it
        Replace(fresh, this->count + 1);
        return &block[i];
    }

    bool RemoveAt(int32_t i) override
    {
        if (i < 0 || i >= this->count)
            return false;
        Replace(Rebuilt(this->count - 1, i, 0, 1), this->count - 1);
        return true;
    }

    void Resize(int32_t n) override
    {
        if (n < 0)
            n = 0;
        if (n != this->count)
            Replace(Rebuilt(n, n, 0, 0), n);
    }

protected:
    T* Slot(int32_t i) override { return &block[i]; }

    void Rotate(int32_t r) override
    {
        Replace(Rebuilt(this->count, this->count - r, r, r - this->count), this->count);
    }

private:
    // A new block of n elements in which element k is a copy of the old
    // element k + before (k < split) or k + after (k >= split), or default
    // when that lies outside. Every change of size or order is one such
    // copy, so the loop exists once per element type.
    T* Rebuilt(int32_t n, int32_t split, int32_t before, int32_t after) const
    {
        T* fresh = n > 0 ? new T[n] : 0;
        for (int32_t k = 0; k < n; k++) {
            int32_t from = k + (k < split ? before : after);
            if (from >= 0 && from < this->count)
                fresh[k] = block[from];
        }
        return fresh;
    }
    void Replace(T* fresh, int32_t n)
    {
        delete[] block;
        block = fresh;
        this->count = n;
    }
    void CopyFrom(const Vector& other)
    {
        Replace(other.Rebuilt(other.count, other.count, 0, 0), other.count);
    }

    T* block = 0;           // count elements, from new T[count]; null when 0
};

// ---------------------------------------------------------------------------

// A growable block with free room at both ends, so adding or removing at
// either end is cheap. An index outside 0..count-1 answers null.
template <typename T>
class Array : public IndexedCollection<T> {
public:
    Array() {}
    Array(const Array& other) { this->AddAllTail(const_cast<Array&>(other)); }
    Array& operator=(const Array& other)
    {
        if (&other != this) {
            Resize(0);
            this->AddAllTail(const_cast<Array&>(other));
        }
        return *this;
    }
    ~Array() override { delete[] block; }

    bool CheckIndex(int32_t i) override { return i >= 0 && i < this->count; }

    T* InsertAt(int32_t i, const T& value) override
    {
        i = i < 0 ? 0 : i > this->count ? this->count : i;
        T copy = value;     // value may live in the block we are about to move
        if (i == 0) {
            if (start == 0)
                Relayout(this->count + 1);
            start--;
        } else {
            if (start + this->count == capacity)
                Relayout(this->count + 1);
            for (int32_t k = this->count; k > i; k--)
                block[start + k] = block[start + k - 1];
        }
        block[start + i] = copy;
        this->count++;
        return &block[start + i];
    }

    bool RemoveAt(int32_t i) override
    {
        if (i < 0 || i >= this->count)
            return false;
        if (i == 0) {
            block[start] = T();
            start++;
        } else {
            for (int32_t k = i; k < this->count - 1; k++)
                block[start + k] = block[start + k + 1];
            block[start + this->count - 1] = T();
        }
        this->count--;
        return true;
    }

    void Resize(int32_t n) override
    {
        if (n <= 0) {
            delete[] block;
            block = 0;
            start = capacity = this->count = 0;
            return;
        }
        for (int32_t k = n; k < this->count; k++)
            block[start + k] = T();
        if (start + n > capacity)
            Relayout(n);
        this->count = n;
    }

protected:
    T* Slot(int32_t i) override { return &block[start + i]; }

    // The moving piece goes into free room when it fits there (the first r
    // elements behind the tail, or the other count - r before the head);
    // otherwise the block is rebuilt in rotated order.
    void Rotate(int32_t r) override
    {
        int32_t n = this->count;
        if (capacity - start - n >= r) {
            MoveSlots(start, start + n, r);
            start += r;
        } else if (start >= n - r) {
            MoveSlots(start + r, start - (n - r), n - r);
            start -= n - r;
        } else {
            T* fresh = new T[capacity];
            for (int32_t k = 0; k < n; k++)
                fresh[start + k] = block[start + (k + r) % n];
            delete[] block;
            block = fresh;
        }
    }

private:
    // Copies `n` slots from `from` to `to` (the ranges do not overlap) and
    // leaves default values behind, as every slot outside the elements has.
    void MoveSlots(int32_t from, int32_t to, int32_t n)
    {
        for (int32_t k = 0; k < n; k++) {
            block[to + k] = block[from + k];
            block[from + k] = T();
        }
    }

    // A new block with room for at least `needed` elements and free room at
    // both ends; the first element lands a quarter into the free room.
    void Relayout(int32_t needed)
    {
        int32_t newCapacity = needed * 2 + 4;
        int32_t newStart = (newCapacity - this->count) / 4;
        T* fresh = new T[newCapacity];
        for (int32_t k = 0; k < this->count; k++)
            fresh[newStart + k] = block[start + k];
        delete[] block;
        block = fresh;
        start = newStart;
        capacity = newCapacity;
    }

    T* block = 0;           // capacity slots, default values outside the elements
    int32_t start = 0;      // slot of the first element
    int32_t capacity = 0;   // slots in block
};

// ---------------------------------------------------------------------------

// The links of a doubly linked list, apart from its elements: the linking
// does not depend on the element type and is compiled once.
struct ListLink {
    ListLink* previous;     // toward the head; null for the head
    ListLink* next;         // toward the tail; null for the tail
};

struct ListLinks {
    ListLink* head = 0;     // first node; null when empty
    ListLink* tail = 0;     // last node; null when empty

    void AddTail(ListLink* link);
    void AddHead(ListLink* link);
    void Unlink(ListLink* link);
    // Moves the first r nodes behind the tail, relinking only.
    void MoveHeadToTail(int32_t r);
    // Puts the walk on `link` (null: clears it) and returns link.
    static ListLink* StepTo(CollectionIterator& it, ListLink* link);
    bool BeginForward(CollectionIterator& it) const;
    bool BeginBackward(CollectionIterator& it) const;
};

// A doubly linked list, one node per element.
template <typename T>
class List : public Collection<T> {
public:
    List() {}
    List(const List& other) { this->AddAllTail(const_cast<List&>(other)); }
    List& operator=(const List& other)
    {
        if (&other != this) {
            Clear();
            this->AddAllTail(const_cast<List&>(other));
        }
        return *this;
    }
    ~List() override { Clear(); }

    bool BeginForward(CollectionIterator& it) override { return links.BeginForward(it); }
    bool BeginBackward(CollectionIterator& it) override { return links.BeginBackward(it); }
    T* First(CollectionIterator& it) override { return ElementOf(links.StepTo(it, links.head)); }
    T* Next(CollectionIterator& it) override { return ElementOf(links.StepTo(it, AsLink(it.next))); }
    T* Last(CollectionIterator& it) override { return ElementOf(links.StepTo(it, links.tail)); }
    T* Previous(CollectionIterator& it) override
    {
        return ElementOf(links.StepTo(it, AsLink(it.previous)));
    }
    T* PeekFirst() override { return ElementOf(links.head); }
    T* PeekLast() override { return ElementOf(links.tail); }
    T* Current(const CollectionIterator& it) override { return ElementOf(AsLink(it.current)); }
    T* PeekNext(const CollectionIterator& it) override { return ElementOf(AsLink(it.next)); }
    T* PeekPrevious(const CollectionIterator& it) override { return ElementOf(AsLink(it.previous)); }

    T* AddTail(const T& value) override
    {
        Node* node = new Node(value);
        links.AddTail(node);
        this->count++;
        return &node->element;
    }
    T* AddHead(const T& value) override
    {
        Node* node = new Node(value);
        links.AddHead(node);
        this->count++;
        return &node->element;
    }

    void Clear() override
    {
        while (links.head != 0)
            Free(links.head);
    }
    bool RemoveCurrent(CollectionIterator& it) override
    {
        ListLink* link = AsLink(it.current);
        if (link == 0)
            return false;
        Free(link);
        it.current = 0;
        return true;
    }
    bool RemoveFirst() override
    {
        if (links.head == 0)
            return false;
        Free(links.head);
        return true;
    }
    bool RemoveLast() override
    {
        if (links.tail == 0)
            return false;
        Free(links.tail);
        return true;
    }
    // Removes the element at `element` (an address this list handed out);
    // false when no node of this list holds it.
    bool RemoveElement(const T* element)
    {
        for (ListLink* link = links.head; link != 0; link = link->next) {
            if (&static_cast<Node*>(link)->element == element) {
                Free(link);
                return true;
            }
        }
        return false;
    }

protected:
    void Rotate(int32_t r) override { links.MoveHeadToTail(r); }

    struct Node : ListLink {
        explicit Node(const T& value) : element(value) {}
        T element;
    };

    static ListLink* AsLink(intptr_t position) { return (ListLink*)position; }
    static T* ElementOf(ListLink* link) { return link ? &static_cast<Node*>(link)->element : 0; }

    void Free(ListLink* link)
    {
        links.Unlink(link);
        delete static_cast<Node*>(link);
        this->count--;
    }

    ListLinks links;        // the nodes, each a Node
};

// ---------------------------------------------------------------------------

// Last in, first out. Popping an empty stack stops the program.
template <typename T>
class Stack : public List<T> {
public:
    T* Push(const T& value) { return this->AddTail(value); }
    T Pop()
    {
        T* top = this->PeekLast();
        if (top == 0)
            FatalError("Stack<%s>::pop", TypeName<T>::kText);
        T value = *top;
        this->RemoveLast();
        return value;
    }
};

// ---------------------------------------------------------------------------

// One entry of a hash table.
template <typename K, typename V>
struct Bucket {
    K key;
    V value;
    List<Bucket>* chain;        // the hash chain holding this entry
    Bucket* nextAdded;          // insertion order over the whole table
    Bucket* previousAdded;
};

struct TypeNameListOpen { static constexpr const char* kText = "class List<"; };
struct TypeNameBucketOpen { static constexpr const char* kText = "struct Bucket<"; };
struct TypeNameComma { static constexpr const char* kText = ","; };
struct TypeNameClose { static constexpr const char* kText = ">"; };
struct TypeNameSpacedClose { static constexpr const char* kText = " >"; };
template <typename K, typename V>
struct TypeName<Bucket<K, V>>
    : JoinedTypeName<TypeNameBucketOpen, TypeName<K>, TypeNameComma, TypeName<V>, TypeNameClose> {};
template <typename T>
struct TypeName<List<T>> : JoinedTypeName<TypeNameListOpen, TypeName<T>, TypeNameSpacedClose> {};

// Entries keyed by String (compared case-sensitively: upper-case keys first
// for a set without case), found through chains chosen by the key's
// Checksum, and walked in the order they were added. A new table has no
// chains and accepts nothing until Reset(n) gives it n. Entries are added
// only with Add: the interface's add and rotate operations stop the
// program. A popped or taken entry is a copy whose links mean nothing.
template <typename V>
class HashTable : public Collection<Bucket<String, V>> {
public:
    typedef Bucket<String, V> Entry;

    HashTable() {}
    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;
    ~HashTable() override { delete[] chains; }

    // Stores value under key. True when the key is new; false when it was
    // already there (its value is replaced) or the table has no chains.
    bool Add(const String& key, const V& value)
    {
        int32_t index = ChainIndex(key);
        if (index < 0)
            return false;
        List<Entry>& chain = chains[index];
        if (Entry* found = FindInChain(chain, key)) {
            found->value = value;
            return false;
        }
        Entry* entry = chain.AddTail(Entry{key, value, &chain, 0, lastAdded});
        if (lastAdded != 0)
            lastAdded->nextAdded = entry;
        else
            firstAdded = entry;
        lastAdded = entry;
        this->count++;
        return true;
    }

    // The entry under key, or null.
    Entry* Find(const String& key)
    {
        int32_t index = ChainIndex(key);
        return index < 0 ? 0 : FindInChain(chains[index], key);
    }

    // Takes `entry` (from Find or a walk) out of the table; returns its value.
    V Remove(Entry* entry)
    {
        if (entry == 0)
            return V();
        V value = entry->value;
        if (entry->previousAdded != 0)
            entry->previousAdded->nextAdded = entry->nextAdded;
        else
            firstAdded = entry->nextAdded;
        if (entry->nextAdded != 0)
            entry->nextAdded->previousAdded = entry->previousAdded;
        else
            lastAdded = entry->previousAdded;
        entry->chain->RemoveElement(entry);
        this->count--;
        return value;
    }

    // Frees every entry and gives the table max(n, 0) chains.
    void Reset(int32_t n)
    {
        Clear();
        delete[] chains;
        bucketCount = n > 0 ? n : 0;
        chains = bucketCount > 0 ? new List<Entry>[bucketCount] : 0;
    }

    int32_t BucketCount() const { return bucketCount; }

    bool BeginForward(CollectionIterator& it) override
    {
        it = CollectionIterator();
        it.next = (intptr_t)firstAdded;
        return firstAdded != 0;
    }
    bool BeginBackward(CollectionIterator& it) override
    {
        it = CollectionIterator();
        it.previous = (intptr_t)lastAdded;
        return lastAdded != 0;
    }
    Entry* First(CollectionIterator& it) override { return StepTo(it, firstAdded); }
    Entry* Next(CollectionIterator& it) override { return StepTo(it, (Entry*)it.next); }
    Entry* Last(CollectionIterator& it) override { return StepTo(it, lastAdded); }
    Entry* Previous(CollectionIterator& it) override { return StepTo(it, (Entry*)it.previous); }
    Entry* PeekFirst() override { return firstAdded; }
    Entry* PeekLast() override { return lastAdded; }
    Entry* Current(const CollectionIterator& it) override { return (Entry*)it.current; }
    Entry* PeekNext(const CollectionIterator& it) override { return (Entry*)it.next; }
    Entry* PeekPrevious(const CollectionIterator& it) override { return (Entry*)it.previous; }

    Entry* AddTail(const Entry&) override { AssertionStop(kHeaderName, 5073); }
    Entry* AddTailFrom(const Entry*) override { AssertionStop(kHeaderName, 5074); }
    void AddAllTail(Collection<Entry>&) override { AssertionStop(kHeaderName, 5075); }
    Entry* AddHead(const Entry&) override { AssertionStop(kHeaderName, 5076); }
    Entry* AddHeadFrom(const Entry*) override { AssertionStop(kHeaderName, 5077); }
    void AddAllHead(Collection<Entry>&) override { AssertionStop(kHeaderName, 5078); }
    void RotateForward(int32_t) override { AssertionStop(kHeaderName, 5079); }
    void RotateBackward(int32_t) override { AssertionStop(kHeaderName, 5080); }

    void Clear() override
    {
        for (int32_t i = 0; i < bucketCount; i++)
            chains[i].Clear();
        firstAdded = lastAdded = 0;
        this->count = 0;
    }
    bool RemoveCurrent(CollectionIterator& it) override
    {
        if (it.current == 0)
            return false;
        Remove((Entry*)it.current);
        it.current = 0;
        return true;
    }
    bool RemoveFirst() override
    {
        if (firstAdded == 0)
            return false;
        Remove(firstAdded);
        return true;
    }
    bool RemoveLast() override
    {
        if (lastAdded == 0)
            return false;
        Remove(lastAdded);
        return true;
    }

protected:
    void Rotate(int32_t) override {}    // unreachable: both rotates stop

private:
    static constexpr const char* kHeaderName = "core32.h";

    // Chain of key: its Checksum modulo the chain count; INT32_MIN (no
    // chain) while the table has none.
    int32_t ChainIndex(const String& key) const
    {
        if (bucketCount < 1)
            return INT32_MIN;
        uint32_t sum = Checksum((const uint8_t*)key.CStr(), key.Length());
        return (int32_t)(sum % (uint32_t)bucketCount);
    }

    static Entry* FindInChain(List<Entry>& chain, const String& key)
    {
        CollectionIterator it;
        for (Entry* e = chain.First(it); e != 0; e = chain.Next(it))
            if (e->key == key)
                return e;
        return 0;
    }

    static Entry* StepTo(CollectionIterator& it, Entry* entry)
    {
        if (entry == 0) {
            it = CollectionIterator();
            return 0;
        }
        it.current = (intptr_t)entry;
        it.next = (intptr_t)entry->nextAdded;
        it.previous = (intptr_t)entry->previousAdded;
        return entry;
    }

    int32_t bucketCount = 0;        // chains; 0 until Reset
    // A plain block rather than a Vector: the index is always in range, and
    // a Vector of lists would cost the stub a container instantiation.
    List<Entry>* chains = 0;        // bucketCount hash chains
    Entry* firstAdded = 0;          // insertion order
    Entry* lastAdded = 0;
};
