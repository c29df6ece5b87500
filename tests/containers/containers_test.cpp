#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <vector>

#include "core/containers.h"

namespace {

struct Sample {
    int value;
};

} // namespace

VELT_TYPE_NAME(Sample, "struct Sample");

namespace {

template <typename E> E Make(int v);
template <> int Make<int>(int v) { return v; }
template <> String Make<String>(int v) { return String::Formatted("%d", v); }

int AsInt(const int& v) { return v; }
int AsInt(const String& v) { return atoi(v.CStr()); }

// The elements front to back. A backward walk must give the same elements
// reversed and both must agree with Count, else the links are broken.
template <typename E>
std::vector<int> Contents(Collection<E>& c)
{
    std::vector<int> forward, backward;
    CollectionIterator it;
    for (E* e = c.First(it); e != nullptr; e = c.Next(it))
        forward.push_back(AsInt(*e));
    for (E* e = c.Last(it); e != nullptr; e = c.Previous(it))
        backward.push_back(AsInt(*e));
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(forward, backward) << "backward walk disagrees";
    EXPECT_EQ((int)forward.size(), c.Count());
    return forward;
}

template <typename E>
void Fill(Collection<E>& c, int from, int to)
{
    for (int v = from; v < to; v++)
        c.AddTail(Make<E>(v));
}

// The order a rotation forward by n must give: element k comes from
// (k + n) mod count.
std::vector<int> Rotated(const std::vector<int>& before, long long n)
{
    std::vector<int> after(before.size());
    long long size = (long long)before.size();
    for (long long k = 0; k < size; k++)
        after[k] = before[(((k + n) % size) + size) % size];
    return after;
}

// -------------------------------------------------------------------------
// The common interface, for every container kind and a plain and an owning
// element type.

template <typename C>
class CollectionTest : public ::testing::Test {
protected:
    typedef typename C::Element E;
    C c;
};

using CollectionKinds = ::testing::Types<Vector<int>, Array<int>, List<int>, Vector<String>,
                                         Array<String>, List<String>>;
TYPED_TEST_SUITE(CollectionTest, CollectionKinds);

TYPED_TEST(CollectionTest, AddsAtBothEndsInOrder)
{
    typedef typename TestFixture::E E;
    std::deque<int> expected;
    // Enough adds at both ends to outgrow any block several times.
    for (int v = 0; v < 60; v++) {
        E* added;
        if (v % 3 == 0) {
            added = this->c.AddHead(Make<E>(v));
            expected.push_front(v);
        } else {
            added = this->c.AddTail(Make<E>(v));
            expected.push_back(v);
        }
        ASSERT_NE(nullptr, added);
        EXPECT_EQ(v, AsInt(*added));
    }
    EXPECT_EQ(std::vector<int>(expected.begin(), expected.end()), Contents(this->c));
    EXPECT_EQ(expected.front(), AsInt(*this->c.PeekFirst()));
    EXPECT_EQ(expected.back(), AsInt(*this->c.PeekLast()));
}

TYPED_TEST(CollectionTest, AddFromNullAddsDefaultElement)
{
    typedef typename TestFixture::E E;
    E seven = Make<E>(7);
    this->c.AddTailFrom(&seven);
    this->c.AddTailFrom(nullptr);
    this->c.AddHeadFrom(nullptr);
    EXPECT_EQ((std::vector<int>{0, 7, 0}), Contents(this->c));
    EXPECT_TRUE(*this->c.PeekLast() == E());
}

TYPED_TEST(CollectionTest, AddingAnElementOfItselfCopiesIt)
{
    // The value lives inside the container that may move it while adding.
    Fill(this->c, 0, 3);
    for (int i = 0; i < 20; i++)
        this->c.AddTail(*this->c.PeekFirst());
    this->c.AddHead(*this->c.PeekLast());
    std::vector<int> contents = Contents(this->c);
    EXPECT_EQ(24u, contents.size());
    EXPECT_EQ(0, contents.front());
    EXPECT_EQ(0, contents.back());
}

TYPED_TEST(CollectionTest, RotatesByCountModulo)
{
    typedef typename TestFixture::E E;
    // Each layout leaves the free room of an Array somewhere else.
    const std::function<void(Collection<E>&)> layouts[] = {
        [](Collection<E>& c) { Fill(c, 0, 5); },
        [](Collection<E>& c) { for (int v = 4; v >= 0; v--) c.AddHead(Make<E>(v)); },
        [](Collection<E>& c) { Fill(c, -3, 5); c.RemoveFirstN(3); },
        [](Collection<E>& c) { Fill(c, 0, 9); c.RemoveLastN(4); },
    };
    const long long shifts[] = {0, 1, 2, 3, 4, 5, 7, 10, 12, -1, -2, -7, INT32_MIN, INT32_MAX};
    for (size_t layout = 0; layout < std::size(layouts); layout++) {
        for (long long n : shifts) {
            for (bool forward : {true, false}) {
                SCOPED_TRACE(::testing::Message() << "layout " << layout << " n " << n
                                                  << (forward ? " forward" : " backward"));
                TypeParam c;
                layouts[layout](c);
                std::vector<int> before = Contents(c);
                ASSERT_EQ((std::vector<int>{0, 1, 2, 3, 4}), before);
                if (forward)
                    c.RotateForward((int32_t)n);
                else
                    c.RotateBackward((int32_t)n);
                EXPECT_EQ(Rotated(before, forward ? n : -n), Contents(c));
            }
        }
    }
}

TYPED_TEST(CollectionTest, RotatingFewerThanTwoElementsChangesNothing)
{
    this->c.RotateForward(3);
    EXPECT_EQ(std::vector<int>{}, Contents(this->c));
    Fill(this->c, 8, 9);
    this->c.RotateBackward(1);
    EXPECT_EQ(std::vector<int>{8}, Contents(this->c));
}

TYPED_TEST(CollectionTest, RemoveCurrentKeepsTheWalkGoing)
{
    typedef typename TestFixture::E E;
    Fill(this->c, 0, 10);
    std::vector<int> visited;
    CollectionIterator it;
    for (E* e = this->c.First(it); e != nullptr; e = this->c.Next(it)) {
        int v = AsInt(*e);
        visited.push_back(v);
        if (v % 2 == 0) {
            EXPECT_TRUE(this->c.RemoveCurrent(it));
        }
    }
    EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}), visited);
    EXPECT_EQ((std::vector<int>{1, 3, 5, 7, 9}), Contents(this->c));
    EXPECT_FALSE(this->c.RemoveCurrent(it)) << "a finished walk stands on nothing";

    visited.clear();
    for (E* e = this->c.Last(it); e != nullptr; e = this->c.Previous(it)) {
        visited.push_back(AsInt(*e));
        if (AsInt(*e) != 5) {
            EXPECT_TRUE(this->c.RemoveCurrent(it));
            EXPECT_FALSE(this->c.RemoveCurrent(it)) << "removed twice";
        }
    }
    EXPECT_EQ((std::vector<int>{9, 7, 5, 3, 1}), visited);
    EXPECT_EQ(std::vector<int>{5}, Contents(this->c));
}

