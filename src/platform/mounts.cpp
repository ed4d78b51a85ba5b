#include "qv_platform/mounts.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <sstream>
#include <vector>

#include "qv_platform/unicode.h"

namespace qvp {
namespace {

std::string Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] >= '0' && s[i + 1] <= '3' && s[i + 2] >= '0' &&
        s[i + 2] <= '7' && s[i + 3] >= '0' && s[i + 3] <= '7') {
      out += static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0'));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

}  // namespace

std::string RealLocation(const std::string& path) {
  std::string abs = path;
  if (abs.empty() || abs[0] != '/') {
    char cwd[PATH_MAX];
    if (!::getcwd(cwd, sizeof cwd)) return {};
    abs = std::string(cwd) + "/" + abs;
  }
  std::string head = abs, tail;
  for (;;) {
    char resolved[PATH_MAX];
    if (::realpath(head.c_str(), resolved)) {
      std::string r = resolved;
      if (!tail.empty()) r += (r == "/" ? "" : "/") + tail;
      return r;
    }
    const auto slash = head.find_last_of('/');
    if (slash == std::string::npos || head == "/") return abs;
    const std::string last = head.substr(slash + 1);
    tail = tail.empty() ? last : last + "/" + tail;
    head = slash == 0 ? "/" : head.substr(0, slash);
  }
}

bool IsInsideFolder(const std::string& inner, const std::string& outer) {
  const std::string in = RealLocation(inner), out = RealLocation(outer);
  if (in.empty() || out.empty()) return false;
  if (out == "/") return true;
  return in.compare(0, out.size(), out) == 0 && (in.size() == out.size() || in[out.size()] == '/');
}

namespace {

bool IsUnder(const std::string& path, const std::string& mount) {
  if (mount == "/") return true;
  return path.compare(0, mount.size(), mount) == 0 && (path.size() == mount.size() || path[mount.size()] == '/');
}

bool ReadFlag(const std::string& file) {
  std::ifstream in(file);
  int v = 0;
  return (in >> v) && v != 0;
}

bool IsRemovableDevice(unsigned major, unsigned minor) {
  if (major == 0) return false;  // no block device behind it
  char link[PATH_MAX];
  const std::string sys = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  if (!::realpath(sys.c_str(), link)) return false;
  const std::string dev = link;
  struct stat st {};
  if (::stat((dev + "/removable").c_str(), &st) == 0) return ReadFlag(dev + "/removable");
  // A partition: the mark is on its disk, one level up.
  const auto slash = dev.find_last_of('/');
  return slash != std::string::npos && ReadFlag(dev.substr(0, slash) + "/removable");
}

}  // namespace

bool IsWindowsFormPath(std::u16string_view p) noexcept {
  if (p.size() >= 2 && p[1] == u':' && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z')))
    return true;
  return p.size() >= 2 && p[0] == u'\\' && p[1] == u'\\';
}

bool ParseMountLine(std::string_view line, MountInfo& out) {
  // id parent major:minor root mount-point options [optional...] - type source super-options
  std::istringstream in{std::string(line)};
  std::string id, parent, devno, root, point, options, field;
  if (!(in >> id >> parent >> devno >> root >> point >> options)) return false;
  while (in >> field && field != "-") {}
  if (field != "-") return false;
  std::string type, source;
  if (!(in >> type)) return false;
  in >> source;
  const auto colon = devno.find(':');
  if (colon == std::string::npos) return false;
  try {
    out.major = static_cast<unsigned>(std::stoul(devno.substr(0, colon)));
    out.minor = static_cast<unsigned>(std::stoul(devno.substr(colon + 1)));
  } catch (...) {
    return false;
  }
  out.mount_point = Unescape(point);
  out.fs_type = type;
  out.source = Unescape(source);
  return true;
}

UINT ClassifyMount(std::string_view t, bool removable) noexcept {
  static constexpr std::array<std::string_view, 12> kNetwork = {
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "ceph", "afs", "ncpfs", "fuse.sshfs", "sshfs", "fuse.glusterfs"};
  static constexpr std::array<std::string_view, 16> kDisk = {
      "ext2", "ext3", "ext4", "xfs", "btrfs", "f2fs", "jfs", "reiserfs", "zfs", "ntfs",
      "ntfs3", "vfat", "exfat", "hfsplus", "fuseblk", "bcachefs"};
  for (auto n : kNetwork)
    if (t == n) return DRIVE_REMOTE;
  if (t.starts_with("fuse.") && (t.find("sshfs") != std::string_view::npos || t.find("smb") != std::string_view::npos))
    return DRIVE_REMOTE;
  if (t == "tmpfs" || t == "ramfs") return DRIVE_RAMDISK;
  if (t == "iso9660" || t == "udf") return DRIVE_CDROM;
  if (t == "overlay") return DRIVE_FIXED;
  for (auto n : kDisk)
    if (t == n) return removable ? DRIVE_REMOVABLE : DRIVE_FIXED;
  return DRIVE_UNKNOWN;
}

bool FindMount(const std::string& path, MountInfo& out) {
  const std::string where = RealLocation(path);
  if (where.empty()) return false;
  std::ifstream in("/proc/self/mountinfo");
  if (!in) return false;
  bool found = false;
  std::string line;
  while (std::getline(in, line)) {
    MountInfo m;
    if (!ParseMountLine(line, m) || !IsUnder(where, m.mount_point)) continue;
    // The longest mount point wins; of equal ones the later (the top of a
    // stack of mounts on one point) wins.
    if (!found || m.mount_point.size() >= out.mount_point.size()) {
      out = m;
      found = true;
    }
  }
  return found;
}

UINT GetPathDriveType(const char16_t* path) {
  if (!path || !*path || IsWindowsFormPath(path)) return DRIVE_NO_ROOT_DIR;
  MountInfo m;
  if (!FindMount(Utf16ToUtf8(path), m)) return DRIVE_UNKNOWN;
  return ClassifyMount(m.fs_type, IsRemovableDevice(m.major, m.minor));
}

std::u16string MountPointOf(const char16_t* path) {
  if (!path || !*path || IsWindowsFormPath(path)) return {};
  MountInfo m;
  if (!FindMount(Utf16ToUtf8(path), m)) return {};
  return Utf8ToUtf16(m.mount_point);
}

}  // namespace qvp
