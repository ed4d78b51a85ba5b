#include "qv_platform/winsock.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>

namespace {

std::atomic<unsigned> g_failures{0};
thread_local int t_last_error = 0;

bool Forced(unsigned which) { return (g_failures.load() & which) != 0; }

int Fail(int code) {
  t_last_error = code;
  return SOCKET_ERROR;
}

}  // namespace

int WSAStartup(WORD version_requested, WSADATA* data) {
  if (qvp::kFailStartup & g_failures.load()) {
    t_last_error = WSASYSNOTREADY;
    return WSASYSNOTREADY;
  }
  if (data != nullptr) {
    std::memset(data, 0, sizeof *data);
    data->wVersion = version_requested;
    data->wHighVersion = MAKEWORD(2, 2);
    std::strcpy(data->szDescription, "WinSock 2.0");
    std::strcpy(data->szSystemStatus, "Running");
  }
  return 0;
}

int WSACleanup() { return 0; }

int WSAGetLastError() { return t_last_error; }

namespace qvp {

int GetHostName(char* name, int length) {
  if (Forced(kFailHostName) || name == nullptr || length <= 0) return Fail(WSAEFAULT);
  char local[HOST_NAME_MAX + 1] = {};
  if (gethostname(local, sizeof local - 1) != 0) return Fail(WSAEFAULT);
  const std::size_t n = std::strlen(local);
  if (n + 1 > static_cast<std::size_t>(length)) return Fail(WSAEFAULT);
  std::memcpy(name, local, n + 1);
  return 0;
}

bool ResolveHostIPv4(const char* name, std::vector<std::string>& addresses) {
  addresses.clear();
  if (Forced(kFailResolve) || name == nullptr) {
    t_last_error = WSAHOST_NOT_FOUND;
    return false;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address, not per socket type
  addrinfo* list = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr) {
    t_last_error = WSAHOST_NOT_FOUND;
    return false;
  }
  for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET || ai->ai_addr == nullptr) continue;
    const auto* sin = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) == nullptr) continue;
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) addresses.emplace_back(text);
  }
  freeaddrinfo(list);
  if (addresses.empty()) {
    t_last_error = WSAHOST_NOT_FOUND;
    return false;
  }
  return true;
}

void SetWinsockFailureForTesting(unsigned failures) noexcept { g_failures.store(failures); }

}  // namespace qvp
