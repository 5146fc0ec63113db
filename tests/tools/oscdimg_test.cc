// The POSIX mastering tool: its command line as the boot disc build writes
// it, its failures, and real images checked with xorriso and 7zz.
#include <gtest/gtest.h>
#include <stdio.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "command_line.h"
#include "mastering.h"
#include "platform/platform.h"
#include "platform/posix/posix_backends.h"
#include "platform/text.h"
#include "support/core/temp_folder.h"

namespace oscdimg {
namespace {

namespace fs = std::filesystem;
using tessaline::testing::TempFolder;
using tessaline::testing::WriteFile;
using tessaline::testing::WritePatternFile;

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  return {std::istream_iterator<std::string>(stream), {}};
}

TEST(OscdimgCommandLineTest, ReadsTheLibrarysCommandLineAndRejectsOthers) {
  // Quotes go; either prefix and any case; the last two words are paths.
  const std::vector<std::pair<std::vector<std::string>, std::string>> good = {
      {{"/B\"/a b/e.com\"", "\"/a b/Burn\"", "\"/a b/i.iso\""},
       "|/a b/e.com|/a b/Burn|/a b/i.iso|00"},
      {Words("-lX -n -m -b/b.com /in /o"), "X|/b.com|/in|/o|11"},
      {Words("/LX /N /M /B/b.com /in /o"), "X|/b.com|/in|/o|11"},
      {Words("-lX /m /n /m"), "X||/n|/m|01"}};
  for (const auto& [words, expected] : good) {
    const ParsedCommandLine parsed = ParseCommandLine(words);
    ASSERT_EQ(parsed.outcome, ParsedCommandLine::Outcome::kRequest)
        << parsed.error;
    const MasteringRequest& r = parsed.request;
    EXPECT_EQ(r.label + "|" + r.boot_file + "|" + r.folder + "|" + r.image +
                  "|" + std::to_string(r.long_names) +
                  std::to_string(r.no_size_limit),
              expected);
  }
  for (const char* bad :
       {"", "/only-one", "-l /in /out", "-b /in /out", "-x /in /out",
        "-lTHIS_LABEL_IS_LONGER_THAN_32_CHARS /in /out", "-nm /in /out",
        "stray /in /out"}) {
    const ParsedCommandLine parsed = ParseCommandLine(Words(bad));
    EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::kError) << bad;
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_EQ(ParseCommandLine({"/?"}).outcome,
            ParsedCommandLine::Outcome::kHelp);
}

std::string Shell(const std::string& command) {
  std::string output(1 << 16, '\0');
  FILE* pipe = popen(command.c_str(), "r");
  output.resize(pipe ? fread(output.data(), 1, output.size(), pipe) : 0);
  if (pipe) pclose(pipe);
  return output;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

// A folder with blanks, quotes, '=' (special to xorriso's grafts) and
// non-ASCII in its names, a boot file and an image path, all below one
// temporary folder.
class OscdimgImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = temp_.path() / "work dir \"quoted\" a=b";
    folder_ = root_ / "Burn";
    boot_ = root_ / "boot files" / "etfs boot.com";
    image_ = root_ / "boot.iso";
    WriteFile(folder_ / "kiro" / "plugins.xml", "<plugins media=\"dvd\"/>\n");
    WritePatternFile(boot_, 2048, 7);
  }

  TempFolder temp_;
  fs::path root_, folder_, boot_, image_;
};

