// Reading SQL text: parameters, literals, comments, casts and the shape of a
// live select.
#include <gtest/gtest.h>

#include "qvd3/platform/db/field.h"
#include "qvd3/platform/db/sql_text.h"
#include "qvd3/platform/db/value.h"
#include "qvd3/platform/sys/exception.h"

namespace qv::dbimpl {
namespace {

std::string Dollar(std::string_view sql) {
  return TranslateParameters(sql, [](int n) { return "$" + std::to_string(n); });
}

TEST(SqlTextTest, SameNameTwiceIsOneParameter) {
  std::string sql = "Update UAccess Set A = (Select X From P Where Q.USER_ID=:USER_ID)\nWhere USER_ID=:user_id";
  EXPECT_EQ(ParameterNames(sql), std::vector<std::string>{"USER_ID"});
  EXPECT_EQ(Dollar(sql), "Update UAccess Set A = (Select X From P Where Q.USER_ID=$1)\nWhere USER_ID=$1");
  EXPECT_EQ(Dollar("Insert into UserInfo Values\n(:APP_KEY,\n:USER_ID,\n:EXPIRATION_DATE,\n'0',\n'1'\n)"),
            "Insert into UserInfo Values\n($1,\n$2,\n$3,\n'0',\n'1'\n)");
}

TEST(SqlTextTest, ColonsInsideLiteralsCommentsAndCastsAreNotParameters) {
  std::string sql =
      "SELECT ':NOT_A' AS \"x:NOT_B\", 'it''s :NOT_C', a::text -- :NOT_D\n"
      "/* :NOT_E */ FROM t WHERE b = :REAL";
  EXPECT_EQ(ParameterNames(sql), std::vector<std::string>{"REAL"});
  std::string out = Dollar(sql);
  EXPECT_NE(out.find("':NOT_A'"), std::string::npos);
  EXPECT_NE(out.find("a::text"), std::string::npos);
  EXPECT_NE(out.find("b = $1"), std::string::npos);
  EXPECT_EQ(Dollar("x = : y"), "x = : y");
}

TEST(SqlTextTest, LiveSelectShape) {
  SelectShape users = AnalyzeSelect("SELECT\nUSERQV_NAME ,\nREAL_NAME\nFROM QUARVEL\nORDER BY USERQV_NAME");
  EXPECT_TRUE(users.single_table);
  EXPECT_EQ(users.table, "QUARVEL");
  EXPECT_EQ(AnalyzeSelect("Select\nAPP_KEY\nFrom UserInfo\nWhere APP_KEY=:APP_KEY").table, "UserInfo");
  EXPECT_TRUE(AnalyzeSelect("SELECT (SELECT 1 FROM b), a FROM t").single_table);
  EXPECT_EQ(AnalyzeSelect("SELECT (SELECT 1 FROM b), a FROM t").table, "t");
  EXPECT_FALSE(AnalyzeSelect("SELECT a FROM t, u WHERE t.x = u.x").single_table);
  EXPECT_FALSE(AnalyzeSelect("SELECT a FROM t JOIN u ON t.x = u.x").single_table);
  EXPECT_TRUE(AnalyzeSelect("SELECT a FROM t x WHERE x.a = 1").single_table);
  EXPECT_FALSE(AnalyzeSelect("SELECT 1").single_table);
}

TEST(FormatIntegerTest, DigitPlaceholdersAndLiteralText) {
  EXPECT_EQ(FormatInteger("00", 5), "05");
  EXPECT_EQ(FormatInteger("00", 123), "123");
  EXPECT_EQ(FormatInteger("a cada 00 dias", 5), "a cada 05 dias");
  EXPECT_EQ(FormatInteger("a cada 00 dias", 30), "a cada 30 dias");
  EXPECT_EQ(FormatInteger("#0", 0), "0");
  EXPECT_EQ(FormatInteger("##", 0), "");
  EXPECT_EQ(FormatInteger("000", -7), "-007");
  EXPECT_EQ(FormatInteger("'0'0", 4), "04");
}

TEST(ValueTest, ConversionsAndEquality) {
  EXPECT_EQ(Value().AsString(), "");
  EXPECT_EQ(Value().AsInteger(), 0);
  EXPECT_EQ(Value(42).AsString(), "42");
  EXPECT_EQ(Value("17").AsInteger(), 17);
  EXPECT_THROW(Value("x7").AsInteger(), EConvertError);
  EXPECT_FALSE(Value("7") == Value(7));
  EXPECT_TRUE(Value() == Value::Null());
  EXPECT_TRUE(Value::Bytes(std::string("a\0b", 3)).IsBytes());
  std::int64_t n;
  EXPECT_FALSE(ParseInteger("", n));
  EXPECT_FALSE(ParseInteger("1 ", n));
  EXPECT_FALSE(ParseInteger("99999999999999999999", n));
  EXPECT_TRUE(ParseInteger("-12", n));
  EXPECT_EQ(n, -12);
}

}  // namespace
}  // namespace qv::dbimpl
