// The configuration store: "DazazuraVada.ini" beside this library.
//
// Nothing but the path is kept: every read and write goes to the file, so a
// value written by another process is seen by the next read. The INI engine
// of the platform layer makes each write atomic and serialises writers across
// processes, so the store takes no lock of its own.
//
// The file sits beside the library. On a system installation that folder is
// not writable by ordinary users, so QV_SETTINGS_DIR, when set and not empty,
// names another folder for it: a user can point a client at settings of its
// own. The variable is read once per process, so a client's settings cannot
// move under it while it runs. Tests use keys and sections of their own in
// the file beside the library they load.
#include <atomic>
#include <climits>
#include <cstdlib>
#include <new>

#include "diagnostics/library_state.h"
#include "qv_commonclass/diagnostics.h"
#include "qv_platform/crt.h"
#include "qv_platform/module.h"
#include "qv_platform/profile.h"

namespace qv_commonclass {

namespace {

std::atomic<CQVConfigureManage*> g_instance{nullptr};

constexpr DWORD kValueBufferSize = 1024;

bool IsEmptyText(const char16_t* s) { return s == nullptr || *s == 0; }

}  // namespace

namespace detail {

namespace {

// SettingsFolderOverride is QV_SETTINGS_DIR as the process first saw it,
// without trailing '/' (the root folder stays "/"); empty when unset. A
// relative folder is taken from the current folder of that moment, so a later
// change of the current folder does not move the settings.
const CString& SettingsFolderOverride() {
  static const CString folder = [] {
    const char* env = std::getenv("QV_SETTINGS_DIR");
    CString f = env ? CString::FromUtf8(env) : CString();
    if (!f.IsEmpty() && f[0] != u'/') {
      char16_t cwd[4096] = {};
      const DWORD n = GetCurrentDirectoryW(4096, cwd);
      if (n > 0 && n < 4096) {
        CString absolute(cwd, static_cast<int>(n));
        absolute += u"/";
        absolute += f;
        f = absolute;
      }
    }
    while (f.GetLength() > 1 && f[f.GetLength() - 1] == u'/') f = f.Left(f.GetLength() - 1);
    return f;
  }();
  return folder;
}

}  // namespace

CString SettingsFile(const CString& default_folder, const char16_t* name) {
  // Should the default folder be unknown, the name alone is used (the
  // current directory) rather than a path in the root folder.
  CString folder = SettingsFolderOverride();
  if (folder.IsEmpty()) folder = default_folder;
  if (!folder.IsEmpty() && folder != u"/") folder += u"/";
  CString path;
  path.Format(u"%s%s", folder.GetString(), name ? name : u"");
  return path;
}

}  // namespace detail

CQVConfigureManage::CQVConfigureManage() { SetIniFileName(u"DazazuraVada.ini"); }

CQVConfigureManage* CQVConfigureManage::instance() {
  if (!detail::CreateUnderProcessLock(g_instance, [] { return new CQVConfigureManage; })) {
    QV_Trace0Ex2(u"ZORerer", u"CQVConfigureManage::instance", kTraceLevelSingleton, 11005001,
                 u"创建CQVConfigureManage的实例出现异常");
  }
  return g_instance.load(std::memory_order_acquire);
}

void CQVConfigureManage::DestroyInstance() { delete g_instance.exchange(nullptr, std::memory_order_acq_rel); }

void CQVConfigureManage::SetIniFileName(const char16_t* name) {
  path_ = detail::SettingsFile(detail::LibraryFolder(), name);
}

CString CQVConfigureManage::ReadString(const char16_t* section, const char16_t* key, const char16_t* default_value,
                                       const char16_t* comment, int write_default) {
  char16_t buffer[kValueBufferSize] = {};
  const DWORD n = GetPrivateProfileStringW(section, key, u"", buffer, kValueBufferSize, path_);
  CString value;
  if (n > 0) {
    value = CString(buffer, static_cast<int>(n));
    const int semicolon = value.Find(u';');
    if (semicolon >= 0) value = value.Left(semicolon);
  } else if (!IsEmptyText(default_value)) {
    value = default_value;
    if (write_default != 0) WriteString(section, key, default_value, comment);
  }
  value.Trim();
  return value;
}

int CQVConfigureManage::ReadInt(const char16_t* section, const char16_t* key, int default_value,
                                const char16_t* comment, int write_default) {
  CString text;
  text.Format(u"%d", default_value);
  return _wtoi(ReadString(section, key, text, comment, write_default).GetString());
}

int CQVConfigureManage::WriteString(const char16_t* section, const char16_t* key, const char16_t* value,
                                    const char16_t* comment) {
  CString line;
  if (!IsEmptyText(value)) line = value;
  if (!IsEmptyText(comment)) line.AppendFormat(u"\t\t;%s", comment);
  // A refused write (read-only folder) is deliberately not reported.
  if (!line.IsEmpty()) WritePrivateProfileStringW(section, key, line, path_);
  return 1;
}

int CQVConfigureManage::WriteInt(const char16_t* section, const char16_t* key, int value, const char16_t* comment) {
  CString text;
  text.Format(u"%d", value);
  WriteString(section, key, text, comment);
  return 0;
}

// When the store could not be created (already traced), the exported
// operations answer as for a missing file that cannot be written: reads give
// the default, writes their fixed results.

CString QVReadConfigParamValue(const char16_t* section, const char16_t* key, const char16_t* default_value,
                               const char16_t* comment, int write_default) {
  if (CQVConfigureManage* store = CQVConfigureManage::instance()) {
    return store->ReadString(section, key, default_value, comment, write_default);
  }
  CString value(IsEmptyText(default_value) ? u"" : default_value);
  return value.Trim();
}

int QVReadConfigParamValue(const char16_t* section, const char16_t* key, int default_value, const char16_t* comment,
                           int write_default) {
  if (CQVConfigureManage* store = CQVConfigureManage::instance()) {
    return store->ReadInt(section, key, default_value, comment, write_default);
  }
  return default_value;
}

int QVWriteConfigParamValue(const char16_t* section, const char16_t* key, const char16_t* value,
                            const char16_t* comment, int /*unused*/) {
  if (CQVConfigureManage* store = CQVConfigureManage::instance()) store->WriteString(section, key, value, comment);
  return 1;
}

int QVWriteConfigParamValue(const char16_t* section, const char16_t* key, int value, const char16_t* comment,
                            int /*unused*/) {
  if (CQVConfigureManage* store = CQVConfigureManage::instance()) store->WriteInt(section, key, value, comment);
  return 0;
}

int QVDebugDetail() { return QVReadConfigParamValue(u"Debug", u"DebugDetail", 0, u"是否启用Debug模式：1启用，0不启用", 1); }

}  // namespace qv_commonclass
