#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "platform/text.h"
#include "support/rig/drive_rig.h"

namespace tessaline::testing {
namespace {

namespace fs = std::filesystem;

struct Layout {
  const char* name;
  int disc;
  const char* items;
  int verify;
  // Empty: the disc is made and verified. Otherwise the failure (12), which
  // starts with {src} or {work} for that folder.
  const char* failure;
};

class DiscContentTest : public DriveRig,
                        public ::testing::WithParamInterface<Layout> {
 protected:
  void MakeLinkedContent() {
    MakeSource();
    WriteFile(source_ / "a.txt", "a");
    WriteFile(source_ / "dir" / "keep.txt", "keep");
    WriteFile(source_ / "dir" / "sub.txt", "sub");
    WriteFile(source_ / "RECOVERY2", "an item, not the marker");
    WriteFile(source_ / "DVD", "an item, not the marker");
    WriteFile(temp_.path() / "outside" / "secret.txt", "secret");
    for (const char* folder : {"links", "out", "loop"}) {
      fs::create_directories(source_ / folder);
    }
    fs::create_directory_symlink("../data/folder0", source_ / "links" / "in");
    fs::create_symlink("../a.txt", source_ / "links" / "a");
    fs::create_directory_symlink(temp_.path() / "outside",
                                 source_ / "out" / "away");
    fs::create_symlink(temp_.path() / "outside" / "secret.txt",
                       source_ / "secret");
    fs::create_directory_symlink(".", source_ / "loop" / "here");
    fs::create_symlink("self", source_ / "self");
  }

  fs::path Expected(const std::string& items) const {
    const fs::path expected = temp_.path() / "expected";
    std::stringstream list(items);
    for (std::string item; std::getline(list, item, ',');) {
      fs::create_directories((expected / item).parent_path());
      fs::copy(
          source_ / item, expected / item,
          fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
    if (fs::exists(expected / "kiro" / "plugins.xml")) {
      fs::copy_file(source_ / "kiro" / "pluginsDVD.xml",
                    expected / "kiro" / "plugins.xml",
                    fs::copy_options::overwrite_existing);
    }
    WriteFile(expected / "RECOVERY2", "");
    return expected;
  }
};

TEST_P(DiscContentTest, DiscHoldsWhatTheLayoutNames) {
  const Layout& layout = GetParam();
  MakeLinkedContent();
  WriteFile(layout_, std::string("[MEDIA:RECOVERY]\r\nRECOVERY1=") +
                         (layout.disc == 1 ? layout.items : "boot") +
                         "\r\nRECOVERY2=" + layout.items +
                         "\r\n[SIZE:RECOVERY]\r\nRECOVERY1=4000000\r\n"
                         "RECOVERY2=4000000\r\n");
  AddDrive("drive0", IMAPI_MEDIA_TYPE_DVDPLUSRW);
  Tessaline creator = SystemCreator(work_);
  const StatusReport final = MakeDisc(creator, layout.disc, layout.verify);
  Tessaline::EjectClose(0, false);

  if (*layout.failure != '\0') {
    EXPECT_EQ(final.code, 12);
    const std::string failure = layout.failure;
    EXPECT_EQ(
        log_.FailureText(),
        platform::FromUtf8((failure[1] == 's' ? source_ : work_).string() +
                           failure.substr(failure.find('}') + 1)));
    EXPECT_FALSE(fs::exists(Ejected(1)));  // nothing was written
    return;
  }
  EXPECT_EQ(final.code, 10) << platform::ToUtf8(log_.FailureText());
  const fs::path disc = temp_.path() / "disc";
  auto seven =
      RunCommand({"7zz", "x", "-y", "-o" + disc.string(), Ejected(1).string()});
  ASSERT_EQ(seven.status, 0) << seven.output;
  EXPECT_EQ(TreeOf(disc), TreeOf(Expected(layout.items)));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DiscContentTest,
    // clang-format off
    ::testing::Values(
        Layout{"NestedEntriesKeepEveryFile", 2, "a.txt,dir,dir/sub.txt", 1, ""},
        Layout{"PluginFolder", 2, "data,kiro", 1, ""},
        Layout{"PluginListItem", 2, "kiro/pluginsDVD.xml,kiro/plugins.xml", 1, ""},
        Layout{"LinksInsideTheSource", 2, "links", 0, ""},
        Layout{"LinkOutOfTheSource", 2, "a.txt,out", 0, "{src}/out/away - copy failed. Item lies outside the source folder"},
        Layout{"ItemThatIsALinkOut", 2, "a.txt,secret", 0, "{src}/secret - copy failed. Item lies outside the source folder"},
        Layout{"LinkToItsOwnFolder", 2, "a.txt,loop", 0, "{src}/loop/here - copy failed. Item is a link loop"},
        Layout{"LinkToItself", 2, "a.txt,self", 0, "{src}/self - copy failed. Item is a link loop"},
        Layout{"DiscMarkerTaken", 2, "a.txt,RECOVERY2", 0, "{work}/Burn/RECOVERY2 - disc marker would replace an item of the disc"},
        Layout{"BootMarkerTaken", 1, "boot,DVD", 0, "{work}/Burn/DVD - disc marker would replace an item of the disc"}),
    // clang-format on
    [](const ::testing::TestParamInfo<Layout>& info) {
      return std::string(info.param.name);
    });

}  // namespace
}  // namespace tessaline::testing