TYPED_TEST(CollectionTest, BeginAndPeekAroundTheWalk)
{
    typedef typename TestFixture::E E;
    CollectionIterator it;
    EXPECT_FALSE(this->c.BeginForward(it));
    EXPECT_FALSE(this->c.BeginBackward(it));
    EXPECT_EQ(nullptr, this->c.First(it));
    EXPECT_EQ(nullptr, this->c.PeekFirst());
    EXPECT_EQ(nullptr, this->c.PeekLast());

    Fill(this->c, 0, 4);
    ASSERT_TRUE(this->c.BeginForward(it));
    EXPECT_EQ(nullptr, this->c.Current(it));
    EXPECT_EQ(0, AsInt(*this->c.PeekNext(it)));
    EXPECT_EQ(0, AsInt(*this->c.Next(it)));
    EXPECT_EQ(1, AsInt(*this->c.Next(it)));
    EXPECT_EQ(1, AsInt(*this->c.Current(it)));
    EXPECT_EQ(2, AsInt(*this->c.PeekNext(it)));
    EXPECT_EQ(0, AsInt(*this->c.PeekPrevious(it)));

    ASSERT_TRUE(this->c.BeginBackward(it));
    EXPECT_EQ(nullptr, this->c.Current(it));
    EXPECT_EQ(3, AsInt(*this->c.Previous(it)));
    EXPECT_EQ(nullptr, this->c.PeekNext(it));
    E* previous = this->c.Previous(it);
    EXPECT_EQ(2, AsInt(*previous));
    EXPECT_EQ(3, AsInt(*this->c.PeekNext(it)));
}

