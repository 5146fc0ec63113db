// The layout file read through the system's profile reader (on Windows
// GetPrivateProfileStringW): the creator must arrive at the same plans and
// failures on every system.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/core/test_platform.h"
#include "tessaline/tessaline.h"

namespace tessaline {
namespace {

using Plan = std::map<std::int32_t, std::wstring>;

struct Outcome {
  std::uint32_t discs = 0;
  Plan plan;
  std::wstring failure;  // the CreateMediaException's message, if any
  bool operator==(const Outcome&) const = default;
};

struct LayoutCase {
  const char* name;
  std::string bytes;
  Outcome expected;
};

// UTF-16LE bytes with their byte-order mark.
std::string Utf16(const std::u16string& text) {
  std::string bytes("\xFF\xFE");
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// Every case reads media name "Rec"; every drive has room. The plan is
// compared for discs 1 and 2.
std::vector<LayoutCase> Cases() {
  return {
      {"OtherSectionsLineFeedsAndAGap",
       "[Other]\nRec1=no\n[MEDIA:Rec]\nRec1=a\nRec2=b\nRec4=d\n"
       "[SIZE:Rec]\nRec1=1\nRec2=2\nRec4=4\n",
       {2, {{1, L"a"}, {2, L"b"}}, L""}},
      // The reader finds sections and keys without case, and the first key
      // of a name wins; the creator wants the exact name in the list.
      {"CaseOfNames",
       "[media:rec]\nREC1=upper\nRec1=exact\nRec2=b\n[size:REC]\nrec1=1\n"
       "rec2=2\n",
       {2, {{1, L"upper"}, {2, L"b"}}, L""}},
      {"BlanksQuotesAndComments",
       "[MEDIA:Rec]\r\n  Rec1 =  \"a, b\"  \r\n;Rec2=hidden\r\n"
       "Rec2= 'c' \r\n[SIZE:Rec]\r\nRec1 = 10 \r\nRec2=20\r\n",
       {2, {{1, L"a, b"}, {2, L"c"}}, L""}},
      {"VerticalTabsAreDropped",
       "[MEDIA:Rec]\nRec1=a\v,\vb\n[SIZE:Rec]\nRec1=1\n",
       {1, {{1, L"a,b"}}, L""}},
      {"OnlyTheFirstSectionOfANameCounts",
       "Rec1=orphan\n[MEDIA:Rec]\nRec1=first\n[SIZE:Rec]\nRec1=1\nRec2=2\n"
       "[MEDIA:Rec]\nRec1=second\nRec2=more\n",
       {1, {{1, L"first"}}, L""}},
      {"Utf16WithByteOrderMark",
       Utf16(u"[MEDIA:Rec]\r\nRec1=\u00c4,\u00f6\r\n[SIZE:Rec]\r\nRec1=5\r\n"),
       {1, {{1, L"\u00c4,\u00f6"}}, L""}},
      {"EmptyFile", "", {0, {}, L"Sections not found"}},
      {"NoMediaSection",
       "[SIZE:Rec]\nRec1=1\n",
       {0, {}, L"Section not found:MEDIA:Rec"}},
      {"MediaSectionWithoutKeys",
       "[MEDIA:Rec]\n[SIZE:Rec]\nRec1=1\n",
       {0, {}, L"Section not found:MEDIA:Rec"}},
      {"NoExactFirstKey",
       "[MEDIA:Rec]\nrec1=a\n[SIZE:Rec]\nRec1=1\n",
       {0, {}, L"Value not found (for key)Rec1"}},
      {"EmptySize",
       "[MEDIA:Rec]\nRec1=a\n[SIZE:Rec]\nRec1=\n",
       {0, {}, L"Value not found (for key)Rec1"}},
      {"EmptyItemsAfterTheQuotes",
       "[MEDIA:Rec]\nRec1=a\nRec2=\"\"\n[SIZE:Rec]\nRec1=1\nRec2=2\n",
       {1, {{1, L"a"}}, L"Value not found (for key)Rec2"}},
      {"ItemsThatNameNoItem",
       "[MEDIA:Rec]\nRec1=a\nRec2=,\v,\n[SIZE:Rec]\nRec1=1\nRec2=2\n",
       {1, {{1, L"a"}}, L"Value not found (for key)Rec2"}},
      // The reader's buffer holds 0xFFFFF characters and the end.
      {"ALongerValueIsRefusedNotCut",
       "[MEDIA:Rec]\nRec1=" + std::string(0xFFFFF, 'a') + "\nRec2=" +
           std::string(0x100000, 'b') + "\n[SIZE:Rec]\nRec1=1\nRec2=2\n",
       {1,
        {{1, std::wstring(0xFFFFF, L'a')}},
        L"Value too long (for key)Rec2"}},
  };
}

Outcome Analyze(const std::string& bytes) {
  testing::TempFolder folder;
  testing::WriteFile(folder.path() / "layout.ini", bytes);
  auto test = testing::MakeTestPlatform();
  test.volumes->SetFreeBytes(folder.Wide(), INT64_MAX);
  Tessaline creator(folder.Wide("work").c_str(), folder.Wide().c_str(), L"Rec",
                    test.platform);
  Outcome outcome;
  try {
    creator.AnalyzeLayout(folder.Wide("layout.ini").c_str());
  } catch (const CreateMediaException& e) {
    outcome.failure = e.message;
  }
  outcome.discs = creator.NumDiscs();
  for (std::int32_t disc = 1; disc <= 2; ++disc) {
    std::wstring items;
    if (creator.DiscPlan(disc, &items, nullptr)) outcome.plan[disc] = items;
  }
  return outcome;
}

TEST(LayoutReaderTest, TheSystemReaderGivesTheSamePlansEverywhere) {
  for (const LayoutCase& layout : Cases()) {
    EXPECT_EQ(Analyze(layout.bytes), layout.expected) << layout.name;
  }
}

}  // namespace
}  // namespace tessaline
