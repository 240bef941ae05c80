#include <gtest/gtest.h>

#include "qvd3/platform/sys/exception.h"
#include "qvd3/platform/sys/format.h"
#include "qvd3/platform/sys/string_table.h"
#include "qvd3/platform/sys/utf8.h"

namespace qv {
namespace {

TEST(FormatTest, SubstitutesTextsAndNumbersInOrder) {
  EXPECT_EQ(Format("Deseja realmente eliminar o usuário %s ?", {"joão"}),
            "Deseja realmente eliminar o usuário joão ?");
  const std::string name = "ana";
  EXPECT_EQ(Format("%s tem %d acessos (%d%%)", {name, 3, -40}), "ana tem 3 acessos (-40%)");
  EXPECT_EQ(Format("sem argumentos", {}), "sem argumentos");
  EXPECT_EQ(Format("%s", {"só o primeiro", "sobra"}), "só o primeiro");
  // A substituted text is never itself read as a pattern.
  EXPECT_EQ(Format("%s e %s", {"100%s", "x"}), "100%s e x");
  EXPECT_EQ(Format("%s", {std::string_view("a\0b", 3)}), std::string("a\0b", 3));
}

TEST(FormatTest, MismatchedPatternsRaiseConvertError) {
  EXPECT_THROW(Format("%s e %s", {"um"}), EConvertError);
  EXPECT_THROW(Format("%d", {"texto"}), EConvertError);
  EXPECT_THROW(Format("%s", {7}), EConvertError);
  EXPECT_THROW(Format("%x", {7}), EConvertError);
  EXPECT_THROW(Format("100%", {}), EConvertError);
  try {
    Format("Usuário %s", {});
    ADD_FAILURE() << "no error";
  } catch (const EConvertError& error) {
    EXPECT_NE(std::string(error.what()).find("'Usuário %s'"), std::string::npos) << error.what();
  }
}

TEST(StringTableTest, RegisteredEntriesAreFoundAndUnknownOnesAreEmpty) {
  RegisterResourceStrings({{91001, "Primeiro"}, {91002, "  com brancos "}, {91003, ""}});
  EXPECT_EQ(LoadStr(91001), "Primeiro");
  EXPECT_EQ(LoadStr(91002), "  com brancos ");
  EXPECT_EQ(LoadStr(91003), "");
  EXPECT_EQ(LoadStr(91004), "");
  EXPECT_EQ(LoadStr(-1), "");
}

TEST(StringTableTest, TextsAreCopiedAndReRegistrationReplaces) {
  {
    std::string temporary = "Temporário";
    const ResourceString entries[] = {{91010, temporary}};
    RegisterResourceStrings(entries);
    temporary.assign("overwritten");
  }
  EXPECT_EQ(LoadStr(91010), "Temporário");
  RegisterResourceStrings({{91010, "Novo"}});
  EXPECT_EQ(LoadStr(91010), "Novo");
}

TEST(Utf8Test, CountsAndCutsByCharacters) {
  EXPECT_EQ(Utf8Length(""), 0u);
  EXPECT_EQ(Utf8Length("Usuário"), 7u);
  EXPECT_EQ(Utf8Length("ação €𝄞"), 7u);
  EXPECT_EQ(Utf8Truncate("Usuário Expira", 7), "Usuário");
  EXPECT_EQ(Utf8Truncate("ção", 1), "ç");
  EXPECT_EQ(Utf8Truncate("€𝄞x", 2), "€𝄞");
  EXPECT_EQ(Utf8Truncate("abc", 10), "abc");
  EXPECT_EQ(Utf8Truncate("abc", 0), "");
}

TEST(Utf8Test, InvalidBytesCountAsOneCharacterEach) {
  // A Latin-1 "ã" (0xE3) followed by ASCII, a lone continuation byte and a
  // cut-off three-byte sequence at the end.
  const std::string text = "n\xE3o\x80\xE2\x82";
  EXPECT_EQ(Utf8Length(text), 6u);
  EXPECT_EQ(Utf8Truncate(text, 2), "n\xE3");
  EXPECT_EQ(Utf8Truncate(text, 6), text);
}

TEST(Utf8Test, TheFirstMalformedCharacterIsFoundWherePostgreSqlWouldRefuseIt) {
  constexpr auto npos = std::string_view::npos;
  EXPECT_EQ(Utf8InvalidAt(""), npos);
  EXPECT_EQ(Utf8InvalidAt("ação €𝄞 \xF4\x8F\xBF\xBF"), npos);  // U+10FFFF is the last
  EXPECT_EQ(Utf8InvalidAt("n\xE3o"), 1u);                        // Latin-1
  EXPECT_EQ(Utf8InvalidAt("ab\x80"), 2u);                        // lone continuation
  EXPECT_EQ(Utf8InvalidAt("€\xE2\x82"), 3u);                     // cut off
  EXPECT_EQ(Utf8InvalidAt("\xC0\xAF"), 0u);                      // overlong "/"
  EXPECT_EQ(Utf8InvalidAt("\xE0\x80\xAF"), 0u);                  // overlong
  EXPECT_EQ(Utf8InvalidAt("x\xED\xA0\x80"), 1u);                 // surrogate U+D800
  EXPECT_EQ(Utf8InvalidAt("\xF4\x90\x80\x80"), 0u);              // beyond U+10FFFF
  EXPECT_EQ(Utf8InvalidAt("\xFF"), 0u);
}

}  // namespace
}  // namespace qv
