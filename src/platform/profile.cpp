// The INI engine behind the private-profile functions.
//
// A file is kept as its list of lines, each with its original bytes and line
// terminator, so that a write changes exactly the line it is about (or adds
// one) and every other byte of the file stays as it was: comments, blank
// lines, odd lines and bytes that do not decode in the code page included.
//
// The rules are Windows' own, as recorded from its profile functions
// (tests/data/winprobes/profile.tsv):
// - Encoding: the process's ANSI code page, or UTF-16 for a file that starts
//   with a UTF-16 byte-order mark (little or big endian; written back the
//   same way). A UTF-8 mark is no mark to Windows: its bytes are text of the
//   first line in the ANSI code page.
// - Lines end at CR LF, LF or a CR alone. A Ctrl-Z (0x1A) ends the file's
//   text; bytes after it are kept as they are on a write. A NUL ends a value.
// - A section header is a line starting (after blanks) with '[' and holding
//   a ']': the name is what stands between the '[' and the last ']', without
//   surrounding blanks. "[S" is no header. Keys above the first header form
//   the section with the empty name.
// - The profile functions know no comments: ";k=v" is the key ";k" (only the
//   key lists leave such names out, and empty ones). A line without '=' is no
//   key. "=v" is a key with the empty name.
// - Quotes: a value whose first and last characters are the same quote (' or
//   "), after trimming, loses that one pair on read. Nothing is added on
//   write, so a value with its own surrounding quotes must be written with an
//   extra pair to read back unchanged.
// - Names are compared case-insensitively in ASCII; other letters must match
//   exactly.
// - A write stores names and values as given (line breaks, '=' in a key and
//   ']' in a section name included), less the leading blanks of each (the
//   trailing ones stay). A new key goes after the last key line of its
//   section; a new section goes right after the file's last line. The first
//   section of a given name counts; later duplicates are ignored, as is a
//   later duplicate key.
// - The file is edited in place: every line but the one written keeps its
//   bytes. (Wine rewrites the whole file instead, losing blank lines and
//   spacing; the recording's one case of that, a blank last line, follows
//   Windows here.)
// - A relative file name is relative to the current directory. A symbolic
//   link is followed, so the link stays and its target is replaced. Writing
//   needs a writable folder (for the temporary and the lock file), not only a
//   writable file.
//
// Cross-process safety: reads take no lock, because a writer never changes
// the file in place: it writes the new content to a temporary file in the
// same folder, flushes it to disk and renames it over the original, so a
// reader sees either the old or the new file, whole. Writers serialise on an
// exclusive flock() of the companion file "<file>.lock" (left in place:
// removing it would race with a writer that has just opened it), so two
// processes or threads changing different keys at the same moment both land.
// A temporary left behind by a writer that died is removed by the next write.
#include "qv_platform/profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "qv_platform/codepage.h"
#include "qv_platform/file_content.h"
#include "qv_platform/fileio.h"
#include "qv_platform/paths.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace {

// Larger files are refused: an INI file of this size is a mistake, and
// refusing is better than exhausting memory on every read.
constexpr std::size_t kMaxFileBytes = 64u * 1024u * 1024u;
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

bool IsBlank(char16_t ch) { return ch == u' ' || ch == u'\t' || ch == u'\v' || ch == u'\f' || ch == u'\r'; }