TEST_F(OscdimgImageTest, TheLibrarysCommandLineMakesAnImageThatLoadsTheBoot) {
  const fs::path long_name = folder_ / "données" /
                             "a name of more than sixty-four characters, "
                             "which Joliet alone would cut short.txt";
  WriteFile(long_name, "long name\n");
  // A file named like the hidden boot file keeps its content.
  WriteFile(folder_ / "eltorito.img", "mine\n");

  // Started as the library starts it: one Windows-style command line, the
  // paths quoted, blanks and quotes inside them.
  const std::wstring tool = tessaline::platform::FromUtf8(OSCDIMG_PATH);
  const auto wide = [](const fs::path& path) {
    std::wstring text;
    for (wchar_t c : tessaline::platform::FromUtf8(path.string())) {
      if (c == L'"') text += L'\\';  // a literal quote inside quotes
      text += c;
    }
    return text;
  };
  std::uint32_t error = 0;
  const std::unique_ptr<tessaline::platform::Process> process =
      tessaline::platform::posix::MakeProcesses()->Start(
          tool,
          L"\"" + tool + L"\" -lRECOVERYDISC1 /n /m /B\"" + wide(boot_) +
              L"\" \"" + wide(folder_) + L"\" \"" + wide(image_) + L"\"",
          &error);
  ASSERT_NE(process, nullptr) << error;
  ASSERT_EQ(process->Wait(120000), tessaline::platform::WaitResult::kEnded);
  std::uint32_t code = 1;
  ASSERT_TRUE(process->ExitCode(&code));
  ASSERT_EQ(code, 0u);

  const std::string indev = "xorriso -indev " + Quoted(image_);
  const std::string volume = Shell(indev + " -pvd_info 2>/dev/null");
  EXPECT_NE(volume.find("Volume Id    : RECOVERYDISC1\n"), std::string::npos)
      << volume;
  const std::string report =
      Shell(indev + " -report_el_torito plain 2>/dev/null");
  // "El Torito boot img :   1  BIOS  y   none  0x0000  0x00      4    LBA":
  // no emulation, four sectors loaded.
  std::smatch found;
  ASSERT_TRUE(std::regex_search(
      report, found,
      std::regex("El Torito boot img : +1 +BIOS +y +none +0x0000 +0x00 +4 "
                 "+([0-9]+)")))
      << report;
  const std::uint64_t lba = std::stoull(found[1]);
  EXPECT_EQ(tessaline::testing::ReadFile(image_).substr(lba * 2048, 2048),
            tessaline::testing::ReadFile(boot_));

  // Neither the boot file nor the catalog shows in the folders; the content
  // does, long and non-ASCII names included.
  const std::string listing = Shell("7zz l -ba " + Quoted(image_));
  EXPECT_EQ(listing.find("eltorito"), listing.rfind("eltorito")) << listing;
  EXPECT_EQ(listing.find("boot.cat"), std::string::npos) << listing;
  EXPECT_NE(listing.find("kiro/plugins.xml"), std::string::npos) << listing;
  const std::string extract = "7zz e -so " + Quoted(image_) + " ";
  EXPECT_EQ(Shell(extract + "eltorito.img 2>/dev/null"), "mine\n");
  EXPECT_EQ(Shell(extract + Quoted(fs::path("données") / long_name.filename()) +
                  " 2>/dev/null"),
            "long name\n");
}

TEST_F(OscdimgImageTest, MissingInputsAndAFailingXorrisoLeaveNoImage) {
  // The last one says it succeeded but leaves half an image: the tool must
  // not pass it on as complete, and shows its output.
  const fs::path liar = root_ / "liar.sh";
  WriteFile(liar,
            "#!/bin/sh\n"
            "echo 'writing...'\n"
            "while [ $# -gt 0 ]; do\n"
            "  if [ \"$1\" = -o ]; then echo partial > \"$2\"; fi; shift\n"
            "done\n");
  fs::permissions(liar, fs::perms::owner_all);
  const std::string boot = "/B" + boot_.string();
  const std::vector<std::string> good = {"-lX", boot, folder_.string(),
                                         image_.string()};
  const std::string absent = (root_ / "absent").string(),
                    none = (root_ / "none.com").string();
  const struct {
    std::vector<std::string> arguments;
    std::string xorriso, message;
  } cases[] = {
      {{"-lX", boot, absent, image_.string()},
       "xorriso",
       "oscdimg: folder not found: " + absent},
      {{"-lX", "/B" + none, folder_.string(), image_.string()},
       "xorriso",
       "oscdimg: boot sector file not found: " + none},
      {{"-lX", folder_.string(), (root_ / "no such dir/boot.iso").string()},
       "xorriso",
       "folder of the image file not found"},
      {good, "/bin/false", "/bin/false failed with exit status 1"},
      {good, (root_ / "no-xorriso").string(), "cannot start"},
      {good, liar.string(), "left no complete image"},
      {good, liar.string(), "  writing..."}};
  for (const auto& c : cases) {
    std::ostringstream out, errors;
    EXPECT_EQ(RunOscdimg(c.arguments, c.xorriso, out, errors), kExitFailed)
        << c.message;
    EXPECT_NE(errors.str().find(c.message), std::string::npos) << errors.str();
    EXPECT_FALSE(fs::exists(image_));
  }
}

}  // namespace
}  // namespace oscdimg
