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

TEST(CliArgsTest, ReadsMakeWithEveryOptionInBothForms) {
  const Arguments a =
      Parsed({"make", "layout.ini", "--source", "/src dir", "--media=DVD",
              "--work", "/w", "--drive=2", "--verify", "--stage", "--discs",
              "1,3", "--drives", "/d"});
  EXPECT_EQ(a.command, Command::kMake);
  EXPECT_EQ(a.layout, "layout.ini");
  EXPECT_EQ(a.source, "/src dir");
  EXPECT_EQ(a.media, "DVD");
  EXPECT_EQ(a.work, "/w");
  EXPECT_EQ(a.drive, 2);
  EXPECT_TRUE(a.verify && a.stage && !a.help);
  EXPECT_EQ(a.discs, "1,3");
  EXPECT_EQ(a.drives, "/d") << "global options may follow the command";
}

TEST(CliArgsTest, ReadsTheDriveCommandsAndHelpInEveryForm) {
  Arguments a =
      Parsed({"drives", "create", "/v", "--count", "3", "--type", "BDRE"});
  EXPECT_EQ(a.command, Command::kDrivesCreate);
  EXPECT_EQ(a.drive_folder, "/v");
  EXPECT_EQ(a.count, 3);
  EXPECT_EQ(a.media_type, "BDRE");
  a = Parsed({"lock", "1", "on"});
  EXPECT_EQ(a.command, Command::kLock);
  EXPECT_EQ(a.index, 1);
  EXPECT_TRUE(a.on);
  EXPECT_FALSE(Parsed({"mcn", "0", "OFF"}).on);
  for (const char* name : {"media", "eject", "close"}) {
    EXPECT_EQ(Parsed({name, "12"}).index, 12) << name;
  }

  for (const auto& words : std::vector<std::vector<std::string>>{
           {"make", "--help"}, {"help", "make"}, {"-h", "make", "x"}}) {
    a = Parsed(words);
    EXPECT_TRUE(a.help);
    EXPECT_EQ(a.command, Command::kMake);
  }
  EXPECT_EQ(Parsed({"--help"}).command, Command::kNone);
  EXPECT_EQ(Parsed({"drives", "--help"}).command, Command::kDrivesCreate);
}

TEST(CliArgsTest, UsageErrorsSayWhatIsWrong) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "no command"},
      {{"burn"}, "unknown command: burn"},
      {{"drives"}, "drives create"},
      {{"make", "l", "--media", "M"}, "--source"},
      {{"make", "l", "--source", "s"}, "--media"},
      {{"plan", "l", "--media", "M", "--verify"}, "unknown option"},
      {{"plan", "--media", "M"}, "takes 1 argument, got 0"},
      {{"lock", "0"}, "got 1"},
      {{"make", "l", "--source", "s", "--media"}, "--media needs a value"},
      {{"make", "l", "--source", "s", "--media", "M", "--verify=1"},
       "takes no value"},
      {{"make", "l", "--source", "s", "--media", "M", "--drive", "x"},
       "--drive"},
      {{"make", "l", "--source", "s", "--media", "M", "--discs="}, "--discs"},
      {{"lock", "0", "maybe"}, "on or off"},
      {{"eject", "-1"}, "unknown option"},
      {{"media", "one"}, "not a drive index"},
      {{"drives", "create", "/d", "--count", "0"}, "--count"},
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