std::u16string_view TrimBlanks(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char16_t FoldAscii(char16_t ch) { return (ch >= u'A' && ch <= u'Z') ? static_cast<char16_t>(ch + 32) : ch; }

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

enum class Kind { kBlank, kSection, kEntry, kOther };

struct Line {
  std::string raw;  // the line's bytes without its terminator
  std::string_view eol;  // "\r\n", "\n", "\r" or "" (last line without one): static text
  Kind kind = Kind::kBlank;
  std::u16string name;        // section name or key, trimmed
  std::size_t value_pos = 0;  // an entry's trimmed value: raw.substr(value_pos, value_len)
  std::size_t value_len = 0;
};

enum class Encoding { kAnsi, kUtf16Le, kUtf16Be };

struct Document {
  // A UTF-16 file's lines are held in UTF-8, whose structure bytes are the
  // ASCII ones as in the ANSI code pages.
  Encoding encoding = Encoding::kAnsi;
  std::vector<Line> lines;
  std::string tail;  // from a Ctrl-Z on: not text, kept as it is

  UINT CodePage() const { return encoding == Encoding::kAnsi ? CP_ACP : CP_UTF8; }
};

bool IsAscii(std::string_view bytes) {
  for (unsigned char c : bytes) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Decode reads one line's bytes; ASCII (most lines) needs no code page and
// skips opening a converter per line.
std::u16string Decode(std::string_view bytes, UINT code_page) {
  if (IsAscii(bytes)) return std::u16string(bytes.begin(), bytes.end());
  return code_page == CP_UTF8 ? qvp::Utf8ToUtf16(bytes) : qvp::ToWide(bytes, code_page);
}

std::string_view TrimBlankBytes(std::string_view s) {
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && IsBlank(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// Classify finds the line's structure in its bytes. The blanks and '=' are
// below 0x40, so in every supported code page they never occur inside a
// multibyte character; ']' can (as a GBK trail byte), so a section header is
// decoded before it is searched. Values are decoded only when read.
void Classify(Line& line, UINT code_page) {
  const std::string_view t = TrimBlankBytes(line.raw);
  line.name.clear();
  line.value_pos = line.value_len = 0;
  if (t.empty()) {
    line.kind = Kind::kBlank;
    return;
  }
  if (t.front() == '[') {
    const std::u16string inner = Decode(t.substr(1), code_page);
    if (const std::size_t close = inner.rfind(u']'); close != std::u16string::npos) {
      line.kind = Kind::kSection;
      line.name = TrimBlanks(std::u16string_view(inner).substr(0, close));
      return;
    }
  }
  if (const std::size_t eq = t.find('='); eq != std::string_view::npos) {
    line.kind = Kind::kEntry;
    line.name = Decode(TrimBlankBytes(t.substr(0, eq)), code_page);
    const std::string_view value = TrimBlankBytes(t.substr(eq + 1));
    line.value_pos = static_cast<std::size_t>(value.data() - line.raw.data());
    line.value_len = value.size();
  } else {
    line.kind = Kind::kOther;
  }
}

// ValueOf is an entry's value as read: up to a NUL, trimmed.
std::u16string ValueOf(const Document& doc, const Line& line) {
  std::string_view value = std::string_view(line.raw).substr(line.value_pos, line.value_len);
  if (const std::size_t nul = value.find('\0'); nul != std::string_view::npos) {
    value = TrimBlankBytes(value.substr(0, nul));
  }
  return Decode(value, doc.CodePage());
}

std::u16string Utf16Units(std::string_view bytes, bool big_endian) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    const auto a = static_cast<unsigned char>(bytes[2 * i]), b = static_cast<unsigned char>(bytes[2 * i + 1]);
    units[i] = static_cast<char16_t>(big_endian ? (a << 8 | b) : (b << 8 | a));
  }
  return units;
}

std::string Utf16Bytes(std::u16string_view units, bool big_endian) {
  std::string bytes;
  bytes.reserve(units.size() * 2);
  for (char16_t u : units) {
    const char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    bytes += big_endian ? hi : lo;
    bytes += big_endian ? lo : hi;
  }
  return bytes;
}

Document Parse(std::string_view file) {
  Document doc;
  std::string text;
  if (file.substr(0, 2) == kUtf16LeBom || file.substr(0, 2) == kUtf16BeBom) {
    const bool big_endian = file.substr(0, 2) == kUtf16BeBom;
    doc.encoding = big_endian ? Encoding::kUtf16Be : Encoding::kUtf16Le;
    std::u16string units = Utf16Units(file.substr(2), big_endian);
    if (const std::size_t eof = units.find(u'\x1A'); eof != std::u16string::npos) {
      doc.tail = Utf16Bytes(std::u16string_view(units).substr(eof), big_endian);
      units.resize(eof);
    }
    if (file.size() % 2 != 0) doc.tail += file.back();  // half a unit: kept, not text
    text = qvp::Utf16ToUtf8(units);
  } else {
    // 0x1A is below every trail byte, so it is never part of a character.
    const std::size_t eof = file.find('\x1A');
    if (eof != std::string_view::npos) doc.tail = file.substr(eof);
    text = file.substr(0, eof);
  }
  // Splitting on the bytes CR and LF is safe in every supported code page:
  // no trail byte of a double-byte character is 0x0A or 0x0D.
  const std::string_view bytes = text;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t end = bytes.find_first_of("\r\n", pos);
    Line line{};
    if (end == std::string_view::npos) {
      line.raw = bytes.substr(pos);
      pos = bytes.size();
    } else {
      line.raw = bytes.substr(pos, end - pos);
      if (bytes[end] == '\n') {
        line.eol = "\n";
        pos = end + 1;
      } else if (end + 1 < bytes.size() && bytes[end + 1] == '\n') {
        line.eol = "\r\n";
        pos = end + 2;
      } else {
        line.eol = "\r";
        pos = end + 1;
      }
    }
    Classify(line, doc.CodePage());
    doc.lines.push_back(std::move(line));
  }
  return doc;
}

std::string Serialise(const Document& doc) {
  std::string text;
  for (const Line& line : doc.lines) {
    text += line.raw;
    text += line.eol;
  }
  if (doc.encoding == Encoding::kAnsi) return text + doc.tail;
  const bool big_endian = doc.encoding == Encoding::kUtf16Be;
  return std::string(big_endian ? kUtf16BeBom : kUtf16LeBom) + Utf16Bytes(qvp::Utf8ToUtf16(text), big_endian) +
         doc.tail;
}

Line MakeLine(const Document& doc, const std::u16string& text) {
  Line line;
  line.raw = doc.CodePage() == CP_UTF8 ? qvp::Utf16ToUtf8(text) : qvp::FromWide(text, CP_ACP);
  line.eol = "\r\n";
  Classify(line, doc.CodePage());
  return line;
}

// The lines [begin, end) of a section: its header is lines[begin - 1].
struct Range {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool found = false;
};

Range FindSection(const Document& doc, std::u16string_view section) {
  Range r;
  if (section.empty()) {  // the keys above the first header
    r.found = true;
    while (r.end < doc.lines.size() && doc.lines[r.end].kind != Kind::kSection) ++r.end;
    return r;
  }
  for (std::size_t i = 0; i < doc.lines.size(); ++i) {
    if (doc.lines[i].kind == Kind::kSection && SameName(doc.lines[i].name, section)) {
      r.found = true;
      r.begin = i + 1;
      r.end = r.begin;
      while (r.end < doc.lines.size() && doc.lines[r.end].kind != Kind::kSection) ++r.end;
      return r;
    }
  }
  return r;
}

std::size_t FindKey(const Document& doc, const Range& r, std::u16string_view key) {
  for (std::size_t i = r.begin; i < r.end; ++i) {
    if (doc.lines[i].kind == Kind::kEntry && SameName(doc.lines[i].name, key)) return i;
  }
  return SIZE_MAX;
}

std::u16string StripQuotes(std::u16string value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// ---- Files -------------------------------------------------------------------

std::string NativePath(const char16_t* file_name) { return qvp::Utf16ToUtf8(file_name); }

enum class Load { kOk, kMissing, kFailed };

// LoadFile reads the whole file; on kFailed the last error is set.
Load LoadFile(const std::string& path, std::string& bytes, struct stat* info = nullptr) {
  const int err = qvp::ReadWholeFile(path, bytes, kMaxFileBytes);
  if (err == ENOENT) return Load::kMissing;
  if (err != 0) {
    // Anything but a regular file of a sane size is refused.
    SetLastError(err == EISDIR ? ERROR_ACCESS_DENIED
                 : err == EINVAL || err == EFBIG ? ERROR_INVALID_PARAMETER
                                                 : qvp::ErrnoToWin32(err));
    return Load::kFailed;
  }
  if (info && qvp::Ops().stat(path.c_str(), info) != 0) *info = {};
  return Load::kOk;
}

// The file a write replaces: a symbolic link is followed so that the link
// survives the rename.
std::string WriteTarget(const std::string& path) {
  struct stat st {};
  if (qvp::Ops().lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      std::string resolved(real);
      std::free(real);
      return resolved;
    }
  }
  return path;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// RemoveStaleTemporaries deletes temporaries of `path` left by a writer that
// died before its rename. Temporaries are made only under the writers' lock,
// so while the caller holds it every one that exists is stale.
void RemoveStaleTemporaries(const std::string& path) {
  const std::string folder = FolderOf(path);
  const std::size_t slash = path.rfind('/');
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".tmp";
  const qvp::FileOps& ops = qvp::Ops();
  DIR* dir = ops.opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ops.readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
    const std::string_view rest = name.substr(prefix.size());  // "<pid>.<counter>"
    if (rest.find_first_not_of("0123456789.") != std::string_view::npos) continue;
    ops.unlink(qvp::paths::Join(folder, name).c_str());
  }
  ops.closedir(dir);
}

// ReplaceFile puts `bytes` in place of `path` atomically; `mode` is the old
// file's permission bits, or 0 for a new file (the umask then applies).
bool ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode) {
  static std::atomic<unsigned> counter{0};
  const qvp::FileOps& ops = qvp::Ops();
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = path + ".tmp" + std::to_string(::getpid()) + "." + std::to_string(counter.fetch_add(1));
    fd = ops.open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    SetLastError(qvp::ErrnoToWin32(errno));
    return false;
  }
  int err = qvp::WriteAll(fd, bytes);
  if (err == 0 && mode != 0 && ops.chmod(temp.c_str(), mode) != 0) err = errno ? errno : EIO;
  if (err == 0 && ops.fsync(fd) != 0) err = errno ? errno : EIO;
  if (ops.close(fd) != 0 && err == 0) err = errno;
  if (err == 0 && ops.rename(temp.c_str(), path.c_str()) != 0) err = errno;
  if (err != 0) {
    ops.unlink(temp.c_str());
    SetLastError(qvp::ErrnoToWin32(err));
    return false;
  }
  // Make the rename itself durable; a failure here does not undo the write.
  const int dir = ops.open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (dir >= 0) {
    ops.fsync(dir);
    ops.close(dir);
  }
  return true;
}

