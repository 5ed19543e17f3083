// Drive letters over Linux mounts. A file manager shows the root file system and the devices a
// user plugged in or mounted for themselves; we give exactly those a letter so that the tree
// looks like the drive list of the system the icons come from.
#include "platform/core/Drives.h"

#include "platform/core/Settings.h"

#include <QStorageInfo>

#include <algorithm>
#include <fstream>
#include <set>

namespace glyptor::platform {

namespace {

bool StartsWithFolder(const std::string& path, const std::string& folder) {
    if (folder.empty() || path.size() <= folder.size())
        return false;
    return path.compare(0, folder.size(), folder) == 0 &&
           (folder.back() == '/' || path[folder.size()] == '/');
}

bool IsUserMountPoint(const std::string& mountPoint, const std::string& home) {
    for (const char* base : {"/media", "/run/media", "/mnt"})
        if (StartsWithFolder(mountPoint, base))
            return true;
    return StartsWithFolder(mountPoint, home);
}

// The block device's own "removable" flag; partitions ask their parent disk.
bool DeviceIsRemovable(const std::string& device) {
    const std::string prefix = "/dev/";
    if (device.rfind(prefix, 0) != 0)
        return false;
    std::string name = device.substr(prefix.size());
    for (int attempt = 0; attempt < 2 && !name.empty(); ++attempt) {
        std::ifstream flag("/sys/class/block/" + name + "/removable");
        int value = 0;
        if (flag >> value)
            return value != 0;
        // A partition (sdb1, mmcblk0p1) has no flag of its own: try the disk.
        while (!name.empty() && std::isdigit(static_cast<unsigned char>(name.back())))
            name.pop_back();
        if (!name.empty() && name.back() == 'p' && name.rfind("mmcblk", 0) == 0)
            name.pop_back();
    }
    return false;
}

} // namespace

bool IsPseudoFileSystem(const std::string& fsType) {
    static const std::set<std::string> pseudo = {
        "proc",       "sysfs",    "devtmpfs", "devpts",      "cgroup",   "cgroup2",
        "securityfs", "debugfs",  "tracefs",  "pstore",      "bpf",      "mqueue",
        "hugetlbfs",  "configfs", "fusectl",  "binfmt_misc", "autofs",   "efivarfs",
        "rpc_pipefs", "nsfs",     "overlay",  "squashfs",    "selinuxfs"};
    return pseudo.count(fsType) != 0;
}

int DriveTypeForFileSystem(const std::string& fsType, bool removable) {
    if (fsType == "iso9660" || fsType == "udf")
        return DriveCdRom;
    if (fsType == "nfs" || fsType == "nfs4" || fsType == "cifs" || fsType == "smb3" ||
        fsType == "smbfs" || fsType == "fuse.sshfs" || fsType == "sshfs" || fsType == "9p")
        return DriveRemote;
    if (fsType == "tmpfs" || fsType == "ramfs")
        return DriveRamDisk;
    return removable ? DriveRemovable : DriveFixed;
}

std::vector<DriveEntry> BuildDriveTable(const std::vector<MountInfo>& mounts,
                                        const std::string& homeFolder,
                                        const std::map<char, std::string>& overrides) {
    std::map<char, DriveEntry> byLetter;
    byLetter['C'] = DriveEntry{"C:\\", DriveFixed, "/"};
    std::set<std::string> seen = {"/"};
    char next = 'D';
    for (const MountInfo& mount : mounts) {
        if (next > 'Z')
            break;
        if (!IsUserMountPoint(mount.mountPoint, homeFolder) || IsPseudoFileSystem(mount.fsType))
            continue;
        // A folder mounted twice (bind mounts, stacked mounts) is one drive.
        if (!seen.insert(mount.mountPoint).second)
            continue;
        const char letter = next++;
        byLetter[letter] =
            DriveEntry{std::string(1, letter) + ":\\",
                       DriveTypeForFileSystem(mount.fsType, mount.removable), mount.mountPoint};
    }
    for (const auto& [rawLetter, folder] : overrides) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(rawLetter)));
        if (letter < 'A' || letter > 'Z' || folder.empty())
            continue;
        byLetter[letter] = DriveEntry{std::string(1, letter) + ":\\", DriveFixed, folder};
    }
    std::vector<DriveEntry> table;
    for (auto& [letter, entry] : byLetter)
        table.push_back(std::move(entry));
    return table;
}

std::vector<MountInfo> SystemMounts() {
    std::vector<MountInfo> mounts;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        MountInfo info;
        info.mountPoint = volume.rootPath().toStdString();
        info.fsType = volume.fileSystemType().toStdString();
        info.device = volume.device().toStdString();
        info.removable = DeviceIsRemovable(info.device);
        mounts.push_back(std::move(info));
    }
    return mounts;
}

const std::vector<DriveEntry>& DriveTable::Entries() const {
    if (!entries_) {
        const char* home = std::getenv("HOME");
        entries_ = BuildDriveTable(SystemMounts(), home ? home : "", DriveOverrides());
    }
    return *entries_;
}

} // namespace glyptor::platform
