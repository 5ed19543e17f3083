// Saving many icons in one go: every icon of a list (one file's, or the whole grid's) into one
// folder, as group .ico files or as PNG pictures at one size. Files are named FILE_INDEX.ico or
// .png (FILE with its dots made "_", as the save dialog suggests names) and never replace
// anything: a name already taken gets " (2)", " (3)" ... The engine works item by item, so the
// window runs it in slices from a timer and keeps painting; the command-line tool runs it whole.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QObject;

namespace glyptor::batchsave {

enum class Kind { Group, Png };

struct Options {
    std::string folder; // native path of an existing folder
    Kind kind = Kind::Group;
    int pngSize = 0; // 0: each icon's largest image
};

struct Item {
    std::string path; // native path of the file
    int index = 0;
};

struct Failure {
    Item item;
    std::string reason;
};

struct Summary {
    int written = 0;
    std::vector<std::string> files; // native paths written, in order
    std::vector<Failure> failures;
    bool cancelled = false;
};

// "shell32.dll", 3, Png -> "shell32_dll_3.png".
std::string FileNameFor(const std::string& path, int index, Kind kind);

// The name for `name` in `folder` that nothing carries yet: the name itself, else
// "STEM (2).EXT", "STEM (3).EXT" ...
std::string FreeName(const std::string& folder, const std::string& name);

// Writes `bytes` as a new file under `name` or the next free name (see FreeName) and returns
// its native path. The name is claimed with an exclusive create before the contents go in all
// or nothing, so neither another file nor a concurrent writer is ever replaced. Throws
// std::runtime_error with the reason.
std::string WriteNewFile(const std::string& folder, const std::string& name,
                         const std::vector<std::uint8_t>& bytes);

class BatchSave {
public:
    BatchSave(std::vector<Item> items, Options options);

    // Saves the next item; false when nothing is left (all done, or cancelled).
    bool Step();
    // Saves items until `budget` has passed (at least one); false when nothing is left.
    bool RunFor(std::chrono::milliseconds budget);
    // Stops before the next item; the summary says so.
    void Cancel();

    int Done() const { return static_cast<int>(next_); }
    int Total() const { return static_cast<int>(items_.size()); }
    bool Finished() const { return cancelled_ || next_ >= items_.size(); }
    const Summary& Result() const { return summary_; }

private:
    std::vector<Item> items_;
    Options options_;
    std::size_t next_ = 0;
    bool cancelled_ = false;
    Summary summary_;
};

// Runs the batch in slices from a timer owned by `context` (a few tens of milliseconds each,
// so the event loop keeps painting between them), calling `progress` after each slice and
// `finished` once at the end. The batch must outlive the run; Cancel() may be called from
// `progress` or any event handler meanwhile.
void RunSliced(BatchSave& batch, QObject* context,
               std::function<void(int done, int total)> progress,
               std::function<void(const Summary&)> finished);

} // namespace glyptor::batchsave
