// The POSIX mastering tool: its command line as the boot disc build writes
// it, its failures, and real images checked with xorriso and 7zz.
#include <gtest/gtest.h>
#include <stdio.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <memory>
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

TEST(OscdimgCommandLineTest, QuotesAreRemovedAndTheLastTwoWordsArePaths) {
  ParsedCommandLine parsed = ParseCommandLine(
      {"/B\"/a b/etfsboot.com\"", "\"/a b/Burn\"", "\"/a b/boot.iso\""});
  ASSERT_EQ(parsed.outcome, ParsedCommandLine::Outcome::kRequest);
  EXPECT_EQ(parsed.request.boot_file, "/a b/etfsboot.com");
  EXPECT_EQ(parsed.request.folder, "/a b/Burn");
  EXPECT_EQ(parsed.request.image, "/a b/boot.iso");
  parsed = ParseCommandLine({"-lX", "/m", "/n", "/m"});
  ASSERT_EQ(parsed.outcome, ParsedCommandLine::Outcome::kRequest);
  EXPECT_EQ(parsed.request.folder, "/n");
  EXPECT_EQ(parsed.request.image, "/m");
  EXPECT_TRUE(parsed.request.boot_file.empty());
}

TEST(OscdimgCommandLineTest, OptionsTakeEitherPrefixAndAnyCase) {
  for (const auto& [label, n, m, boot] :
       std::vector<std::array<std::string, 4>>{
           {"-lX", "-n", "-m", "-b/b.com"},
           {"/LX", "/N", "/M", "/B/b.com"},
           {"-LX", "/n", "-M", "/b/b.com"}}) {
    const ParsedCommandLine parsed =
        ParseCommandLine({label, n, m, boot, "/in", "/out.iso"});
    ASSERT_EQ(parsed.outcome, ParsedCommandLine::Outcome::kRequest)
        << label << " " << parsed.error;
    EXPECT_EQ(parsed.request.label, "X");
    EXPECT_EQ(parsed.request.boot_file, "/b.com");
    EXPECT_TRUE(parsed.request.long_names && parsed.request.no_size_limit);
  }
}

TEST(OscdimgCommandLineTest, RejectsBadCommandLines) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"/only-one"},
      {"-l", "/in", "/out"},
      {"-b", "/in", "/out"},
      {"-lTHIS_LABEL_IS_LONGER_THAN_32_CHARS", "/in", "/out"},
      {"-x", "/in", "/out"},
      {"-nm", "/in", "/out"},
      {"stray", "/in", "/out"},
  };
  for (const auto& arguments : bad) {
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    EXPECT_EQ(parsed.outcome, ParsedCommandLine::Outcome::kError)
        << testing::PrintToString(arguments);
    EXPECT_FALSE(parsed.error.empty());
  }
  EXPECT_EQ(ParseCommandLine({"/?"}).outcome,
            ParsedCommandLine::Outcome::kHelp);
}

struct Outcome {
  int status;
  std::string out;
  std::string errors;
};

Outcome RunTool(const std::vector<std::string>& arguments,
                const std::string& xorriso = "xorriso") {
  std::ostringstream out;
  std::ostringstream errors;
  const int status = RunOscdimg(arguments, xorriso, out, errors);
  return {status, out.str(), errors.str()};
}

std::string Shell(const std::string& command) {
  std::string output;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"),
                                             pclose);
  if (!pipe) return output;
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
    output.append(buffer, got);
  }
  return output;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

std::string ReadBytes(const fs::path& path, std::uint64_t offset,
                      std::size_t size) {
  std::ifstream file(path, std::ios::binary);
  file.seekg(static_cast<std::streamoff>(offset));
  std::string bytes(size, '\0');
  file.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return bytes;
}

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
  // The image starts at sector 0: the primary volume descriptor is at 16.
  EXPECT_EQ(ReadBytes(image_, 16 * 2048, 6),
            "\x01"
            "CD001");

  const std::string indev = "xorriso -indev " + Quoted(image_);
  const std::string volume = Shell(indev + " -pvd_info 2>/dev/null");
  EXPECT_NE(volume.find("Volume Id    : RECOVERYDISC1\n"), std::string::npos)
      << volume;
  const std::string report =
      Shell(indev + " -report_el_torito plain 2>/dev/null");
  // "El Torito boot img :   1  BIOS  y   none  0x0000  0x00      4    LBA"
  std::istringstream lines(report);
  std::string line;
  std::uint64_t lba = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("El Torito boot img :", 0) != 0) continue;
    std::istringstream fields(line.substr(20));
    std::string number, platform, bootable, emulation, segment, header;
    int load_size = 0;
    fields >> number >> platform >> bootable >> emulation >> segment >>
        header >> load_size >> lba;
    EXPECT_EQ(platform, "BIOS");
    EXPECT_EQ(bootable, "y");
    EXPECT_EQ(emulation, "none");
    EXPECT_EQ(load_size, 4);
  }
  ASSERT_NE(lba, 0u) << report;
  EXPECT_EQ(ReadBytes(image_, lba * 2048, 2048),
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

TEST_F(OscdimgImageTest, MissingInputsFailWithAMessage) {
  const std::string boot = "/B" + boot_.string();
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"-lX", boot, (root_ / "absent").string(), image_.string()},
       "oscdimg: folder not found: " + (root_ / "absent").string()},
      {{"-lX", "/B" + (root_ / "none.com").string(), folder_.string(),
        image_.string()},
       "oscdimg: boot sector file not found: " + (root_ / "none.com").string()},
      {{"-lX", folder_.string(), (root_ / "no such dir/boot.iso").string()},
       "folder of the image file not found"},
      {{"-q", folder_.string(), image_.string()}, "unknown option: -q"}};
  for (const auto& [arguments, message] : cases) {
    const Outcome outcome = RunTool(arguments);
    EXPECT_EQ(outcome.status, arguments[0] == "-q" ? kExitUsage : kExitFailed);
    EXPECT_NE(outcome.errors.find(message), std::string::npos)
        << outcome.errors;
  }
  EXPECT_FALSE(fs::exists(image_));
}

TEST_F(OscdimgImageTest, AFailingXorrisoLeavesNoImage) {
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
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/bin/false", "/bin/false failed with exit status 1"},
      {(root_ / "no-xorriso").string(), "cannot start"},
      {liar.string(), "left no complete image"}};
  for (const auto& [xorriso, message] : cases) {
    const Outcome outcome = RunTool(
        {"-lX", "/B" + boot_.string(), folder_.string(), image_.string()},
        xorriso);
    EXPECT_EQ(outcome.status, kExitFailed);
    EXPECT_NE(outcome.errors.find(message), std::string::npos)
        << outcome.errors;
    EXPECT_FALSE(fs::exists(image_));
    if (xorriso == liar.string()) {
      EXPECT_NE(outcome.errors.find("  writing..."), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace oscdimg
