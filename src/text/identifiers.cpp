// GUID text, the local host's name and addresses, and address matching.

#include <string>
#include <vector>

#include "qv_commonclass/diagnostics.h"
#include "qv_commonclass/text.h"
#include "qv_platform/codepage.h"
#include "qv_platform/winsock.h"

namespace qv_commonclass {

// ---- GUIDs ----------------------------------------------------------------------

int QV_CreateGUID(GUID& guid) {
  GUID created{};
  if (FAILED(CoCreateGuid(&created))) return 0;
  guid = created;
  return 1;
}

int QV_CreateGUID(CString& text) {
  GUID created{};
  if (FAILED(CoCreateGuid(&created))) return 0;
  return QV_FromGUIDToString(created, text);
}

int QV_FromGUIDToString(const GUID& guid, CString& text) {
  char16_t buffer[80] = {};
  StringFromGUID2(guid, buffer, 80);
  CString registry(buffer);
  registry.Remove(u'{');
  registry.Remove(u'-');
  registry.Remove(u'}');
  registry.MakeLower();
  text = registry;
  return 1;
}

int QV_FromStringToGUID(GUID& guid, const CString& text) {
  CString digits = text;
  digits.Remove(u'-');
  // Mid clamps to the text, so short text gives short (or empty) parts and
  // the parser below rejects the result instead of reading past it.
  CString registry;
  registry.Format(u"{%s-%s-%s-%s-%s}", digits.Mid(0, 8).GetString(), digits.Mid(8, 4).GetString(),
                  digits.Mid(12, 4).GetString(), digits.Mid(16, 4).GetString(), digits.Mid(20).GetString());
  // The parser's result is not reported: for malformed text `guid` holds
  // what the parser read before the error.
  CLSIDFromString(registry.GetString(), &guid);
  return 1;
}

// ---- Host name and addresses ------------------------------------------------

namespace {

constexpr const char16_t* kModule = u"ZORerer";
constexpr int kLevel = kTraceLevelFailure;

// SocketsSession starts the sockets library (version 2.0) and shuts it down
// again when it goes out of scope.
class SocketsSession {
 public:
  SocketsSession() {
    WSADATA data{};
    started_ = WSAStartup(MAKEWORD(2, 0), &data) == 0;
  }
  ~SocketsSession() {
    if (started_) WSACleanup();
  }
  SocketsSession(const SocketsSession&) = delete;
  SocketsSession& operator=(const SocketsSession&) = delete;
  bool started() const { return started_; }

 private:
  bool started_ = false;
};

// ReadHostName reads the 8-bit host name the way the sockets library hands
// it out: into a zeroed 256-byte buffer with a length of 255.
bool ReadHostName(std::string& name) {
  char buffer[256] = {};
  if (qvp::GetHostName(buffer, 255) != 0) return false;
  name = buffer;
  return true;
}

int MatchLength(const CString& a, const CString& b) {
  const int n = a.GetLength() < b.GetLength() ? a.GetLength() : b.GetLength();
  const char16_t* pa = a.GetString();
  const char16_t* pb = b.GetString();
  int i = 0;
  while (i < n && pa[i] == pb[i]) ++i;
  return i;
}

// ReadLocalHostName is the common start of both host functions: with the
// sockets library started in `sockets`, it reads the host name, tracing a
// failure of either step under `function` with its code.
bool ReadLocalHostName(const SocketsSession& sockets, const char16_t* function, int startup_code, int name_code,
                       std::string& host) {
  if (!sockets.started()) {
    QV_Trace0Ex2(kModule, function, kLevel, startup_code, u"初始化Socket失败！");
    return false;
  }
  if (!ReadHostName(host)) {
    QV_Trace0Ex2(kModule, function, kLevel, name_code, u"获取机器名失败！");
    return false;
  }
  return true;
}

}  // namespace

int QV_GetLocalHostName(CString& name) {
  SocketsSession sockets;
  std::string host;
  if (!ReadLocalHostName(sockets, u"QV_GetLocalHostName", 110040010, 110040011, host)) return 0;
  name = CString(qvp::ToWide(host, CP_ACP));
  return 1;
}

int QV_GetLocalHostIP(CStringArray& addresses) {
  constexpr const char16_t* kFunction = u"QV_GetLocalHostIP";
  SocketsSession sockets;
  std::string host;
  if (!ReadLocalHostName(sockets, kFunction, 110040012, 110040013, host)) return 0;
  std::vector<std::string> found;
  if (!qvp::ResolveHostIPv4(host.c_str(), found)) {
    QV_Trace0Ex2(kModule, kFunction, kLevel, 110040014, u"根据机器名获取IP信息失败！");
    return 0;
  }
  for (const std::string& address : found) addresses.Add(CString(address));
  return 1;
}

CString QVGetMaxMatchedIP(const CStringArray& candidates, const CString& target) {
  if (candidates.GetSize() == 0 || target.IsEmpty()) return CString();
  CString best;
  int best_length = -1;
  for (int i = 0; i < candidates.GetSize(); ++i) {
    const int length = MatchLength(candidates[i], target);
    if (length > best_length) {
      best = candidates[i];
      best_length = length;
    }
  }
  return best;
}

int QVGetMaxMatchedIPEx(const CStringArray& first, const CStringArray& second, CString& best_first,
                        CString& best_second) {
  if (first.GetSize() == 0 || second.GetSize() == 0) return 0;
  int best_length = -1;
  for (int i = 0; i < first.GetSize(); ++i) {
    for (int j = 0; j < second.GetSize(); ++j) {
      const int length = MatchLength(first[i], second[j]);
      if (length > best_length) {
        best_first = first[i];
        best_second = second[j];
        best_length = length;
      }
    }
  }
  return (!best_first.IsEmpty() && !best_second.IsEmpty()) ? 1 : 0;
}

}  // namespace qv_commonclass
