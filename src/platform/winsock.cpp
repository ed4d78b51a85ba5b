#include "qv_platform/winsock.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <strings.h>

namespace {

std::atomic<unsigned> g_failures{0};
thread_local int t_last_error = 0;

bool Forced(unsigned which) { return (g_failures.load() & which) != 0; }

int Fail(int code) {
  t_last_error = code;
  return SOCKET_ERROR;
}

bool IsLocalHostName(const char* name) {
  char local[HOST_NAME_MAX + 1] = {};
  if (gethostname(local, sizeof local - 1) != 0) return false;
  return strcasecmp(name, local) == 0;
}

// The IPv4 addresses of the interfaces that are up, loopback left out, in
// the system's interface order. Windows answers a look-up of its own name
// with its adapters' addresses; the resolver here often knows only a
// loopback entry for it, which would never match a server's network.
void AppendInterfaceAddresses(std::vector<std::string>& addresses) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return;
  for (const ifaddrs* ifa = list; ifa != nullptr; ifa = ifa->ifa_next) {
    if (ifa->ifa_addr == nullptr || ifa->ifa_addr->sa_family != AF_INET) continue;
    if ((ifa->ifa_flags & IFF_UP) == 0 || (ifa->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* sin = reinterpret_cast<const sockaddr_in*>(ifa->ifa_addr);
    char text[INET_ADDRSTRLEN] = {};
    if (inet_ntop(AF_INET, &sin->sin_addr, text, sizeof text) == nullptr) continue;
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) addresses.emplace_back(text);
  }
  freeifaddrs(list);
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
  if (IsLocalHostName(name)) {
    AppendInterfaceAddresses(addresses);
    if (!addresses.empty()) return true;
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
