// The element-independent halves of the containers, compiled once instead
// of once per element type.
#include "core/containers.h"

int32_t CollectionCore::RemoveFirstN(int32_t n)
{
    int32_t removed = 0;
    while (removed < n && RemoveFirst())
        removed++;
    return removed;
}

int32_t CollectionCore::RemoveLastN(int32_t n)
{
    int32_t removed = 0;
    while (removed < n && RemoveLast())
        removed++;
    return removed;
}

void CollectionCore::KeepLast(int32_t n)
{
    if (count > n)
        RemoveFirstN(count - n);
}

void CollectionCore::RotateForward(int32_t n)
{
    if (count < 2)
        return;
    int32_t r = n % count;  // before negating, so INT32_MIN is harmless
    if (r < 0)
        RotateBackward(-r);
    else if (r != 0)
        Rotate(r);
}

void CollectionCore::RotateBackward(int32_t n)
{
    if (count < 2)
        return;
    int32_t r = n % count;
    if (r < 0)
        RotateForward(-r);
    else if (r != 0)
        Rotate(count - r);
}

void ListLinks::AddTail(ListLink* link)
{
    link->previous = tail;
    link->next = 0;
    if (tail != 0)
        tail->next = link;
    else
        head = link;
    tail = link;
}

void ListLinks::AddHead(ListLink* link)
{
    link->previous = 0;
    link->next = head;
    if (head != 0)
        head->previous = link;
    else
        tail = link;
    head = link;
}

void ListLinks::Unlink(ListLink* link)
{
    if (link->previous != 0)
        link->previous->next = link->next;
    else
        head = link->next;
    if (link->next != 0)
        link->next->previous = link->previous;
    else
        tail = link->previous;
}

void ListLinks::MoveHeadToTail(int32_t r)
{
    for (int32_t k = 0; k < r && head != tail; k++) {
        ListLink* link = head;
        Unlink(link);
        AddTail(link);
    }
}

ListLink* ListLinks::StepTo(CollectionIterator& it, ListLink* link)
{
    if (link == 0) {
        it = CollectionIterator();
        return 0;
    }
    it.current = (intptr_t)link;
    it.next = (intptr_t)link->next;
    it.previous = (intptr_t)link->previous;
    return link;
}

bool ListLinks::BeginForward(CollectionIterator& it) const
{
    it = CollectionIterator();
    it.next = (intptr_t)head;
    return head != 0;
}

bool ListLinks::BeginBackward(CollectionIterator& it) const
{
    it = CollectionIterator();
    it.previous = (intptr_t)tail;
    return tail != 0;
}
