#include <sys/stat.h>

#include <cstdlib>

#include "qv_imports/skin.h"
#include "qv_platform/fileio.h"
#include "qv_platform/module.h"

namespace qv_commonctrl {

CString QV_GetSkinPath(int) {
  if (const char* env = std::getenv("QV_SKIN_DIR"); env && *env) {
    CString folder(env);
    while (folder.GetLength() > 1 && folder[folder.GetLength() - 1] == u'/') folder = folder.Left(folder.GetLength() - 1);
    return folder;
  }
  char16_t path[MAX_PATH + 1] = {};
  const DWORD n = GetModuleFileNameW(qvp::ModuleOfAddress(reinterpret_cast<const void*>(&QV_GetSkinPath)), path, MAX_PATH);
  CString folder(path, static_cast<int>(n));
  const int slash = folder.ReverseFind(u'/');
  if (slash < 0) return CString();
  folder = folder.Left(slash) + u"/skin";
  struct stat st {};
  if (qvp::Ops().stat(qvp::ToNativePath(folder.GetString()).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return CString();
  return folder;
}

}  // namespace qv_commonctrl
