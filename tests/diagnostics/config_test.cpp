#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>
#include <tuple>

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
  void Raw(const char16_t* key, const char16_t* line, const char16_t* section = nullptr) {
    WritePrivateProfileStringW(section ? section : Sec(), key, line, store_->GetIniFileName());
  }
  // Stored is the whole stored line of a key; "<none>" when it is missing.
  std::u16string Stored(const char16_t* key, const char16_t* section = nullptr) {
    char16_t buf[2048];
    return std::u16string(
        buf, GetPrivateProfileStringW(section ? section : Sec(), key, u"<none>", buf, 2048, store_->GetIniFileName()));
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
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Rate", 2500, u"默认帧率", 1), 2500);
  EXPECT_EQ(Stored(u"DebugDetail") + u"|" + Stored(u"Rate"), u"0\t\t;是否启用Debug模式：1启用，0不启用|2500\t\t;默认帧率");
  // Without the write-back flag, or without a default, the file is left alone.
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Quiet", u"  dflt ", u"c", 0), CString(u"dflt"));
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Quiet", 42, u"c", 0), 42);
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"NoDefault", nullptr, u"c", 1), CString());
  EXPECT_EQ(Stored(u"Quiet") + u"|" + Stored(u"NoDefault"), u"<none>|<none>");
}

TEST_F(ConfigTest, StoredValuesAreCutAtTheCommentAndConverted) {
  // Letters read as 0 and out-of-range numbers saturate.
  const std::tuple<const char16_t*, const char16_t*, int> cases[] = {
      {u"25 ;frame rate", u"25", 25}, {u"\t\t;only a comment", u"", 0},  // characters were read: not the default
      {u"abc", u"abc", 0},            {u" -12abc", u"-12abc", -12},      {u"+7", u"+7", 7},
      {u"99999999999", u"99999999999", INT_MAX}, {u"-99999999999", u"-99999999999", INT_MIN},
      // The runtime's _wtoi counts full-width and other scripts' digits.
      {u"\uFF11\uFF12", u"\uFF11\uFF12", 12}, {u"\u3000\uFF13x", u"\uFF13x", 3},
  };
  for (const auto& [stored, text, number] : cases) {
    Raw(u"K", stored);
    EXPECT_EQ(QVReadConfigParamValue(Sec(), u"K", u"dflt", nullptr, 1), CString(text)) << CString(stored);
    EXPECT_EQ(QVReadConfigParamValue(Sec(), u"K", -5, nullptr, 1), number) << CString(stored);
  }
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Missing", -1, nullptr, 0), -1);
  // Reads stop at 1023 characters.
  Raw(u"Long", std::u16string(1500, u'x').c_str());
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"Long", u"", nullptr, 0).GetLength(), 1023);
}

// Text writes answer 1 and integer writes 0 whatever happens to the file.
TEST_F(ConfigTest, WritesAndTheirFixedResults) {
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Empty", u"", u"", 0), 1);
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Null", nullptr, nullptr, 0), 1);
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Int", -3, u"note", 0), 0);
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"CommentOnly", u"", u"why", 0), 1);
  EXPECT_EQ(Stored(u"Empty") + u"|" + Stored(u"Null") + u"|" + Stored(u"Int") + u"|" + Stored(u"CommentOnly"),
            u"<none>|<none>|-3\t\t;note|;why");
  EXPECT_EQ(QVReadConfigParamValue(Sec(), u"CommentOnly", u"dflt", nullptr, 1), CString());
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Int", 4, nullptr, 0), 0);  // replaces, comment gone
  EXPECT_EQ(Stored(u"Int"), u"4");
  EXPECT_EQ(QVWriteConfigParamValue(Sec(), u"Bad", u"two\nlines", nullptr, 0), 1);  // refused by the file
  EXPECT_EQ(QVWriteConfigParamValue(u"Bad]Section", u"K", 1, nullptr, 0), 0);
}

TEST_F(ConfigTest, DebugDetailDefaultsToZeroAndDocumentsItself) {
  const std::u16string before = Stored(u"DebugDetail", u"Debug");
  Raw(u"DebugDetail", nullptr, u"Debug");
  EXPECT_EQ(qv_commonclass::QVDebugDetail(), 0);
  EXPECT_EQ(Stored(u"DebugDetail", u"Debug"), u"0\t\t;是否启用Debug模式：1启用，0不启用");
  if (before != u"<none>") Raw(u"DebugDetail", before.c_str(), u"Debug");  // leave it as it was
}

}  // namespace