TYPED_TEST(CollectionTest, RemovesCountedFromEitherEnd)
{
    typedef typename TestFixture::E E;
    Fill(this->c, 0, 10);
    EXPECT_EQ(3, this->c.RemoveFirstN(3));
    EXPECT_EQ(2, this->c.RemoveLastN(2));
    EXPECT_EQ((std::vector<int>{3, 4, 5, 6, 7}), Contents(this->c));
    this->c.KeepLast(7);
    EXPECT_EQ(5, this->c.Count()) << "keeping more than there are removes nothing";
    this->c.KeepLast(2);
    EXPECT_EQ((std::vector<int>{6, 7}), Contents(this->c));
    EXPECT_EQ(7, AsInt(this->c.PopLast()));
    EXPECT_EQ(6, AsInt(this->c.PopFirst()));
    EXPECT_EQ(0, this->c.RemoveLastN(5));
    EXPECT_FALSE(this->c.RemoveFirst());
    EXPECT_FALSE(this->c.RemoveLast());
    EXPECT_TRUE(this->c.PopFirst() == E());
    EXPECT_TRUE(this->c.PopLast() == E());
}

TYPED_TEST(CollectionTest, TakeCurrentEndsTheWalk)
{
    typedef typename TestFixture::E E;
    Fill(this->c, 0, 5);
    CollectionIterator it;
    this->c.First(it);
    this->c.Next(it);
    E taken = this->c.TakeCurrent(it);
    EXPECT_EQ(1, AsInt(taken));
    EXPECT_EQ(nullptr, this->c.Current(it));
    EXPECT_EQ(nullptr, this->c.Next(it));
    EXPECT_EQ((std::vector<int>{0, 2, 3, 4}), Contents(this->c));
    EXPECT_TRUE(this->c.TakeCurrent(it) == E()) << "nothing to take";
    EXPECT_EQ(4, this->c.Count());
}

TYPED_TEST(CollectionTest, AddsAllOfAnotherCollectionInOrder)
{
    typedef typename TestFixture::E E;
    List<E> other;
    Fill(other, 10, 13);
    Fill(this->c, 0, 2);
    this->c.AddAllTail(other);
    this->c.AddAllHead(other);
    EXPECT_EQ((std::vector<int>{10, 11, 12, 0, 1, 10, 11, 12}), Contents(this->c));
    EXPECT_EQ((std::vector<int>{10, 11, 12}), Contents(other));

    TypeParam self;
    Fill(self, 0, 3);
    self.AddAllTail(self);
    self.AddAllHead(self);
    EXPECT_EQ((std::vector<int>{0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2}), Contents(self));
}

TYPED_TEST(CollectionTest, ClearedCollectionIsReusable)
{
    Fill(this->c, 0, 30);
    this->c.Clear();
    EXPECT_EQ(std::vector<int>{}, Contents(this->c));
    Fill(this->c, 5, 7);
    EXPECT_EQ((std::vector<int>{5, 6}), Contents(this->c));
}

// -------------------------------------------------------------------------
// The indexed classes.

TEST(Vector, ResizeKeepsLeadingElementsAndDefaultsNewOnes)
{
    Vector<String> v(3);
    v[0] = "a";
    v[2] = "c";
    v.Resize(5);
    ASSERT_EQ(5, v.Count());
    EXPECT_STREQ("a", v[0].CStr());
    EXPECT_STREQ("c", v[2].CStr());
    EXPECT_TRUE(v[4].IsEmpty());
    v.Resize(1);
    EXPECT_EQ(1, v.Count());
    EXPECT_STREQ("a", v[0].CStr());
    v.Resize(-4);
    EXPECT_EQ(0, v.Count());
    EXPECT_EQ(nullptr, v.PeekFirst());
}

