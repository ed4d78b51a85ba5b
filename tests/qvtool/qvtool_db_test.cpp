// qvtool's recordset file commands through the real binary: a query saved
// as XML, described, edited as text and applied back, with a conflict.
#include <fstream>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "support/qvtool_run.h"
#include "support/scratch.h"

namespace {

using qvtest::RunQvtool;

TEST(QvtoolDb, SavesDescribesAndAppliesRecordsetFiles) {
  qvtest::TempDir dir;
  const std::string db = (dir.path / "clips.db").string();
  auto run = [&](std::vector<std::string> args) {
    const auto r = RunQvtool(args, dir.path);
    return std::make_pair(r.code, r.out + r.err);
  };
  ASSERT_EQ(run({"db", "exec", "--db", db,
                 "CREATE TABLE clips(id INTEGER PRIMARY KEY, title TEXT, frames INT);"
                 " INSERT INTO clips VALUES (1, 'News', 45000), (2, 'Sport', 900)"})
                .first,
            0);
  auto [code, out] = run({"db", "query", "--db", db, "SELECT * FROM clips ORDER BY id", "--xml", "clips.xml"});
  ASSERT_EQ(code, 0) << out;
  EXPECT_EQ(out, "2 rows saved to clips.xml\n");
  std::tie(code, out) = run({"db", "info", "clips.xml"});
  EXPECT_NE(out.find("rows 2 (unchanged 2, modified 0, inserted 0, deleted 0)"), std::string::npos) << out;
  EXPECT_NE(out.find(" key"), std::string::npos) << "the key column is marked: " << out;

  // A change written by hand in the format: row 2 retitled.
  std::string text = qvtest::ReadFile(dir.path / "clips.xml");
  const std::string row = "\t<z:row id='2' title='Sport' frames='900'/>";
  ASSERT_NE(text.find(row), std::string::npos);
  text.replace(text.find(row), row.size(),
               "\t<rs:update>\r\n\t\t<rs:original>\r\n\t\t\t<z:row id='2' title='Sport' frames='900'/>\r\n"
               "\t\t</rs:original>\r\n\t\t<z:row title='Sport late'/>\r\n\t</rs:update>");
  std::ofstream(dir.path / "clips.xml", std::ios::binary) << text;
  const auto applied = RunQvtool({"db", "apply", "clips.xml", "--db", db, "--json"}, dir.path);
  ASSERT_EQ(applied.code, 0) << applied.err;
  const auto doc = nlohmann::json::parse(applied.out);
  EXPECT_EQ(doc["modified"], 1);
  EXPECT_EQ(doc["inserted"], 0);
  std::tie(code, out) = run({"db", "query", "--db", db, "SELECT title FROM clips WHERE id = 2", "--csv"});
  EXPECT_EQ(out, "title\nSport late\n");

  // Applying the same file again: the row no longer holds what it read.
  std::tie(code, out) = run({"db", "apply", "clips.xml", "--db", db});
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("Row cannot be located for updating"), std::string::npos) << out;
  std::tie(code, out) = run({"db", "apply", "missing.xml", "--db", db});
  EXPECT_EQ(code, 1);
  EXPECT_NE(out.find("missing.xml"), std::string::npos) << out;
}

}  // namespace
