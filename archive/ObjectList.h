// Growable lists of object references, as the archive directory uses them: an owning list with a
// fixed capacity schedule and limit, and a sorted list with a duplicates policy and binary search.
#pragma once

#include <cstdint>
#include <vector>

namespace glyptor::archive {

// Common base of everything a TObjectList can hold.
class TObject {
public:
    virtual ~TObject() = default;
};

// Array of object references. An owning list (the default) deletes its items when they are
// removed, when it is cleared and when it is destroyed.
class TObjectList {
public:
    // The largest capacity the growth schedule may reach; one more step raises EListError.
    static constexpr int MaxCapacity = 65534;

    explicit TObjectList(bool ownsObjects = true) : OwnsObjects(ownsObjects) {}
    virtual ~TObjectList();
    TObjectList(const TObjectList&) = delete;
    TObjectList& operator=(const TObjectList&) = delete;

    int Count() const { return static_cast<int>(Items.size()); }
    int Capacity() const { return FCapacity; }
    bool OwnsObjects;

    // Raises EListError for an index outside 0 .. Count-1.
    TObject* Get(int index) const;
    // Replaces the item at index, deleting the old one when the list owns it.
    virtual void Put(int index, TObject* item);
    // Appends; returns the new item's index. The list takes ownership when it owns objects,
    // also when growing fails (the item is then deleted before the error leaves).
    virtual int Add(TObject* item);
    void Insert(int index, TObject* item);
    // Removes the item at index, deleting it when the list owns it.
    void Delete(int index);
    // Removes the item at index and hands it to the caller.
    TObject* Extract(int index);
    int IndexOf(const TObject* item) const;
    void Clear();

protected:
    void CheckIndex(int index) const;
    void Grow();

private:
    std::vector<TObject*> Items;
    int FCapacity = 0;
};

// What a sorted list does with an item whose key is already present.
enum class TDuplicates { Ignore = 0, Accept = 1, Error = 2 };

// List kept in the order of Compare(item, key). Add inserts where Find says.
class TSortedObjectList : public TObjectList {
public:
    explicit TSortedObjectList(bool ownsObjects = true) : TObjectList(ownsObjects) {}

    TDuplicates Duplicates = TDuplicates::Ignore;

    // Negative when item sorts before key, 0 when equal, positive when after.
    virtual int Compare(const TObject* item, const TObject* key) const = 0;

    // Binary search; returns whether key was found and sets index to the insertion point.
    // Under Accept the insertion point is the first of a run of equal items.
    bool Find(const TObject* key, int& index) const;
    // Inserts at the Find position. Under Ignore a duplicate is not inserted (and deleted when
    // the list owns objects); returns -1 then. Under Error a duplicate raises EListError.
    int Add(TObject* item) override;
    // Sorted lists cannot take an item at a chosen place; raises EListError (deleting the item
    // when the list owns objects).
    void Put(int index, TObject* item) override;
};

} // namespace glyptor::archive