TEST(Vector, InsertClampsAndRemoveRejectsBadIndices)
{
    Vector<int> v;
    Fill(v, 0, 3);
    EXPECT_EQ(9, *v.InsertAt(1, 9));
    v.InsertAt(-5, -1);
    v.InsertAt(99, 99);
    EXPECT_EQ((std::vector<int>{-1, 0, 9, 1, 2, 99}), Contents(v));
    EXPECT_FALSE(v.RemoveAt(6));
    EXPECT_FALSE(v.RemoveAt(-1));
    EXPECT_TRUE(v.RemoveAt(2));
    EXPECT_EQ((std::vector<int>{-1, 0, 1, 2, 99}), Contents(v));
}

TEST(Vector, CopiesAreIndependent)
{
    Vector<String> a(2);
    a[0] = "x";
    Vector<String> b(a);
    b[0] = "y";
    a = b;
    b[1] = "z";
    EXPECT_STREQ("y", a[0].CStr());
    EXPECT_TRUE(a[1].IsEmpty());
}

TEST(Array, AnswersNullOutsideItsElements)
{
    Array<String> a;
    EXPECT_EQ(nullptr, a.At(0));
    a.AddTail("first");
    a.AddHead("zeroth");
    ASSERT_NE(nullptr, a.At(1));
    EXPECT_STREQ("first", a.At(1)->CStr());
    EXPECT_EQ(nullptr, a.At(2));
    EXPECT_EQ(nullptr, a.At(-1));
    EXPECT_FALSE(a.CheckIndex(2));
}

TEST(Array, InsertsInTheMiddleAndResizes)
{
    Array<int> a;
    Fill(a, 0, 4);
    a.InsertAt(2, 7);
    for (int i = 0; i < 20; i++)
        a.InsertAt(1, 100 + i);    // grows past its room in the middle
    std::vector<int> contents = Contents(a);
    ASSERT_EQ(25u, contents.size());
    EXPECT_EQ(0, contents[0]);
    EXPECT_EQ(119, contents[1]);
    EXPECT_EQ(100, contents[20]);
    EXPECT_EQ((std::vector<int>{1, 7, 2, 3}), std::vector<int>(contents.begin() + 21, contents.end()));
    a.Resize(2);
    a.Resize(4);
    EXPECT_EQ((std::vector<int>{0, 119, 0, 0}), Contents(a)) << "regrown slots are default";
}

// -------------------------------------------------------------------------
// List and Stack.

TEST(List, RemovingTheOnlyNodeLeavesNeitherHeadNorTail)
{
    const std::function<void(List<String>&)> removals[] = {
        [](List<String>& l) { EXPECT_TRUE(l.RemoveFirst()); },
        [](List<String>& l) { EXPECT_TRUE(l.RemoveLast()); },
        [](List<String>& l) { EXPECT_STREQ("only", l.PopLast().CStr()); },
        [](List<String>& l) {
            CollectionIterator it;
            l.Last(it);
            EXPECT_TRUE(l.RemoveCurrent(it));
        },
        [](List<String>& l) { EXPECT_TRUE(l.RemoveElement(l.PeekFirst())); },
    };
    for (size_t i = 0; i < std::size(removals); i++) {
        SCOPED_TRACE(i);
        List<String> l;
        l.AddTail("only");
        removals[i](l);
        EXPECT_EQ(0, l.Count());
        EXPECT_EQ(nullptr, l.PeekFirst());
        EXPECT_EQ(nullptr, l.PeekLast());
        String* added = l.AddHead("again");
        EXPECT_EQ(added, l.PeekFirst());
        EXPECT_EQ(added, l.PeekLast());
    }
}

TEST(List, RemoveElementFindsOnlyItsOwnNodes)
{
    List<int> l, other;
    Fill(l, 0, 3);
    Fill(other, 0, 3);
    EXPECT_FALSE(l.RemoveElement(other.PeekFirst()));
    EXPECT_TRUE(l.RemoveElement(l.PeekLast()));
    EXPECT_EQ((std::vector<int>{0, 1}), Contents(l));
}

TEST(Stack, PopsInReverseOrder)
{
    Stack<String> s;
    for (const char* word : {"a", "b", "c"})
        s.Push(word);
    EXPECT_STREQ("c", s.Pop().CStr());
    s.Push("d");
    EXPECT_STREQ("d", s.Pop().CStr());
    EXPECT_STREQ("b", s.Pop().CStr());
    EXPECT_STREQ("a", s.Pop().CStr());
    EXPECT_EQ(0, s.Count());
}

