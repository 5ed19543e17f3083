#include "browser/GridView.h"

#include <algorithm>
#include <set>

namespace glyptor {

bool NameMatches(const QString& fileName, const QString& filter) {
    if (filter.isEmpty())
        return true;
    const int slash = fileName.lastIndexOf('\\');
    const QStringView name =
        slash < 0 ? QStringView(fileName) : QStringView(fileName).mid(slash + 1);
    return name.contains(filter, Qt::CaseInsensitive);
}

bool TGridView::Accepts(TIconRes& record, const HashFiller& fillHash) {
    if (!NameMatches(record.FileName, filter_))
        return false;
    if (!folding_)
        return true;
    if (record.ImageHash == kNoImageHash && fillHash)
        fillHash(record);
    // A record whose image could not be read is never taken for a repeat of another.
    if (record.ImageHash == kNoImageHash || record.ImageHash == kUnreadableImageHash)
        return true;
    return seen_.insert(record.ImageHash).second;
}

void TGridView::Rebuild(Records& records, const HashFiller& fillHash) {
    Reset();
    if (!Active())
        return;
    for (std::size_t i = 0; i < records.size(); ++i)
        if (Accepts(records[i], fillHash))
            shown_.push_back(static_cast<int>(i));
}

bool TGridView::Add(int recordIndex, TIconRes& record, const HashFiller& fillHash) {
    if (!Accepts(record, fillHash))
        return false;
    shown_.push_back(recordIndex);
    return true;
}

void TGridView::Reset() {
    shown_.clear();
    shown_.shrink_to_fit();
    seen_.clear();
}

int TGridView::CellOf(int recordIndex) const {
    const auto found = std::lower_bound(shown_.begin(), shown_.end(), recordIndex);
    return found != shown_.end() && *found == recordIndex ? static_cast<int>(found - shown_.begin())
                                                          : -1;
}

std::vector<const TIconRes*> SameImageRecords(const TGridView::Records& records,
                                              const TIconRes& record) {
    const std::uint64_t hash = record.ImageHash;
    if (hash == kNoImageHash || hash == kUnreadableImageHash)
        return {&record};
    std::vector<const TIconRes*> same;
    for (const TIconRes& other : records)
        if (other.ImageHash == hash)
            same.push_back(&other);
    return same;
}

QString FoldedSuffix(int otherFiles) {
    if (otherFiles <= 0)
        return {};
    // Russian takes the singular after 1, 21, 31 ... but not after 11.
    const bool singular = otherFiles % 10 == 1 && otherFiles % 100 != 11;
    return QStringLiteral(" (ещё в %1 %2)")
        .arg(otherFiles)
        .arg(singular ? QStringLiteral("файле") : QStringLiteral("файлах"));
}

} // namespace glyptor
