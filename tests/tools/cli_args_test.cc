// The host's command line.
#include "cli_args.h"

#include <gtest/gtest.h>

namespace tessaline_cli {
namespace {

Arguments Parsed(const std::vector<std::string>& words) {
  const ParseResult result = ParseArguments(words);
  EXPECT_TRUE(result.ok) << testing::PrintToString(words) << result.error;
  return result.arguments;
}

// The runs of the host read the other options; these are read here alone.
TEST(CliArgsTest, ReadsRecorderListsAndHelpInEveryForm) {
  const std::vector<std::string> make = {"make",    "l", "--source", "s",
                                         "--media", "M", "--drives", "/d"};
  std::vector<std::string> words = make;
  words.push_back("--drive=2,0");
  Arguments a = Parsed(words);
  EXPECT_EQ(a.recorders, (std::vector<std::int32_t>{2, 0}));
  EXPECT_EQ(a.drives, "/d") << "global options may follow the command";
  words.back() = "--drive=all";
  EXPECT_TRUE(Parsed(words).all_recorders);
  EXPECT_EQ(Parsed(make).recorders, (std::vector<std::int32_t>{0}));
  for (const auto& help : std::vector<std::vector<std::string>>{
           {"make", "--help"}, {"help", "make"}, {"-h", "make", "x"}}) {
    a = Parsed(help);
    EXPECT_TRUE(a.help && a.command == Command::kMake);
  }
}

TEST(CliArgsTest, UsageErrorsSayWhatIsWrong) {
  const std::vector<std::string> make = {"make", "l",       "--source",
                                         "s",    "--media", "M"};
  const auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), make.begin(), make.end());
    return more;
  };
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command"},
      {{"burn"}, "unknown command: burn"},
      {{"drives"}, "drives create"},
      {{"make", "l", "--source", "s"}, "--media"},
      {{"plan", "l", "--media", "M", "--verify"}, "unknown option"},
      {{"plan", "--media", "M"}, "takes 1 argument, got 0"},
      {{"make", "l", "--source", "s", "--media"}, "--media needs a value"},
      {with({"--verify=1"}), "takes no value"},
      {with({"--drive", "x"}), "--drive"},
      {with({"--drive", "1,1"}), "each once"},
      {with({"--discs="}), "--discs"},
      {{"lock", "0", "maybe"}, "on or off"},
      {{"eject", "-1"}, "unknown option"},
      {{"drives", "create", "/d", "--count", "65"}, "--count"},
      {{"recorders", "--drives"}, "--drives needs a folder"},
  };
  for (const auto& [words, expected] : cases) {
    const ParseResult result = ParseArguments(words);
    EXPECT_FALSE(result.ok) << testing::PrintToString(words);
    EXPECT_NE(result.error.find(expected), std::string::npos)
        << testing::PrintToString(words) << " gave: " << result.error;
  }
}

TEST(CliArgsTest, DiscListsNameDiscsOfThePlan) {
  std::vector<std::int32_t> discs;
  std::string error;
  ASSERT_TRUE(ParseDiscList("", 3, &discs, &error));
  EXPECT_EQ(discs, (std::vector<std::int32_t>{1, 2, 3}));
  ASSERT_TRUE(ParseDiscList("3,1-2,2", 3, &discs, &error));
  EXPECT_EQ(discs, (std::vector<std::int32_t>{1, 2, 3}));
  for (const char* bad :
       {"0", "4", "2-4", "3-2", "1,", ",1", "1,,2", "a", "-1", "1-", "1 "}) {
    EXPECT_FALSE(ParseDiscList(bad, 3, &discs, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace tessaline_cli