// -------------------------------------------------------------------------
// The hash table of String keys.

TEST(HashTable, NeverSizedTableFindsAndAcceptsNothing)
{
    HashTable<bool> names;
    EXPECT_FALSE(names.Add("A", true));
    EXPECT_EQ(nullptr, names.Find("A"));
    EXPECT_EQ(0, names.Count());
    names.Reset(-3);
    EXPECT_EQ(0, names.BucketCount());
    EXPECT_FALSE(names.Add("A", true));
    CollectionIterator it;
    EXPECT_EQ(nullptr, names.First(it));
}

TEST(HashTable, SecondAddOfAKeyReplacesItsValue)
{
    HashTable<bool> names;
    names.Reset(40);
    EXPECT_TRUE(names.Add("C:\\APP\\A.DLL", true));
    EXPECT_FALSE(names.Add("C:\\APP\\A.DLL", false));
    EXPECT_EQ(1, names.Count());
    HashTable<bool>::Entry* entry = names.Find("C:\\APP\\A.DLL");
    ASSERT_NE(nullptr, entry);
    EXPECT_FALSE(entry->value);
    EXPECT_EQ(nullptr, names.Find("c:\\app\\a.dll")) << "keys are case-sensitive";
}

TEST(HashTable, KeysSharingAChainStayApart)
{
    // The sum of the key bytes decides the chain: these collide in any
    // number of chains, and so do keys that differ after a zero byte.
    const String ab("ab"), ba("ba"), zeroB("a\0b", 3), zeroC("a\0c", 3);
    ASSERT_EQ(Checksum((const uint8_t*)"ab", 2), Checksum((const uint8_t*)"ba", 2));
    HashTable<int> table;
    table.Reset(7);
    EXPECT_TRUE(table.Add(ab, 1));
    EXPECT_TRUE(table.Add(ba, 2));
    EXPECT_TRUE(table.Add(zeroB, 3));
    EXPECT_TRUE(table.Add(zeroC, 4));
    EXPECT_EQ(2, table.Remove(table.Find(ba)));
    EXPECT_EQ(nullptr, table.Find(ba));
    ASSERT_NE(nullptr, table.Find(ab));
    EXPECT_EQ(1, table.Find(ab)->value);
    EXPECT_EQ(3, table.Find(zeroB)->value);
    EXPECT_EQ(4, table.Find(zeroC)->value);
    EXPECT_EQ(3, table.Count());
}

TEST(HashTable, WalksInInsertionOrderThroughRemovals)
{
    HashTable<int> table;
    table.Reset(40);
    std::vector<int> expected;
    for (int i = 0; i < 200; i++) {
        ASSERT_TRUE(table.Add(String::Formatted("KEY%d", i), i));
        expected.push_back(i);
    }
    // Entries leave from the middle, both ends and during a walk.
    for (int i = 0; i < 200; i += 3)
        EXPECT_EQ(i, table.Remove(table.Find(String::Formatted("KEY%d", i))));
    EXPECT_TRUE(table.RemoveFirst());
    EXPECT_TRUE(table.RemoveLast());
    CollectionIterator it;
    for (HashTable<int>::Entry* e = table.First(it); e != nullptr; e = table.Next(it)) {
        EXPECT_EQ(e->value, atoi(e->key.CStr() + 3));
        if (e->value % 5 == 0)
            table.RemoveCurrent(it);
    }
    expected.erase(std::remove_if(expected.begin(), expected.end(),
                                  [](int v) { return v % 3 == 0 || v % 5 == 0; }),
                   expected.end());
    expected.erase(expected.begin());
    expected.pop_back();

    std::vector<int> forward, backward;
    for (HashTable<int>::Entry* e = table.First(it); e != nullptr; e = table.Next(it))
        forward.push_back(e->value);
    for (HashTable<int>::Entry* e = table.Last(it); e != nullptr; e = table.Previous(it))
        backward.insert(backward.begin(), e->value);
    EXPECT_EQ(expected, forward);
    EXPECT_EQ(expected, backward);
    EXPECT_EQ((int)expected.size(), table.Count());
    EXPECT_EQ(expected.front(), table.PopFirst().value);
}

