// Object lists of the archive directory: capacity schedule, ownership and sorted insertion.
#include "archive/ObjectList.h"

#include "archive/ZipErrors.h"

#include <string>

namespace glyptor::archive {

TObjectList::~TObjectList() {
    Clear();
}

void TObjectList::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

TObject* TObjectList::Get(int index) const {
    CheckIndex(index);
    return Items[static_cast<size_t>(index)];
}

void TObjectList::Put(int index, TObject* item) {
    CheckIndex(index);
    TObject*& slot = Items[static_cast<size_t>(index)];
    if (slot != item && OwnsObjects)
        delete slot;
    slot = item;
}

void TObjectList::Grow() {
    int delta = FCapacity <= 4 ? 4 : FCapacity <= 8 ? 8 : 16;
    int newCapacity = FCapacity + delta;
    if (newCapacity > MaxCapacity)
        throw EListError("List capacity out of bounds (" + std::to_string(newCapacity) + ")");
    FCapacity = newCapacity;
    Items.reserve(static_cast<size_t>(FCapacity));
}

int TObjectList::Add(TObject* item) {
    Insert(Count(), item);
    return Count() - 1;
}

void TObjectList::Insert(int index, TObject* item) {
    if (index < 0 || index > Count()) {
        if (OwnsObjects)
            delete item;
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    }
    if (Count() == FCapacity) {
        try {
            Grow();
        } catch (...) {
            if (OwnsObjects)
                delete item;
            throw;
        }
    }
    Items.insert(Items.begin() + index, item);
}

void TObjectList::Delete(int index) {
    TObject* item = Extract(index);
    if (OwnsObjects)
        delete item;
}

TObject* TObjectList::Extract(int index) {
    CheckIndex(index);
    TObject* item = Items[static_cast<size_t>(index)];
    Items.erase(Items.begin() + index);
    return item;
}

int TObjectList::IndexOf(const TObject* item) const {
    for (size_t i = 0; i < Items.size(); ++i)
        if (Items[i] == item)
            return static_cast<int>(i);
    return -1;
}

void TObjectList::Clear() {
    std::vector<TObject*> old;
    old.swap(Items);
    FCapacity = 0;
    if (OwnsObjects)
        for (TObject* item : old)
            delete item;
}

bool TSortedObjectList::Find(const TObject* key, int& index) const {
    bool found = false;
    int lo = 0;
    int hi = Count() - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        int c = Compare(Get(mid), key);
        if (c < 0) {
            lo = mid + 1;
        } else {
            hi = mid - 1;
            if (c == 0) {
                found = true;
                if (Duplicates != TDuplicates::Accept)
                    lo = mid;
            }
        }
    }
    index = lo;
    return found;
}

int TSortedObjectList::Add(TObject* item) {
    int index = 0;
    if (Find(item, index)) {
        if (Duplicates == TDuplicates::Ignore) {
            if (OwnsObjects)
                delete item;
            return -1;
        }
        if (Duplicates == TDuplicates::Error) {
            if (OwnsObjects)
                delete item;
            throw EListError("Duplicate Object index");
        }
    }
    Insert(index, item);
    return index;
}

void TSortedObjectList::Put(int, TObject* item) {
    // An owning list takes every item handed to it, also one it refuses.
    if (OwnsObjects)
        delete item;
    throw EListError("Cannot <Put> an Object in a sorted list!");
}

} // namespace glyptor::archive
