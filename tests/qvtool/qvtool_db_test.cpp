// qvtool's recordset file commands through the real binary: a query saved
// as XML, described, edited as text and applied back, with a conflict.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out;
};

class QvtoolDb : public ::testing::Test {
 protected:
  void SetUp() override {
    char templ[] = "/tmp/qvtool-db-XXXXXX";
    ASSERT_NE(::mkdtemp(templ), nullptr);
    dir_ = templ;
    db_ = (dir_ / "clips.db").string();
    ASSERT_EQ(Qvtool("db exec --db " + db_ +
                     " \"CREATE TABLE clips(id INTEGER PRIMARY KEY, title TEXT, frames INT);"
                     " INSERT INTO clips VALUES (1, 'News', 45000), (2, 'Sport', 900)\"")
                  .code,
              0);
  }
  void TearDown() override { fs::remove_all(dir_); }

  Result Qvtool(const std::string& args) {
    const std::string cmd = "cd '" + dir_.string() + "' && QV_SETTINGS_DIR='" + dir_.string() + "' QV_LOG_DIR='" +
                            dir_.string() + "' " + QVTOOL_PATH + " " + args + " 2>&1";
    Result r;
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
    const int status = ::pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
  }
  // Replaces the first `from` in the file with `to`.
  void Edit(const std::string& file, const std::string& from, const std::string& to) {
    std::ifstream in(dir_ / file, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    std::string text = s.str();
    const auto at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
    std::ofstream(dir_ / file, std::ios::binary) << text;
  }
  fs::path dir_;
  std::string db_;
};

TEST_F(QvtoolDb, SavesDescribesAndAppliesRecordsetFiles) {
  Result r = Qvtool("db query --db " + db_ + " \"SELECT * FROM clips ORDER BY id\" --xml clips.xml");
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out, "2 rows saved to clips.xml\n");
  r = Qvtool("db info clips.xml");
  EXPECT_NE(r.out.find("rows 2 (unchanged 2, modified 0, inserted 0, deleted 0)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("key"), std::string::npos) << "the key column is marked: " << r.out;

  // A change written by hand in the format: row 2 retitled.
  Edit("clips.xml", "\t<z:row id='2' title='Sport' frames='900'/>",
       "\t<rs:update>\r\n\t\t<rs:original>\r\n\t\t\t<z:row id='2' title='Sport' frames='900'/>\r\n"
       "\t\t</rs:original>\r\n\t\t<z:row title='Sport late'/>\r\n\t</rs:update>");
  r = Qvtool("db apply clips.xml --db " + db_ + " --json");
  ASSERT_EQ(r.code, 0) << r.out;
  const auto doc = nlohmann::json::parse(r.out);
  EXPECT_EQ(doc["modified"], 1);
  EXPECT_EQ(doc["inserted"], 0);
  r = Qvtool("db query --db " + db_ + " \"SELECT title FROM clips WHERE id = 2\" --csv");
  EXPECT_EQ(r.out, "title\nSport late\n");

  // Applying the same file again: the row no longer holds what it read.
  r = Qvtool("db apply clips.xml --db " + db_);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("Row cannot be located for updating"), std::string::npos) << r.out;

  r = Qvtool("db apply missing.xml --db " + db_);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("missing.xml"), std::string::npos) << r.out;
}

}  // namespace