TEST(HashTable, ResetEmptiesTheTable)
{
    HashTable<int> table;
    table.Reset(40);
    for (int i = 0; i < 50; i++)
        table.Add(String::Formatted("%d", i), i);
    table.Reset(3);
    EXPECT_EQ(0, table.Count());
    EXPECT_EQ(3, table.BucketCount());
    EXPECT_EQ(nullptr, table.Find("7"));
    EXPECT_EQ(nullptr, table.PeekFirst());
    EXPECT_TRUE(table.Add("7", 70));
    EXPECT_EQ(70, table.Find("7")->value);
    table.Clear();
    EXPECT_TRUE(table.Add("8", 80)) << "a cleared table keeps its chains";
}

// -------------------------------------------------------------------------
// Names and fatal stops.

TEST(TypeName, ReadsAsInFatalMessages)
{
    EXPECT_STREQ("int", TypeName<int>::kText);
    EXPECT_STREQ("unsigned int", TypeName<unsigned>::kText);
    EXPECT_STREQ("bool", TypeName<bool>::kText);
    EXPECT_STREQ("class String", TypeName<String>::kText);
    EXPECT_STREQ("class String *", TypeName<String*>::kText);
    EXPECT_STREQ("struct Sample * *", TypeName<Sample**>::kText);
    EXPECT_STREQ("class List<struct Bucket<class String,bool> >",
                 (TypeName<List<Bucket<String, bool>>>::kText));
}

#ifndef _WIN32

// The whole of a fatal stop's report on stderr.
::testing::Matcher<const std::string&> Says(const char* text)
{
    return ::testing::Matcher<const std::string&>(std::string(text));
}

TEST(ContainersDeathTest, VectorIndexOutOfRangeStops)
{
    struct Case {
        int count;
        int index;
        const char* text;
    };
    static const Case kCases[] = {
        {3, 3, "Vector<class String>[3]\nmax_index = 2\n"},
        {3, -1, "Vector<class String>[-1]\nmax_index = 2\n"},
        {0, 0, "Vector<class String>[0]\nmax_index = -1\n"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.text);
        Vector<String> v(c.count);
        EXPECT_EXIT((void)v[c.index], ::testing::ExitedWithCode(1), Says(c.text));
    }
    Vector<int> ints(2);
    EXPECT_EXIT(ints.At(2), ::testing::ExitedWithCode(1),
                Says("Vector<int>[2]\nmax_index = 1\n"));
}

TEST(ContainersDeathTest, PopOfEmptyStackStops)
{
    Stack<int> ints;
    ints.Push(1);
    ints.Pop();
    EXPECT_EXIT(ints.Pop(), ::testing::ExitedWithCode(1), Says("Stack<int>::pop\n"));
    Stack<Sample> samples;
    EXPECT_EXIT(samples.Pop(), ::testing::ExitedWithCode(1),
                Says("Stack<struct Sample>::pop\n"));
    Stack<String*> pointers;
    EXPECT_EXIT(pointers.Pop(), ::testing::ExitedWithCode(1),
                Says("Stack<class String *>::pop\n"));
}

TEST(ContainersDeathTest, HashTableRejectsAddsAtTheEndsAndRotation)
{
    typedef HashTable<bool>::Entry Entry;
    HashTable<bool> table;
    table.Reset(40);
    table.Add("A", true);
    Collection<Entry>& c = table;   // reached through the common interface
    Entry entry = *table.Find("A");
    List<Entry> others;
    const std::pair<std::function<void()>, const char*> kCases[] = {
        {[&] { c.AddTail(entry); }, "core32.h 5073\n"},
        {[&] { c.AddTailFrom(&entry); }, "core32.h 5074\n"},
        {[&] { c.AddAllTail(others); }, "core32.h 5075\n"},
        {[&] { c.AddHead(entry); }, "core32.h 5076\n"},
        {[&] { c.AddHeadFrom(nullptr); }, "core32.h 5077\n"},
        {[&] { c.AddAllHead(others); }, "core32.h 5078\n"},
        {[&] { c.RotateForward(1); }, "core32.h 5079\n"},
        {[&] { c.RotateBackward(-1); }, "core32.h 5080\n"},
    };
    for (const auto& [operation, text] : kCases) {
        SCOPED_TRACE(text);
        EXPECT_EXIT(operation(), ::testing::ExitedWithCode(1), Says(text));
    }
}

#endif // _WIN32

} // namespace
