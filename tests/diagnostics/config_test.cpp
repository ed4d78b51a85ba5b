#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "qv_commonclass/diagnostics.h"
#include "qv_platform/profile.h"
#include "qv_platform/unicode.h"

namespace {

using qv_commonclass::CQVConfigureManage;
using qv_commonclass::QVReadConfigParamValue;
using qv_commonclass::QVWriteConfigParamValue;

// Every case works in a section of its own in the INI file beside the built
// library (other test programs may use the same file at the same time) and
// removes it afterwards.
class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store_ = CQVConfigureManage::instance();
    ASSERT_NE(store_, nullptr);
    section_ = qvp::Utf8ToUtf16(std::string("CfgTest_") +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
                                std::to_string(getpid()));
    Raw(nullptr, nullptr);
  }
  void TearDown() override { Raw(nullptr, nullptr); }

  const char16_t* Sec() const { return section_.c_str(); }
  // Raw writes (or deletes) a stored line directly.
  void Raw(const char16_t* key, const char16_t* line) {
    WritePrivateProfileStringW(Sec(), key, line, store_->GetIniFileName());
  }
  // Stored is the whole stored line of a key; "<none>" when it is missing.
  std::u16string Stored(const char16_t* key) {
    char16_t buf[2048];
    const DWORD n = GetPrivateProfileStringW(Sec(), key, u"<none>", buf, 2048, store_->GetIniFileName());
    return std::u16string(buf, n);
  }

  CQVConfigureManage* store_ = nullptr;
  std::u16string section_;
};

TEST_F(ConfigTest, FileIsBesideTheLibraryWhateverTheCurrentDirectory) {
  EXPECT_EQ(store_->GetIniFileName().ToUtf8(), std::string(QV_BIN_DIR) + "/DazazuraVada.ini");
  const std::string old_cwd = std::filesystem::current_path();
  std::filesystem::current_path("/tmp");
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Where", u"beside", nullptr, 0), 1);
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Where", u"", nullptr, 0), CString(u"beside"));
  std::filesystem::current_path(old_cwd);
  EXPECT_EQ(Stored(u"Where"), u"beside");
}

TEST_F(ConfigTest, MissingKeyWritesDefaultBackWithComment) {
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"DebugDetail", u"0", u"是否启用Debug模式：1启用，0不启用", 1), CString(u"0"));
  EXPECT_EQ(Stored(u"DebugDetail"), u"0\t\t;是否启用Debug模式：1启用，0不启用");
  // Without the write-back flag the file is left alone.
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Quiet", u"  dflt ", u"c", 0), CString(u"dflt"));
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Quiet", 42, u"c", 0), 42);
  EXPECT_EQ(Stored(u"Quiet"), u"<none>");
  // No default: empty result, nothing written even when asked.
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"NoDefault", nullptr, u"c", 1), CString());
  EXPECT_EQ(Stored(u"NoDefault"), u"<none>");
  // The integer read writes its default formatted as text.
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Rate", 2500, u"默认帧率", 1), 2500);
  EXPECT_EQ(Stored(u"Rate"), u"2500\t\t;默认帧率");
}

TEST_F(ConfigTest, StoredValuesAreCutAtTheCommentAndConverted) {
  const struct {
    const char16_t* stored;
    const char16_t* text;
    int number;
  } cases[] = {
      {u"25 ;frame rate", u"25", 25},
      {u"\t\t;only a comment", u"", 0},  // characters were read, so not the default
      {u"abc", u"abc", 0},
      {u" -12abc", u"-12abc", -12},
      {u"+7", u"+7", 7},
      {u"99999999999", u"99999999999", INT_MAX},
      {u"-99999999999", u"-99999999999", INT_MIN},
  };
  for (const auto& c : cases) {
    Raw(u"K", c.stored);
    EXPECT_EQ(QVReadConfigParamValue(Sec(), u"K", u"dflt", nullptr, 1), CString(c.text)) << CString(c.stored);
    EXPECT_EQ(QVReadConfigParamValue(Sec(), u"K", -5, nullptr, 1), c.number) << CString(c.stored);
  }
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Missing", -1, nullptr, 0), -1);
  // Reads stop at 1023 characters.
  Raw(u"Long", std::u16string(1500, u'x').c_str());
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Long", u"", nullptr, 0).GetLength(), 1023);
}

TEST_F(ConfigTest, WritesAndTheirFixedResults) {
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Empty", u"", u"", 0), 1);
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Null", nullptr, nullptr, 0), 1);
  EXPECT_EQ(Stored(u"Empty"), u"<none>");
  EXPECT_EQ(Stored(u"Null"), u"<none>");
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Int", -3, u"note", 0), 0);
  EXPECT_EQ(Stored(u"Int"), u"-3\t\t;note");
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Int", 4, nullptr, 0), 0);  // replaces, comment gone
  EXPECT_EQ(Stored(u"Int"), u"4");
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"CommentOnly", u"", u"why", 0), 1);
  EXPECT_EQ(Stored(u"CommentOnly"), u";why");
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"CommentOnly", u"dflt", nullptr, 1), CString());
  // A write the file system refuses still gives the fixed results.
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Bad", u"two\nlines", nullptr, 0), 1);
  EXPECT_EQ(QVWriteConfigParamValue(u"Bad]Section", u"K", 1, nullptr, 0), 0);
}

TEST_F(ConfigTest, DebugDetailDefaultsToZeroAndDocumentsItself) {
  const CString ini = store_->GetIniFileName();
  char16_t before[1024];
  const DWORD had = GetPrivateProfileStringW(u"Debug", u"DebugDetail", u"", before, 1024, ini);
  WritePrivateProfileStringW(u"Debug", u"DebugDetail", nullptr, ini);
  EXPECT_EQ(qv_commonclass::QVDebugDetail(), 0);
  char16_t buf[256];
  const DWORD n = GetPrivateProfileStringW(u"Debug", u"DebugDetail", u"", buf, 256, ini);
  EXPECT_EQ(std::u16string(buf, n), u"0\t\t;是否启用Debug模式：1启用，0不启用");
  if (had > 0) WritePrivateProfileStringW(u"Debug", u"DebugDetail", before, ini);  // leave it as it was
}

}  // namespace
