#include "platform/profile_parser.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace tessaline::platform {
namespace {

using Names = std::vector<std::wstring>;

TEST(ProfileParserTest, NamesMatchWithoutCaseAndValuesLoseBlanksAndQuotes) {
  const ProfileDocument doc(
      L"  [ Media:Rec ]  \r\n\tRec1 \t=  \t a , b\t "
      L"\r\n[M\u00e9dia]\nCl\u00e9\n"
      L"d=\"a b\"\ns= 'x' \nn=\"'a'\"\nm=\"a'\nl=\"\ne=\"\"\nc=3\rd=4\n");
  EXPECT_EQ(doc.SectionNames(), (Names{L"Media:Rec", L"M\u00e9dia"}));
  EXPECT_EQ(doc.KeyNames(L"MEDIA:REC"), Names{L"Rec1"});
  EXPECT_EQ(doc.Value(L"media:rec", L"REC1"), L"a , b");
  EXPECT_EQ(doc.Value(L"MEDIA:RE", L"REC1"), L"");
  const std::wstring s = L"M\u00c9DIA";
  EXPECT_EQ(doc.KeyNames(s), (Names{L"d", L"s", L"n", L"m", L"l", L"e", L"c"}));
  EXPECT_EQ(doc.Value(s, L"D"), L"a b");
  EXPECT_EQ(doc.Value(s, L"s"), L"x");
  EXPECT_EQ(doc.Value(s, L"n"), L"'a'");
  EXPECT_EQ(doc.Value(s, L"m"), L"\"a'");
  EXPECT_EQ(doc.Value(s, L"l"), L"\"");
  EXPECT_EQ(doc.Value(s, L"e"), L"");
  // A lone carriage return ends no line.
  EXPECT_EQ(doc.Value(s, L"c"), L"3\rd=4");
}

TEST(ProfileParserTest, CommentsRepeatsAndMalformedLines) {
  const ProfileDocument doc(
      L"orphan=1\n; [hidden]\n[s]\n  ;k=no\n#k=hash\nv=a ; b\nk=first\n"
      L"K=second\nno equals\n=no name\n[broken\nafter=1\n[]\n[a]b] x\nk=v=w\n"
      L"[S]\nlate=1\n");
  EXPECT_EQ(doc.SectionNames(), (Names{L"s", L"a]b", L"S"}));
  EXPECT_EQ(doc.KeyNames(L"s"), (Names{L"#k", L"v", L"k", L"K", L"after"}));
  EXPECT_EQ(doc.Value(L"s", L"v"), L"a ; b");
  EXPECT_EQ(doc.Value(L"s", L"K"), L"first");
  EXPECT_EQ(doc.Value(L"s", L"late"), L"");
  EXPECT_EQ(doc.Value(L"a]b", L"k"), L"v=w");
  EXPECT_TRUE(ProfileDocument(L"[").SectionNames().empty());
  // A value cut at its NUL would name something else: it is refused.
  const ProfileDocument nul(std::wstring_view(L"[s]\nk=src\0/x\nj=a\n", 17));
  EXPECT_EQ(nul.KeyNames(L"s"), (Names{L"k", L"j"}));
  EXPECT_EQ(nul.Value(L"s", L"k"), L"");
  EXPECT_EQ(nul.Value(L"s", L"j"), L"a");
}

TEST(ProfileParserTest, CaseFoldingAndDecoding) {
  EXPECT_TRUE(
      ProfileNamesEqual(L"\u00ff\u0101\u013a\u017e\u03c2\u0434\u0451\u044f",
                        L"\u0178\u0100\u0139\u017d\u03a3\u0414\u0401\u042f"));
  EXPECT_FALSE(ProfileNamesEqual(L"\u00f7", L"\u00d7"));
  EXPECT_FALSE(ProfileNamesEqual(L"[", L"{"));

  // UTF-16LE: "[s]\nk=é", a surrogate pair and lone low surrogates.
  const std::string utf16(
      "\xFF\xFE[\0s\0]\0\n\0k\0=\0\xE9\0\x3D\xD8\0\xDE\0\xDC\xFF\xDF", 24);
  EXPECT_EQ(DecodeProfileText(utf16),
            sizeof(wchar_t) == 4 ? L"[s]\nk=\u00e9\U0001F600\uFFFD\uFFFD"
                                 : L"[s]\nk=\u00e9\xD83D\xDE00\uFFFD\uFFFD");
  auto fallback = [](std::string_view) { return std::wstring(L"locale"); };
  EXPECT_EQ(DecodeProfileText("\xEF\xBB\xBFk=\xC3\xA9", fallback), L"k=\u00e9");
  EXPECT_EQ(DecodeProfileText("k=\xC3\xA9", fallback), L"locale");
  EXPECT_EQ(DecodeProfileText("k=\xC3\xA9"), L"k=\u00e9");
}

TEST(TextTest, Utf8AtTheLengthBoundaries) {
  std::wstring text;
  for (char32_t c : {0x7FF, 0x800, 0x10FFFF}) AppendCodePoint(text, c);
  const std::string utf8 = "\xDF\xBF\xE0\xA0\x80\xF4\x8F\xBF\xBF";
  EXPECT_EQ(ToUtf8(text), utf8);
  EXPECT_EQ(FromUtf8(utf8), text);
}

}  // namespace
}  // namespace tessaline::platform
