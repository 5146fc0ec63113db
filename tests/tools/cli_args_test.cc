// The host's command line.
#include "cli_args.h"

#include <gtest/gtest.h>

namespace tessaline_cli {
namespace {

TEST(CliArgsTest, ReadsMakeWithEveryOptionInBothForms) {
  const ParseResult result =
      ParseArguments({"make", "layout.ini", "--source", "/src dir",
                      "--media=DVD", "--work", "/w", "--drive=2", "--verify",
                      "--stage", "--discs", "1,3", "--drives", "/d"});
  ASSERT_TRUE(result.ok) << result.error;
  const Arguments& a = result.arguments;
  EXPECT_EQ(a.command, Command::kMake);
  EXPECT_EQ(a.layout, "layout.ini");
  EXPECT_EQ(a.source, "/src dir");
  EXPECT_EQ(a.media, "DVD");
  EXPECT_EQ(a.work, "/w");
  EXPECT_EQ(a.drive, 2);
  EXPECT_TRUE(a.verify);
  EXPECT_TRUE(a.stage);
  EXPECT_EQ(a.discs, "1,3");
  EXPECT_EQ(a.drives, "/d") << "global options may follow the command";
  EXPECT_FALSE(a.help);
}

TEST(CliArgsTest, DefaultsOfMakeAndDrivesCreate) {
  ParseResult result = ParseArguments(
      {"--drives=/d", "make", "l", "--source", "s", "--media", "M"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.arguments.drive, 0);
  EXPECT_FALSE(result.arguments.verify);
  EXPECT_FALSE(result.arguments.stage);
  EXPECT_EQ(result.arguments.discs, "");
  EXPECT_EQ(result.arguments.work, "");

  result = ParseArguments({"drives", "create", "/v"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.arguments.command, Command::kDrivesCreate);
  EXPECT_EQ(result.arguments.drive_folder, "/v");
  EXPECT_EQ(result.arguments.count, 1);
  EXPECT_EQ(result.arguments.media_type, "DVDPLUSRW");

  result = ParseArguments(
      {"drives", "create", "/v", "--count", "3", "--type", "BDRE"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.arguments.count, 3);
  EXPECT_EQ(result.arguments.media_type, "BDRE");
}

TEST(CliArgsTest, ReadsTheDriveCommands) {
  ParseResult result = ParseArguments({"lock", "1", "on"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.arguments.command, Command::kLock);
  EXPECT_EQ(result.arguments.index, 1);
  EXPECT_TRUE(result.arguments.on);

  result = ParseArguments({"mcn", "0", "OFF"});
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.arguments.command, Command::kMcn);
  EXPECT_FALSE(result.arguments.on);

  for (const char* name : {"media", "eject", "close"}) {
    result = ParseArguments({name, "12"});
    ASSERT_TRUE(result.ok) << name << ": " << result.error;
    EXPECT_EQ(result.arguments.index, 12);
  }
  result = ParseArguments({"recorders"});
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.arguments.command, Command::kRecorders);
}

TEST(CliArgsTest, HelpForEveryCommandInEveryForm) {
  for (const auto& words : std::vector<std::vector<std::string>>{
           {"make", "--help"}, {"help", "make"}, {"-h", "make", "x"}}) {
    const ParseResult result = ParseArguments(words);
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_TRUE(result.arguments.help);
    EXPECT_EQ(result.arguments.command, Command::kMake);
  }
  ParseResult result = ParseArguments({"--help"});
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.arguments.command, Command::kNone);
  result = ParseArguments({"drives", "--help"});
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.arguments.command, Command::kDrivesCreate);

  for (Command command :
       {Command::kNone, Command::kDrivesCreate, Command::kRecorders,
        Command::kPlan, Command::kMake, Command::kMedia, Command::kEject,
        Command::kClose, Command::kLock, Command::kMcn}) {
    EXPECT_EQ(HelpText(command).rfind("usage: tessaline", 0), 0u);
  }
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
      {{"plan", "a", "b", "--media", "M"}, "got 2"},
      {{"make", "l", "--source", "s", "--media"}, "--media needs a value"},
      {{"make", "l", "--source", "s", "--media", "M", "--verify=1"},
       "takes no value"},
      {{"make", "l", "--source", "s", "--media", "M", "--drive", "x"},
       "--drive"},
      {{"make", "l", "--source", "s", "--media", "M", "--discs="}, "--discs"},
      {{"lock", "0"}, "got 1"},
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
  ASSERT_TRUE(ParseDiscList("2", 3, &discs, &error));
  EXPECT_EQ(discs, (std::vector<std::int32_t>{2}));

  for (const char* bad :
       {"0", "4", "2-4", "3-2", "1,", ",1", "1,,2", "a", "-1", "1-", "1 "}) {
    EXPECT_FALSE(ParseDiscList(bad, 3, &discs, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace tessaline_cli
