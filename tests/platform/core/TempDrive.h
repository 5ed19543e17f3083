// A temporary folder mapped as drive "T:" (beside "C:" = "/") in a drive table of its own,
// removed at the end of the test.
#pragma once

#include "platform/core/Drives.h"
#include "platform/core/ProgramState.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace glyptor::testing {

class TempDrive {
public:
    TempDrive() {
        char pattern[] = "/tmp/glyptor-drive-XXXXXX";
        root_ = ::mkdtemp(pattern);
        drives_.Set({{"C:\\", platform::DriveFixed, "/"}, {"T:\\", platform::DriveFixed, root_}});
    }
    ~TempDrive() {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    const std::string& Root() const { return root_; }
    const platform::DriveTable& Drives() const { return drives_; }
    // A fresh program state that goes by this drive table.
    ProgramState State() const {
        ProgramState state;
        state.Drives = drives_;
        return state;
    }
    std::string Native(const std::string& relative) const { return root_ + "/" + relative; }
    void Folder(const std::string& relative) const {
        std::filesystem::create_directories(Native(relative));
    }
    void File(const std::string& relative, const std::string& bytes = "x") const {
        std::filesystem::create_directories(std::filesystem::path(Native(relative)).parent_path());
        std::ofstream(Native(relative), std::ios::binary) << bytes;
    }

private:
    std::string root_;
    platform::DriveTable drives_;
};

} // namespace glyptor::testing
