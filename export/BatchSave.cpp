// The batch save engine.
#include "export/BatchSave.h"

#include "export/IconGroup.h"
#include "export/IconPng.h"
#include "platform/dib/OutputFile.h"

#include <QObject>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <unistd.h>

namespace glyptor::batchsave {

namespace {

namespace fs = std::filesystem;

// More copies of one name than this means something is wrong with the folder, not the names.
constexpr int kMaxCopies = 10000;

std::string WithCopy(const std::string& name, int copy) {
    if (copy == 1) {
        return name;
    }
    const auto dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(copy) + ")";
    return dot == std::string::npos ? name + suffix
                                    : name.substr(0, dot) + suffix + name.substr(dot);
}

} // namespace

std::string FileNameFor(const std::string& path, int index, Kind kind) {
    std::string name = fs::path(path).filename().string() + "_" + std::to_string(index);
    for (char& ch : name) {
        if (ch == '.') {
            ch = '_';
        }
    }
    return name + (kind == Kind::Group ? ".ico" : ".png");
}

std::string FreeName(const std::string& folder, const std::string& name) {
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const std::string candidate = WithCopy(name, copy);
        std::error_code error;
        if (!fs::exists(fs::symlink_status(fs::path(folder) / candidate, error))) {
            return candidate;
        }
    }
    throw std::runtime_error("no free name for " + name);
}

std::string WriteNewFile(const std::string& folder, const std::string& name,
                         const std::vector<std::uint8_t>& bytes) {
    for (int copy = 1; copy <= kMaxCopies; ++copy) {
        const std::string path = (fs::path(folder) / WithCopy(name, copy)).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            throw std::runtime_error("Cannot create file " + path + ": " + std::strerror(errno));
        }
        ::close(fd);
        try {
            dib::ReplaceFileContents(path, bytes);
        } catch (...) {
            // The empty file only held the name for us; nobody else's file is touched.
            dib::RemoveExactFile(path);
            throw;
        }
        return path;
    }
    throw std::runtime_error("no free name for " + name);
}

BatchSave::BatchSave(std::vector<Item> items, Options options)
    : items_(std::move(items)), options_(std::move(options)) {}

bool BatchSave::Step() {
    if (Finished()) {
        return false;
    }
    const Item& item = items_[next_++];
    try {
        const auto bytes = options_.kind == Kind::Group
                               ? icongroup::BuildGroupIconFile(item.path, item.index)
                               : iconpng::RenderPng(item.path, item.index, options_.pngSize);
        if (!bytes) {
            summary_.failures.push_back({item, "cannot read icon " + std::to_string(item.index)});
        } else {
            summary_.files.push_back(WriteNewFile(
                options_.folder, FileNameFor(item.path, item.index, options_.kind), *bytes));
            ++summary_.written;
        }
    } catch (const std::exception& failure) {
        summary_.failures.push_back({item, failure.what()});
    }
    return !Finished();
}

bool BatchSave::RunFor(std::chrono::milliseconds budget) {
    const auto end = std::chrono::steady_clock::now() + budget;
    while (Step()) {
        if (std::chrono::steady_clock::now() >= end) {
            return true;
        }
    }
    return false;
}

void BatchSave::Cancel() {
    if (!Finished()) {
        cancelled_ = true;
        summary_.cancelled = true;
    }
}

void RunSliced(BatchSave& batch, QObject* context, std::function<void(int, int)> progress,
               std::function<void(const Summary&)> finished) {
    auto* timer = new QTimer(context);
    timer->setInterval(0);
    QObject::connect(
        timer, &QTimer::timeout, context,
        [&batch, timer, progress = std::move(progress), finished = std::move(finished)] {
            // Long enough to make progress, short enough that a paint or a click
            // on "Cancel" waits no longer than a frame or two.
            const bool more = batch.RunFor(std::chrono::milliseconds(30));
            if (progress) {
                progress(batch.Done(), batch.Total());
            }
            if (!more || batch.Finished()) {
                timer->stop();
                timer->deleteLater();
                if (finished) {
                    finished(batch.Result());
                }
            }
        });
    timer->start();
}

} // namespace glyptor::batchsave