// Holds the writers' lock of one INI file for its lifetime.
class WriterLock {
 public:
  explicit WriterLock(const std::string& path) {
    fd_ = qvp::Ops().open((path + ".lock").c_str(), O_RDWR | O_CREAT, 0666);
    if (fd_ < 0) {
      // Creating a file fails with ENOENT only when its folder is missing.
      error_ = errno == ENOENT ? ERROR_PATH_NOT_FOUND : qvp::ErrnoToWin32(errno);
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0) {
      if (errno == EINTR) continue;
      error_ = qvp::ErrnoToWin32(errno);
      qvp::Ops().close(fd_);
      fd_ = -1;
      return;
    }
  }
  ~WriterLock() {
    if (fd_ >= 0) qvp::Ops().close(fd_);  // closing releases the lock
  }
  WriterLock(const WriterLock&) = delete;
  WriterLock& operator=(const WriterLock&) = delete;

  bool ok() const { return fd_ >= 0; }
  DWORD error() const { return error_; }

 private:
  int fd_ = -1;
  DWORD error_ = ERROR_SUCCESS;
};

std::u16string_view TrimLeadingBlanks(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  return s;
}

// Listed names: the key lists leave out empty names and names starting
// with ';'.
bool Listed(std::u16string_view name) { return !name.empty() && name.front() != u';'; }

