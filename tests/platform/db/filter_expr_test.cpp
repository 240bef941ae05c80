// The filter language on texts no person would type: nesting and chains deep
// enough to exhaust a recursive parser's stack, and the error they get.
#include <gtest/gtest.h>

#include <string>

#include "qvd3/platform/db/database_error.h"
#include "qvd3/platform/db/filter_expr.h"
#include "qvd3/platform/db/row_store.h"

namespace qv::dbimpl {
namespace {

// One row of two columns: ID (integer) 7 and NAME (text) 'ana'.
class FilterExprTest : public ::testing::Test {
 protected:
  FilterExprTest() : store_(2), row_(store_.Add({Value(7), Value("ana")})) {}

  bool Matches(const std::string& text) {
    auto expression = FilterExpression::Parse(text, [](std::string_view name) {
      if (name == "ID") return FilterColumn{0, TFieldType::Integer};
      if (name == "NAME") return FilterColumn{1, TFieldType::String};
      throw EDatabaseError("no field " + std::string(name));
    });
    return expression->Matches(store_, row_);
  }

  // The message of the error `text` raises, or "" when it is accepted.
  std::string ErrorOf(const std::string& text) {
    try {
      Matches(text);
    } catch (const EDatabaseError& e) {
      return e.what();
    }
    return "";
  }

  static std::string Repeat(const std::string& part, int times) {
    std::string out;
    out.reserve(part.size() * times);
    for (int i = 0; i < times; ++i) out += part;
    return out;
  }

  RowStore store_;
  const char* row_;
};

TEST_F(FilterExprTest, NestingUpToTheLimitWorksAndDeeperIsRefused) {
  EXPECT_TRUE(Matches(Repeat("(", 256) + "ID=7" + Repeat(")", 256)));
  EXPECT_TRUE(Matches(Repeat("NOT ", 256) + "ID=7"));
  EXPECT_FALSE(Matches(Repeat("NOT (", 127) + "ID=7" + Repeat(")", 127)));

  for (const std::string& deep : {Repeat("(", 257) + "ID=7" + Repeat(")", 257),
                                   Repeat("NOT ", 50000) + "ID=7", Repeat("(", 50000),
                                   Repeat("NOT (", 20000) + "ID=7" + Repeat(")", 20000)}) {
    const std::string error = ErrorOf(deep);
    EXPECT_NE(error.find("nested deeper than 256"), std::string::npos) << error.substr(0, 300);
    // The message quotes the start of the text, not all of it.
    EXPECT_LT(error.size(), 400u);
    EXPECT_NE(error.find("..."), std::string::npos);
  }
}

// Long enough that a tree of two-term nodes would overflow the stack when
// evaluated or freed.
TEST_F(FilterExprTest, LongChainsOfOrAndAndEvaluateWithoutDeepRecursion) {
  const int terms = 200000;
  EXPECT_TRUE(Matches(Repeat("ID=1 OR ", terms) + "NAME='ana'"));
  EXPECT_FALSE(Matches(Repeat("ID=7 AND ", terms) + "ID=2"));
  EXPECT_FALSE(Matches(Repeat("ID=1 OR ", 100) + "ID=2"));
  EXPECT_TRUE(Matches(Repeat("ID=7 AND ", 100) + "NAME='ana'"));
  EXPECT_TRUE(Matches("ID=1 OR ID=2 AND NAME='x' OR ID=7 AND NAME='ana'"));
  EXPECT_FALSE(Matches("(ID=1 OR ID=7) AND NAME='x' AND ID=7"));
  const std::string error = ErrorOf(Repeat("ID=1 OR ", terms) + "ID=");
  EXPECT_NE(error.find("expected a field name or a value"), std::string::npos);
  EXPECT_LT(error.size(), 400u);
}

}  // namespace
}  // namespace qv::dbimpl
