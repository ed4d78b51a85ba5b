// The few Windows Sockets services the library uses: start-up and clean-up,
// the local host name and the IPv4 addresses of a host name.
//
// Linux needs no start-up, so WSAStartup only records the requested version
// and always succeeds unless a test forces a failure. Host names come from
// gethostname. The addresses of the local host's own name are those of its
// interfaces that are up (loopback left out, as Windows answers for its own
// name); other names, and the local name on a machine without such an
// interface, go through getaddrinfo. IPv4 only, each address once, in the
// system's order.
#pragma once

#include <string>
#include <vector>

#include "qv_platform/export.h"
#include "qv_platform/wintypes.h"

inline constexpr int SOCKET_ERROR = -1;
inline constexpr int WSASYSNOTREADY = 10091;
inline constexpr int WSAHOST_NOT_FOUND = 11001;
inline constexpr int WSAEFAULT = 10014;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[257];
  char szSystemStatus[129];
};

inline constexpr WORD MAKEWORD(unsigned low, unsigned high) {
  return static_cast<WORD>((low & 0xFF) | ((high & 0xFF) << 8));
}

// WSAStartup: 0 on success (data, when given, filled in), else a Winsock
// error code.
QVP_API int WSAStartup(WORD version_requested, WSADATA* data);
// WSACleanup: 0.
QVP_API int WSACleanup();
// WSAGetLastError: the code of the calling thread's last failed call here.
QVP_API int WSAGetLastError();

namespace qvp {

// GetHostName is Winsock's gethostname: copies the local host name with
// its NUL into `name` (capacity `length` bytes) and returns 0, or returns
// SOCKET_ERROR (WSAEFAULT when the buffer is too small or null).
QVP_API int GetHostName(char* name, int length);

// ResolveHostIPv4 is the lookup behind Winsock's gethostbyname: true with
// the host's IPv4 addresses in dotted-decimal form (at least one), false
// when the name does not resolve to any IPv4 address. For the local host's
// name (compared without regard to case) these are the addresses of its
// interfaces that are up, loopback excluded, when there are any.
QVP_API bool ResolveHostIPv4(const char* name, std::vector<std::string>& addresses);

// Which call a test wants to fail (bit mask), until reset with 0.
enum WinsockFailure : unsigned {
  kFailNone = 0,
  kFailStartup = 1,
  kFailHostName = 2,
  kFailResolve = 4,
};
QVP_API void SetWinsockFailureForTesting(unsigned failures) noexcept;

}  // namespace qvp
