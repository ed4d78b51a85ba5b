#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <sys/socket.h>

#include <set>
#include <tuple>

#include "qv_commonclass/text.h"
#include "qv_platform/guid.h"
#include "qv_platform/winsock.h"
#include "support/logger_capture.h"

using namespace qv_commonclass;

namespace {

constexpr GUID kSample{0x1A2B3C4D, 0x5E6F, 0x7081, {0x92, 0xA3, 0xB4, 0xC5, 0xD6, 0xE7, 0xF8, 0x09}};

CStringArray Array(std::initializer_list<const char16_t*> items) {
  CStringArray a;
  for (const char16_t* s : items) a.Add(s);
  return a;
}

// Written as lower-case registry digits without hyphens; read in either case,
// with or without hyphens. Malformed text still gives 1, with what the
// platform's parser read before the error (as on Windows).
TEST(GuidText, CompactFormAndParsing) {
  CString compact(u"junk");
  EXPECT_EQ(QV_FromGUIDToString(kSample, compact), 1);
  EXPECT_EQ(compact, CString(u"1a2b3c4d5e6f708192a3b4c5d6e7f809"));
  const GUID fill{0xCCCCCCCC, 0xCCCC, 0xCCCC, {0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC}};
  GUID first_field = fill, last_byte_unread = kSample, short_by_one = kSample;
  first_field.Data1 = 0x1A2B;
  last_byte_unread.Data4[7] = 0xCC;
  short_by_one.Data4[7] = 0xCC;
  GUID nothing = fill;
  nothing.Data1 = 0;
  const std::pair<const char16_t*, GUID> cases[] = {
      {u"1A2B3C4D-5E6F-7081-92A3-B4C5D6E7F809", kSample}, {u"1a2b3c4d-5e6f-7081-92a3b4c5d6e7f809", kSample},
      {u"1a2b3c4d5e6f708192a3b4c5d6e7f809", kSample},     {u"", nothing},
      {u"1a2b", first_field},                             {u"1a2b3c4d5e6f708192a3b4c5d6e7f8", short_by_one},
      {u"1a2b3c4d5e6f708192a3b4c5d6e7f80912", kSample},   {u"{1a2b3c4d5e6f708192a3b4c5d6e7f809}", nothing},
      {u"1a2b3c4d5e6f708192a3b4c5d6e7f80g", last_byte_unread},
  };
  for (const auto& [text, expected] : cases) {
    GUID g = fill;
    EXPECT_EQ(QV_FromStringToGUID(g, text), 1);
    EXPECT_EQ(g, expected) << CString(text);
  }
}

TEST(GuidText, CreatedGuidsAreDistinctAndRoundTrip) {
  std::set<std::u16string> seen;
  for (int i = 0; i < 100; ++i) {
    CString text;
    ASSERT_EQ(QV_CreateGUID(text), 1);
    EXPECT_TRUE(seen.insert(text.str()).second);
    GUID g{};
    QV_FromStringToGUID(g, text);
    CString again;
    QV_FromGUIDToString(g, again);
    EXPECT_EQ(again, text) << "compact lower-case form";
  }
  // A failed creation leaves the outputs untouched.
  qvp::SetGuidCreationFailureForTesting(RPC_S_UUID_NO_ADDRESS);
  GUID g = kSample;
  CString text(u"kept");
  EXPECT_EQ(QV_CreateGUID(g), 0);
  EXPECT_EQ(QV_CreateGUID(text), 0);
  qvp::SetGuidCreationFailureForTesting(S_OK);
  EXPECT_EQ(g, kSample);
  EXPECT_EQ(text, CString(u"kept"));
  EXPECT_EQ(QV_CreateGUID(g), 1);
}

TEST(AddressMatch, LongestTextPrefixWinsAndTiesGoToTheFirst) {
  EXPECT_EQ(QVGetMaxMatchedIP(Array({u"192.168.1.10", u"192.168.1.2"}), u"192.168.1.25"), CString(u"192.168.1.2"));
  EXPECT_EQ(QVGetMaxMatchedIP(Array({u"10.0.0.1", u"10.0.0.2"}), u"10.0.0.9"), CString(u"10.0.0.1"));
  EXPECT_EQ(QVGetMaxMatchedIP(Array({u"172.16.0.1"}), u"10.0.0.9"), CString(u"172.16.0.1"));
  EXPECT_EQ(QVGetMaxMatchedIP(Array({}), u"10.0.0.9"), CString());
  EXPECT_EQ(QVGetMaxMatchedIP(Array({u"10.0.0.1"}), CString()), CString());

  // The pair search keeps the first best pair.
  CString a(u"untouched"), b(u"untouched");
  EXPECT_EQ(QVGetMaxMatchedIPEx(Array({}), Array({u"1.1.1.1"}), a, b), 0);
  EXPECT_EQ(a, CString(u"untouched"));

  EXPECT_EQ(QVGetMaxMatchedIPEx(Array({u"10.1.1.1", u"192.168.3.4"}), Array({u"172.16.0.1", u"192.168.3.9"}), a, b),
            1);
  EXPECT_EQ(std::tie(a, b), std::make_tuple(CString(u"192.168.3.4"), CString(u"192.168.3.9")));

  EXPECT_EQ(QVGetMaxMatchedIPEx(Array({u"", u""}), Array({u""}), a, b), 0);
  // The first pair was stored before the result was judged.
  EXPECT_EQ(std::tie(a, b), std::make_tuple(CString(), CString()));
}

TEST(LocalHost, NameAndAddressesComeFromTheSystem) {
  CString name;
  ASSERT_EQ(QV_GetLocalHostName(name), 1);
  EXPECT_FALSE(name.IsEmpty());
  CStringArray addresses;
  addresses.Add(u"kept");
  if (QV_GetLocalHostIP(addresses) == 1) {
    ASSERT_GE(addresses.GetSize(), 2);
    EXPECT_EQ(addresses[0], CString(u"kept"));
    EXPECT_EQ(addresses[1].view().find_first_not_of(u"0123456789."), std::u16string_view::npos);
  } else {
    EXPECT_EQ(addresses.GetSize(), 1);
  }
  // With a network interface up, the own name gives its addresses, never the
  // loopback entry that the resolver may hold for it (useless for matching a
  // server's network).
  ifaddrs* list = nullptr;
  bool networked = false;
  if (getifaddrs(&list) == 0) {
    for (const ifaddrs* i = list; i != nullptr; i = i->ifa_next)
      networked |= i->ifa_addr != nullptr && i->ifa_addr->sa_family == AF_INET && (i->ifa_flags & IFF_UP) &&
                   !(i->ifa_flags & IFF_LOOPBACK);
    freeifaddrs(list);
  }
  if (networked) {
    ASSERT_GE(addresses.GetSize(), 2);
    for (int i = 1; i < addresses.GetSize(); ++i) EXPECT_NE(addresses[i].Left(4), CString(u"127.")) << addresses[i];
  }
}

// Each failing step of the host look-ups: one trace record, result 0, the
// outputs untouched.
TEST(LocalHost, FailuresAreTracedAndReportedAsZero) {
  // Failing step, which call, the code and text traced.
  const std::tuple<unsigned, bool, int, const char16_t*> cases[] = {
      {qvp::kFailStartup, false, 110040010, u"初始化Socket失败！"},
      {qvp::kFailHostName, false, 110040011, u"获取机器名失败！"},
      {qvp::kFailStartup, true, 110040012, u"初始化Socket失败！"},
      {qvp::kFailHostName, true, 110040013, u"获取机器名失败！"},
      {qvp::kFailResolve, true, 110040014, u"根据机器名获取IP信息失败！"},
  };
  for (const auto& [failure, address_call, code, text] : cases) {
    SCOPED_TRACE(code);
    qvtest::LoggerCapture capture;
    qvp::SetWinsockFailureForTesting(failure);
    CString name(u"kept");
    CStringArray addresses;
    addresses.Add(u"kept");
    const int result = address_call ? QV_GetLocalHostIP(addresses) : QV_GetLocalHostName(name);
    qvp::SetWinsockFailureForTesting(qvp::kFailNone);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(name, CString(u"kept"));
    EXPECT_EQ(addresses.GetSize(), 1);
    const auto records = capture.Records();
    ASSERT_EQ(records.size(), 1u);
    const auto& r = records[0];
    EXPECT_TRUE(r.ex2 && r.module == u"ZORerer" && r.level == 1);
    EXPECT_EQ(r.function, address_call ? u"QV_GetLocalHostIP" : u"QV_GetLocalHostName");
    EXPECT_EQ(r.code, code);
    EXPECT_EQ(r.text, text);
  }
}

}  // namespace
