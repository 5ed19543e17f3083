// The pseudo file systems a folder walk never enters (proc, sysfs and the like), by the magic
// number statfs reports. Shared by the folder tree's listing and the scanner's reader pool, so
// that both walks skip the same mounts.
#pragma once

namespace glyptor::platform {

inline bool IsPseudoFileSystemMagic(unsigned long magic) {
    switch (magic) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x1cd1:     // devpts
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0x73636673: // securityfs
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x6165676c: // pstore
    case 0xcafe4a11: // bpf
    case 0x19800202: // mqueue
    case 0x62656570: // configfs
    case 0x42494e4d: // binfmt_misc
    case 0x6e736673: // nsfs
        return true;
    default:
        return false;
    }
}

} // namespace glyptor::platform
