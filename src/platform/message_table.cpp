#include "qv_platform/message_table.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "qv_platform/module.h"
#include "qv_platform/system.h"
#include "qv_platform/unicode.h"

namespace {

constexpr LANGID kEn = LANGID_ENGLISH_US;
constexpr LANGID kZh = LANGID_CHINESE_SIMPLIFIED;

// The texts as the system gives them, trailing line break included.
constexpr QVP_MESSAGE_ENTRY kSystemEntries[] = {
    {0, kEn, u"The operation completed successfully.\r\n"},
    {0, kZh, u"操作成功完成。\r\n"},
    {1, kEn, u"Incorrect function.\r\n"},
    {1, kZh, u"函数不正确。\r\n"},
    {2, kEn, u"The system cannot find the file specified.\r\n"},
    {2, kZh, u"系统找不到指定的文件。\r\n"},
    {3, kEn, u"The system cannot find the path specified.\r\n"},
    {3, kZh, u"系统找不到指定的路径。\r\n"},
    {4, kEn, u"The system cannot open the file.\r\n"},
    {4, kZh, u"系统无法打开文件。\r\n"},
    {5, kEn, u"Access is denied.\r\n"},
    {5, kZh, u"拒绝访问。\r\n"},
    {6, kEn, u"The handle is invalid.\r\n"},
    {6, kZh, u"句柄无效。\r\n"},
    {8, kEn, u"Not enough memory resources are available to process this command.\r\n"},
    {8, kZh, u"存储空间不足，无法处理此命令。\r\n"},
    {13, kEn, u"The data is invalid.\r\n"},
    {13, kZh, u"数据无效。\r\n"},
    {14, kEn, u"Not enough memory resources are available to complete this operation.\r\n"},
    {14, kZh, u"存储空间不足，无法完成此操作。\r\n"},
    {15, kEn, u"The system cannot find the drive specified.\r\n"},
    {15, kZh, u"系统找不到指定的驱动器。\r\n"},
    {16, kEn, u"The directory cannot be removed.\r\n"},
    {16, kZh, u"无法删除目录。\r\n"},
    {17, kEn, u"The system cannot move the file to a different disk drive.\r\n"},
    {17, kZh, u"系统无法将文件移到不同的驱动器。\r\n"},
    {18, kEn, u"There are no more files.\r\n"},
    {18, kZh, u"没有更多文件。\r\n"},
    {19, kEn, u"The media is write protected.\r\n"},
    {19, kZh, u"介质受写入保护。\r\n"},
    {20, kEn, u"The system cannot find the device specified.\r\n"},
    {20, kZh, u"系统找不到指定的设备。\r\n"},
    {21, kEn, u"The device is not ready.\r\n"},
    {21, kZh, u"设备未就绪。\r\n"},
    {32, kEn, u"The process cannot access the file because it is being used by another process.\r\n"},
    {32, kZh, u"另一个程序正在使用此文件，进程无法访问。\r\n"},
    {33, kEn, u"The process cannot access the file because another process has locked a portion of the file.\r\n"},
    {33, kZh, u"另一个程序已锁定文件的一部分，进程无法访问。\r\n"},
    {38, kEn, u"Reached the end of the file.\r\n"},
    {38, kZh, u"已到文件结尾。\r\n"},
    {39, kEn, u"The disk is full.\r\n"},
    {39, kZh, u"磁盘已满。\r\n"},
    {50, kEn, u"The request is not supported.\r\n"},
    {50, kZh, u"不支持该请求。\r\n"},
    {53, kEn, u"The network path was not found.\r\n"},
    {53, kZh, u"找不到网络路径。\r\n"},
    {80, kEn, u"The file exists.\r\n"},
    {80, kZh, u"文件存在。\r\n"},
    {87, kEn, u"The parameter is incorrect.\r\n"},
    {87, kZh, u"参数错误。\r\n"},
    {112, kEn, u"There is not enough space on the disk.\r\n"},
    {112, kZh, u"磁盘空间不足。\r\n"},
    {122, kEn, u"The data area passed to a system call is too small.\r\n"},
    {122, kZh, u"传递给系统调用的数据区域太小。\r\n"},
    {123, kEn, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {123, kZh, u"文件名、目录名或卷标语法不正确。\r\n"},
    {126, kEn, u"The specified module could not be found.\r\n"},
    {126, kZh, u"找不到指定的模块。\r\n"},
    {127, kEn, u"The specified procedure could not be found.\r\n"},
    {127, kZh, u"找不到指定的程序。\r\n"},
    {145, kEn, u"The directory is not empty.\r\n"},
    {145, kZh, u"目录不是空的。\r\n"},
    {183, kEn, u"Cannot create a file when that file already exists.\r\n"},
    {183, kZh, u"当文件已存在时，无法创建该文件。\r\n"},
    {206, kEn, u"The filename or extension is too long.\r\n"},
    {206, kZh, u"文件名或扩展名太长。\r\n"},
    {267, kEn, u"The directory name is invalid.\r\n"},
    {267, kZh, u"目录名称无效。\r\n"},
    {995, kEn, u"The I/O operation has been aborted because of either a thread exit or an application request.\r\n"},
    {995, kZh, u"由于线程退出或应用程序请求，已中止 I/O 操作。\r\n"},
    {1113, kEn, u"No mapping for the Unicode character exists in the target multi-byte code page.\r\n"},
    {1113, kZh, u"在多字节的目标代码页中，没有此 Unicode 字符可以映射到的字符。\r\n"},
    {1223, kEn, u"The operation was canceled by the user.\r\n"},
    {1223, kZh, u"操作已被用户取消。\r\n"},
    {1235, kEn, u"The request was aborted.\r\n"},
    {1235, kZh, u"请求被中止。\r\n"},
};

constexpr QVP_MESSAGE_TABLE kSystemTable = {sizeof kSystemEntries / sizeof kSystemEntries[0], kSystemEntries};

// The languages to try, in order, for a requested language id.
std::vector<LANGID> LanguagesFor(DWORD language_id) {
  const LANGID system = qvp::SystemDefaultLanguage();
  switch (language_id) {
    case LANG_NEUTRAL_DEFAULT: return {system, LANGID_ENGLISH_US};
    case LANG_USER_DEFAULT:
    case LANG_SYSTEM_DEFAULT: return {system};
    default: return {static_cast<LANGID>(language_id)};
  }
}

enum class Lookup { Found, NoId, NoLanguage };

Lookup Find(const QVP_MESSAGE_TABLE& table, DWORD id, const std::vector<LANGID>& languages, const char16_t*& text) {
  bool id_seen = false;
  for (LANGID language : languages) {
    for (std::uint32_t i = 0; i < table.count; ++i) {
      const QVP_MESSAGE_ENTRY& e = table.entries[i];
      if (e.id != id) continue;
      id_seen = true;
      if (e.language == language && e.text) {
        text = e.text;
        return Lookup::Found;
      }
    }
  }
  return id_seen ? Lookup::NoLanguage : Lookup::NoId;
}

// Expands the escapes and inserts of a message text; false when an insert
// has no argument to take.
bool Expand(const char16_t* text, DWORD flags, const void* arguments, std::u16string& out) {
  const bool ignore_inserts = (flags & FORMAT_MESSAGE_IGNORE_INSERTS) != 0;
  const auto* args = static_cast<const char16_t* const*>(arguments);
  for (const char16_t* p = text; *p; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    const char16_t c = p[1];
    if (c == 0) break;
    if (c >= u'1' && c <= u'9') {
      const char16_t* start = p;
      int index = c - u'0';
      ++p;
      if (p[1] >= u'0' && p[1] <= u'9') index = index * 10 + (*++p - u'0');
      // An optional "!format!" follows; only string inserts are supported.
      if (p[1] == u'!') {
        const char16_t* close = p + 2;
        while (*close && *close != u'!') ++close;
        if (*close) p = close;
      }
      if (ignore_inserts) {
        out.append(start, static_cast<std::size_t>(p - start + 1));
      } else {
        if (!args) return false;
        const char16_t* value = args[index - 1];
        if (value) out += value;
      }
      continue;
    }
    ++p;
    switch (c) {
      case u'0': return true;
      case u'n': out += u"\r\n"; break;
      case u'r': out += u'\r'; break;
      case u't': out += u'\t'; break;
      case u'b': out += u' '; break;
      default: out += c; break;  // "%%", "%.", "%!" and anything else: the character itself
    }
  }
  return true;
}

const QVP_MESSAGE_TABLE* ModuleTable(LPCVOID module) {
  if (!module) return nullptr;
  return static_cast<const QVP_MESSAGE_TABLE*>(::dlsym(const_cast<void*>(module), "qvp_message_table"));
}

std::string PlatformFolder() {
  Dl_info info{};
  if (!::dladdr(reinterpret_cast<const void*>(&PlatformFolder), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

namespace qvp {
LANGID SystemDefaultLanguage() noexcept { return LANGID_ENGLISH_US; }
}  // namespace qvp

DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD message_id, DWORD language_id, char16_t* buffer, DWORD size,
                     const void* arguments) {
  if (!buffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char16_t* text = nullptr;
  if (flags & FORMAT_MESSAGE_FROM_STRING) {
    text = static_cast<const char16_t*>(source);
    if (!text) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
  } else {
    const std::vector<LANGID> languages = LanguagesFor(language_id);
    Lookup result = Lookup::NoId;
    if (flags & FORMAT_MESSAGE_FROM_HMODULE) {
      if (const QVP_MESSAGE_TABLE* table = ModuleTable(source)) result = Find(*table, message_id, languages, text);
    }
    if (result != Lookup::Found && (flags & FORMAT_MESSAGE_FROM_SYSTEM)) {
      const Lookup system = Find(kSystemTable, message_id, languages, text);
      if (system != Lookup::NoId) result = system;
    }
    if (!(flags & (FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_FROM_SYSTEM))) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (result != Lookup::Found) {
      SetLastError(result == Lookup::NoLanguage ? ERROR_RESOURCE_LANG_NOT_FOUND : ERROR_MR_MID_NOT_FOUND);
      return 0;
    }
  }

  std::u16string out;
  if (!Expand(text, flags, arguments, out)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const DWORD length = static_cast<DWORD>(out.size());
  if (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const std::size_t units = std::max<std::size_t>(out.size() + 1, size);
    auto* allocated = static_cast<char16_t*>(std::calloc(units, sizeof(char16_t)));
    if (!allocated) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return 0;
    }
    std::memcpy(allocated, out.data(), out.size() * sizeof(char16_t));
    *reinterpret_cast<char16_t**>(buffer) = allocated;
    return length;
  }
  if (size <= length) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(buffer, out.data(), out.size() * sizeof(char16_t));
  buffer[length] = 0;
  return length;
}

HLOCAL LocalFree(HLOCAL memory) {
  std::free(memory);
  return nullptr;
}

HMODULE LoadLibraryExW(const char16_t* name, HANDLE /*file*/, DWORD flags) {
  if (!name || !*name) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (flags & (LOAD_LIBRARY_AS_DATAFILE | DONT_RESOLVE_DLL_REFERENCES)) {
    const std::string file = qvp::SharedObjectName(qvp::Utf16ToUtf8(name));
    if (file.find('/') == std::string::npos) {
      const std::string system_folder = PlatformFolder();
      if (!system_folder.empty()) {
        const std::string candidate = system_folder + "/" + file;
        if (::access(candidate.c_str(), F_OK) == 0) {
          if (void* h = ::dlopen(candidate.c_str(), RTLD_LAZY | RTLD_LOCAL)) return h;
        }
      }
    }
  }
  return LoadLibraryW(name);
}
