// Which records the icon grid shows: every record in scan order, or a view over them that keeps
// only the records whose file name contains a text and, with folding on, only the first record
// of each icon image. The records stay where they are; the view holds their positions, so
// turning it off gives back the grid as it was scanned.
#pragma once

#include "browser/IconRes.h"

#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <unordered_set>
#include <vector>

namespace glyptor {

// Whether a file name contains the filter text, without regard to letter case. For a record
// without a folder node only the part after the last "\" counts.
bool NameMatches(const QString& fileName, const QString& filter);

class TGridView {
public:
    // Records live in blocks rather than one allocation each: a grid of a million icons
    // saves the pointer and the allocator's bookkeeping per record, and a record never moves
    // once appended.
    using Records = std::deque<TIconRes>;
    // Fills a record's ImageHash; called only while folding, once per record.
    using HashFiller = std::function<void(TIconRes&)>;

    // Off: no folding and an empty filter, so cell i is record i.
    bool Active() const { return folding_ || !filter_.isEmpty(); }
    bool Folding() const { return folding_; }
    const QString& Filter() const { return filter_; }
    void SetFolding(bool folding) { folding_ = folding; }
    void SetFilter(const QString& filter) { filter_ = filter; }

    // Rebuilds the view over every record (hashing the ones without a hash when folding).
    void Rebuild(Records& records, const HashFiller& fillHash);
    // Takes record `recordIndex`, just appended; true when it gets a cell.
    bool Add(int recordIndex, TIconRes& record, const HashFiller& fillHash);
    // Forgets the cells (the records were cleared); the settings stay.
    void Reset();

    int Count() const { return static_cast<int>(shown_.size()); }
    int RecordIndex(int cell) const { return shown_[static_cast<std::size_t>(cell)]; }
    // The cell showing record `recordIndex`, or -1 when the view hides it.
    int CellOf(int recordIndex) const;

private:
    bool Accepts(TIconRes& record, const HashFiller& fillHash);

    bool folding_ = false;
    QString filter_;
    std::vector<int> shown_; // ascending record positions
    std::unordered_set<std::uint64_t> seen_;
};

// Every record showing the same image as `record` (itself included), in scan order; just the
// record itself when its image is unknown or unreadable.
std::vector<const TIconRes*> SameImageRecords(const TGridView::Records& records,
                                              const TIconRes& record);

// The status line's addition for a folded icon: " (ещё в N файлах)", with N the number of other
// files holding the same image; empty when there are none.
QString FoldedSuffix(int otherFiles);

} // namespace glyptor