// ---- Buffers -------------------------------------------------------------------

// CopyText copies as much of `text` as fits with its NUL: size - 1 units at
// most.
DWORD CopyText(std::u16string_view text, char16_t* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  text.copy(buffer, n);
  buffer[n] = 0;
  return static_cast<DWORD>(n);
}

// CopyList copies NUL-terminated names followed by a final NUL. When they do
// not fit, the buffer is filled and ends with two NULs, and the result is
// size - 2, as on Windows.
DWORD CopyList(const std::vector<std::u16string>& names, char16_t* buffer, DWORD size) {
  if (!buffer || size == 0) return 0;
  std::u16string joined;
  for (const auto& n : names) {
    joined += n;
    joined += u'\0';
  }
  if (joined.size() + 1 <= size) {
    joined.copy(buffer, joined.size());
    buffer[joined.size()] = 0;
    return static_cast<DWORD>(joined.size());
  }
  if (size == 1) {
    buffer[0] = 0;
    return 0;
  }
  joined.copy(buffer, size - 2);
  buffer[size - 2] = 0;
  buffer[size - 1] = 0;
  return size - 2;
}

}  // namespace

DWORD GetPrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* default_value,
                               char16_t* buffer, DWORD size, const char16_t* file_name) {
  // Windows drops trailing blanks of the default.
  std::u16string_view fallback = default_value ? std::u16string_view(default_value) : std::u16string_view();
  while (!fallback.empty() && IsBlank(fallback.back())) fallback.remove_suffix(1);

  std::string bytes;
  Load load = Load::kMissing;
  if (file_name && *file_name) load = LoadFile(NativePath(file_name), bytes);
  if (load == Load::kFailed) return CopyText(fallback, buffer, size);  // error already set
  const Document doc = Parse(bytes);

  if (!section) {
    std::vector<std::u16string> names;
    for (const Line& line : doc.lines) {
      if (line.kind == Kind::kSection && Listed(line.name)) names.push_back(line.name);
    }
    SetLastError(load == Load::kOk ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return CopyList(names, buffer, size);
  }
  const Range range = FindSection(doc, TrimBlanks(section));
  if (!key && !range.found) {  // the key list of a missing section is the default
    SetLastError(load == Load::kOk ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return CopyText(fallback, buffer, size);
  }
  if (!key) {
    std::vector<std::u16string> keys;
    for (std::size_t i = range.begin; i < range.end; ++i) {
      if (doc.lines[i].kind == Kind::kEntry && Listed(doc.lines[i].name)) keys.push_back(doc.lines[i].name);
    }
    SetLastError(load == Load::kOk ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return CopyList(keys, buffer, size);
  }
  const std::size_t at = range.found ? FindKey(doc, range, TrimBlanks(key)) : SIZE_MAX;
  if (at == SIZE_MAX) {
    SetLastError(load == Load::kOk ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND);
    return CopyText(fallback, buffer, size);
  }
  SetLastError(ERROR_SUCCESS);
  return CopyText(StripQuotes(ValueOf(doc, doc.lines[at])), buffer, size);
}

BOOL WritePrivateProfileStringW(const char16_t* section, const char16_t* key, const char16_t* value,
                                const char16_t* file_name) {
  if (!file_name || !*file_name || !section) {
    // All three null only asks Windows to flush its cache (nothing is cached
    // here); Windows reports FALSE for it.
    if (file_name && !section && !key && !value) return FALSE;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // Names are found without surrounding blanks and stored without leading
  // ones, as is the value; everything else is stored as given.
  const std::u16string_view sec = TrimBlanks(section);
  const std::u16string_view k = key ? TrimBlanks(key) : std::u16string_view();
  const std::u16string_view new_sec = TrimLeadingBlanks(section);
  const std::u16string_view new_k = key ? TrimLeadingBlanks(key) : std::u16string_view();
  const std::u16string_view v = value ? TrimLeadingBlanks(value) : std::u16string_view();

  const std::string path = WriteTarget(NativePath(file_name));
  if (struct stat st {}; qvp::Ops().stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);  // a folder or device is no INI file; leave no lock file beside it
    return FALSE;
  }
  WriterLock lock(path);
  if (!lock.ok()) {
    SetLastError(lock.error());
    return FALSE;
  }
  std::string bytes;
  struct stat info {};
  const Load load = LoadFile(path, bytes, &info);
  if (load == Load::kFailed) return FALSE;
  // The rename would replace a file that may not be written: a read-only file
  // (no write bit at all, which holds even for root) keeps its content.
  if (load == Load::kOk && ((info.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  Document doc = Parse(bytes);

  const Range range = FindSection(doc, sec);
  if (!key) {  // delete the section with everything under it
    if (!range.found) return TRUE;
    // The section of the keys above the first header has no header line.
    doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(sec.empty() ? 0 : range.begin - 1),
                    doc.lines.begin() + static_cast<std::ptrdiff_t>(range.end));
  } else if (!value) {  // delete the key
    const std::size_t at = range.found ? FindKey(doc, range, k) : SIZE_MAX;
    if (at == SIZE_MAX) return TRUE;
    doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(at));
  } else if (const std::size_t at = range.found ? FindKey(doc, range, k) : SIZE_MAX; at != SIZE_MAX) {
    // Keep the key as the file spells it and the line's own terminator.
    Line line = MakeLine(doc, doc.lines[at].name + u"=" + std::u16string(v));
    line.eol = doc.lines[at].eol;
    if (line.raw == doc.lines[at].raw) return TRUE;
    doc.lines[at] = std::move(line);
  } else {
    const std::u16string entry = std::u16string(new_k) + u"=" + std::u16string(v);
    if (range.found) {
      std::size_t insert = range.begin;  // after the last key line of the section
      for (std::size_t i = range.begin; i < range.end; ++i) {
        if (doc.lines[i].kind == Kind::kEntry || doc.lines[i].kind == Kind::kOther) insert = i + 1;
      }
      if (insert > 0 && doc.lines[insert - 1].eol.empty()) doc.lines[insert - 1].eol = "\r\n";
      doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insert), MakeLine(doc, entry));
    } else {
      if (!doc.lines.empty() && doc.lines.back().eol.empty()) doc.lines.back().eol = "\r\n";
      doc.lines.push_back(MakeLine(doc, u"[" + std::u16string(new_sec) + u"]"));
      doc.lines.push_back(MakeLine(doc, entry));
    }
  }
  RemoveStaleTemporaries(path);
  if (!ReplaceFile(path, Serialise(doc), load == Load::kOk ? (info.st_mode & 07777) : 0)) return FALSE;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

UINT GetPrivateProfileIntW(const char16_t* section, const char16_t* key, int default_value,
                           const char16_t* file_name) {
  char16_t buffer[64] = {};
  const DWORD n = GetPrivateProfileStringW(section, key, nullptr, buffer, 64, file_name);
  if (n == 0) return static_cast<UINT>(default_value);
  // Leading decimal digits after an optional sign; a negative value reads
  // as 0, as on Windows.
  std::u16string_view t = TrimBlanks(std::u16string_view(buffer, n));
  bool negative = false;
  if (!t.empty() && (t.front() == u'+' || t.front() == u'-')) {
    negative = t.front() == u'-';
    t.remove_prefix(1);
  }
  unsigned long long total = 0;
  for (char16_t ch : t) {
    if (ch < u'0' || ch > u'9') break;
    total = total * 10 + static_cast<unsigned>(ch - u'0');
    if (total > UINT_MAX) total = UINT_MAX;
  }
  return negative ? 0u : static_cast<UINT>(total);
}
