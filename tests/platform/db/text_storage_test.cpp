// Texts that an engine could not store as they are (a NUL byte, malformed
// UTF-8) behave alike on both engines: byte columns store them verbatim,
// text columns and text parameters refuse them naming the field or
// parameter, and nothing is stored.
#include <gtest/gtest.h>

#include <string>

#include "qvd3/platform/db/database.h"
#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/sys/text_case.h"
#include "tests/platform/db/db_test_util.h"

namespace qv::test {
namespace {

class TextStorageTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (HasFatalFailure()) return;
    Exec("CREATE TABLE T (ID INTEGER PRIMARY KEY, NAME VARCHAR(40), PWD " + BlobType() + ")");
    Exec("INSERT INTO T (ID, NAME) VALUES (1, 'ana')");
  }

  long long Rows() {
    auto q = MakeQuery(Alias(), "SELECT COUNT(*) AS N FROM T");
    q->Open();
    return q->FieldByName("N").AsInteger();
  }

  // Runs `action`, expecting an EDatabaseError whose message names `owner`
  // (in any letter case: PostgreSQL reports field names in lower case) and
  // says what is wrong with the text.
  template <typename Action>
  void ExpectRefused(Action action, const std::string& owner, const std::string& why) {
    try {
      action();
      ADD_FAILURE() << "accepted a text " << why << " for " << owner;
    } catch (const EDatabaseError& e) {
      EXPECT_NE(AsciiLower(e.what()).find(AsciiLower(owner)), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  }
};

const std::string kWithNul("ab\0cd", 5);
const std::string kLatin1 = "n\xE3o";            // "não" in Latin-1
const std::string kSurrogate = "x\xED\xA0\x80";  // U+D800, refused by PostgreSQL

TEST_P(TextStorageTest, AByteColumnStoresNulAndAnyByteVerbatim) {
  const std::string bytes = kWithNul + kLatin1 + kSurrogate;
  auto ins = MakeQuery(Alias(), "INSERT INTO T (ID, PWD) VALUES (2, :P)");
  ins->ParamByName("P").SetAsBytes(bytes);
  ins->ExecSQL();

  auto live = MakeQuery(Alias(), "SELECT ID, NAME, PWD FROM T ORDER BY ID", true);
  live->Open();
  ASSERT_TRUE(live->Locate("ID", 1));
  live->Edit();
  live->FieldByName("PWD").SetAsString(bytes);  // text written to a byte field
  live->Post();
  live->Close();
  live->Open();
  EXPECT_EQ(Column(*live, "PWD"), bytes + "," + bytes);
}

TEST_P(TextStorageTest, ATextFieldRefusesNulAndMalformedUtf8AndKeepsItsValue) {
  auto live = MakeQuery(Alias(), "SELECT ID, NAME, PWD FROM T ORDER BY ID", true);
  live->Open();
  live->Edit();
  TField& name = live->FieldByName("NAME");
  ExpectRefused([&] { name.SetAsString(kWithNul); }, "Field 'NAME'", "NUL byte");
  for (const std::string& bad : {kLatin1, kSurrogate, std::string("\xC0\xAF")})
    ExpectRefused([&] { name.SetAsString(bad); }, "Field 'NAME'", "not valid UTF-8");
  EXPECT_EQ(name.AsString(), "ana");
  EXPECT_FALSE(live->Modified());
  live->Cancel();

  // A new row with such a text never reaches the table.
  live->Insert();
  live->FieldByName("ID").SetAsInteger(3);
  ExpectRefused([&] { live->FieldByName("NAME").SetAsString(kLatin1); }, "Field 'NAME'",
                "not valid UTF-8");
  live->Cancel();
  EXPECT_EQ(Rows(), 1);
}

TEST_P(TextStorageTest, ATextParameterIsRefusedBeforeTheStatementRuns) {
  auto ins = MakeQuery(Alias(), "INSERT INTO T (ID, NAME) VALUES (2, :NAME)");
  ins->ParamByName("NAME").SetAsString(kWithNul);
  ExpectRefused([&] { ins->ExecSQL(); }, "Parameter 'NAME'", "NUL byte");
  ins->ParamByName("NAME").SetAsString(kSurrogate);
  ExpectRefused([&] { ins->ExecSQL(); }, "Parameter 'NAME'", "not valid UTF-8");
  EXPECT_EQ(Rows(), 1);

  // A search with such a text would find what the engine made of it.
  auto find = MakeQuery(Alias(), "SELECT ID FROM T WHERE NAME = :NAME");
  find->ParamByName("NAME").SetAsString(std::string("ana\0x", 5));
  ExpectRefused([&] { find->Open(); }, "Parameter 'NAME'", "NUL byte");

  // Every other text goes through whole, four-byte characters included.
  const std::string text = "Conceição €𝄞 😀";
  ins->ParamByName("NAME").SetAsString(text);
  ins->ExecSQL();
  find->ParamByName("NAME").SetAsString(text);
  find->Open();
  EXPECT_EQ(Column(*find, "ID"), "2");
}

// Cut at the NUL, the statement would delete every row.
TEST_P(TextStorageTest, SqlTextWithANulByteIsRefusedNotCut) {
  static const char kSql[] = "DELETE FROM T\0 WHERE ID = 2";
  ExpectRefused([&] { Db().ExecDirect(std::string(kSql, sizeof kSql - 1)); }, "The SQL text",
                "NUL byte");
  EXPECT_EQ(Rows(), 1);
}

QV_INSTANTIATE_ENGINES(TextStorageTest);

}  // namespace
}  // namespace qv::test
