// The drive table: how the Linux mounts appear as the logical drives "C:\", "D:\" ... that the
// folder tree shows and that every path of the program starts with.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace glyptor::platform {

// Drive type codes, as the folder tree and its images know them.
enum DriveType : int {
    DriveUnknown = 0,
    DriveNoRootDir = 1,
    DriveRemovable = 2,
    DriveFixed = 3,
    DriveRemote = 4,
    DriveCdRom = 5,
    DriveRamDisk = 6,
};

// One mounted volume as the system reports it.
struct MountInfo {
    std::string mountPoint; // "/media/user/STICK"
    std::string fsType;     // "vfat", "iso9660", "nfs" ...
    std::string device;     // "/dev/sdb1", "server:/share" ...
    bool removable = false; // the block device says it is removable
};

struct DriveEntry {
    std::string root;       // "C:\" in capitals
    int type = DriveFixed;  // DriveType
    std::string nativeRoot; // "/" or the mount point
};

// Builds the table: "C:" is "/", each device mount under /media, /run/media, /mnt or the home
// folder gets the next letter in mount order; system and pseudo mounts get none. `overrides`
// (letter -> folder) replaces the automatic drive of that letter or adds one.
std::vector<DriveEntry> BuildDriveTable(const std::vector<MountInfo>& mounts,
                                        const std::string& homeFolder,
                                        const std::map<char, std::string>& overrides);

// The drive type a file system of that kind is shown as.
int DriveTypeForFileSystem(const std::string& fsType, bool removable);

// True for the mounts of pseudo file systems (proc, sysfs, cgroup ...), which are never
// entered as folders.
bool IsPseudoFileSystem(const std::string& fsType);

// The drives that path translation and folder listing go by. A default table is the running
// system's (mounts read on first use, letters overridden by the `Drives` settings section);
// one built from entries, or given entries later, holds exactly those.
class DriveTable {
public:
    DriveTable() = default;
    explicit DriveTable(std::vector<DriveEntry> entries) : entries_(std::move(entries)) {}

    const std::vector<DriveEntry>& Entries() const;
    void Set(std::vector<DriveEntry> entries) { entries_ = std::move(entries); }

private:
    // Reading the mounts is deferred until a path is first translated: a table that is
    // replaced before that never touches the system.
    mutable std::optional<std::vector<DriveEntry>> entries_;
};

// The running system's mounts (from /proc/self/mountinfo through Qt).
std::vector<MountInfo> SystemMounts();

} // namespace glyptor::platform
