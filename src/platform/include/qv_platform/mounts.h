// Drive types on Linux: what stands in for the Windows drive letter and
// network share is the mount a path lies on.
//
// The mount of a path is found in the mount table (/proc/self/mountinfo): the
// mount whose mount point is the longest prefix of the path's real location
// (the deepest existing ancestor with its symbolic links resolved). Its type
// is told from the file system type and the block device:
//   network    nfs, nfs4, cifs, smb3, smbfs, 9p, ceph, afs, sshfs and the
//              other network fuse types
//   RAM disk   tmpfs, ramfs (refused where Windows refuses a RAM disk)
//   optical    iso9660, udf
//   removable  a disk file system on a block device whose
//              /sys/dev/block/<major:minor> (or its parent disk) is marked
//              removable
//   fixed      a disk file system on a fixed device, and overlay, the
//              container root
//   unknown    everything else (proc, sysfs, devtmpfs, ...)
// A path in the Windows form (a drive letter and colon, or two leading
// backslashes) lies on no mount: DRIVE_NO_ROOT_DIR.
#pragma once

#include <string>
#include <string_view>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

inline constexpr UINT DRIVE_UNKNOWN = 0;
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_REMOVABLE = 2;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT DRIVE_REMOTE = 4;
inline constexpr UINT DRIVE_CDROM = 5;
inline constexpr UINT DRIVE_RAMDISK = 6;

namespace qvp {

struct MountInfo {
  std::string mount_point;  // UTF-8, without trailing '/' except for "/"
  std::string fs_type;
  std::string source;
  unsigned major = 0, minor = 0;
};

// RealLocation is the absolute, symlink-free form of a (UTF-8) path: its
// deepest existing ancestor resolved, the missing rest appended as written.
// Empty when the current folder cannot be read.
QVP_API std::string RealLocation(const std::string& path);

// IsInsideFolder: the real location of `inner` is `outer` or lies below it.
QVP_API bool IsInsideFolder(const std::string& inner, const std::string& outer);

// IsWindowsFormPath: "X:" at the start, or two leading backslashes.
QVP_API bool IsWindowsFormPath(std::u16string_view path) noexcept;

// FindMount finds the mount a (UTF-8) path lies on; relative paths are taken
// from the current folder. False when the table cannot be read.
QVP_API bool FindMount(const std::string& path, MountInfo& out);

// ParseMountLine reads one line of /proc/self/mountinfo (octal escapes such
// as \040 decoded). False for a malformed line.
QVP_API bool ParseMountLine(std::string_view line, MountInfo& out);

// ClassifyMount gives the DRIVE_* type of a mount; `removable` is the block
// device's removable mark.
QVP_API UINT ClassifyMount(std::string_view fs_type, bool removable) noexcept;

// GetPathDriveType is the drive type of the mount that `path` lies on.
QVP_API UINT GetPathDriveType(const char16_t* path);

// MountPointOf returns the mount point (UTF-16) of `path`, empty when none.
QVP_API std::u16string MountPointOf(const char16_t* path);

}  // namespace qvp
