// Building UDF images from folders, the trees the tests build, and reading
// images back with libudfread and the system's tools.
#ifndef TESSALINE_TESTS_UDF_UDF_TEST_SUPPORT_H_
#define TESSALINE_TESTS_UDF_UDF_TEST_SUPPORT_H_

#include <gtest/gtest.h>
#include <udfread/udfread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/disc.h"
#include "platform/text.h"
#include "platform/udf/udf_image.h"
#include "support/core/temp_folder.h"

namespace tessaline::testing::udf {

namespace fs = std::filesystem;
using platform::HRESULT;
using platform::Succeeded;

// Written front to back; all-zero chunks stay holes, so that images and
// extracts of large sparse trees stay small on disk.
class SparseFile {
 public:
  explicit SparseFile(const fs::path& path) : path_(path), out_(path) {}
  void Append(const char* data, std::size_t count) {
    if (std::any_of(data, data + count, [](char c) { return c != 0; })) {
      out_.seekp(static_cast<std::streamoff>(size_));
      out_.write(data, static_cast<std::streamsize>(count));
    }
    size_ += count;
  }
  bool Close() {
    out_.close();
    std::error_code error;
    fs::resize_file(path_, size_, error);
    return !out_.fail() && !error;
  }

 private:
  fs::path path_;
  std::ofstream out_;
  std::uint64_t size_ = 0;
};

inline HRESULT SaveStream(platform::IStream& stream, const fs::path& image,
                          std::uint32_t pull = 1 << 20) {
  SparseFile out(image);
  std::vector<char> buffer(pull);
  HRESULT status = platform::kS_OK;
  for (std::uint32_t got = pull; Succeeded(status) && got == pull;) {
    status = stream.Read(buffer.data(), pull, &got);
    out.Append(buffer.data(), Succeeded(status) ? got : 0);
  }
  return out.Close() ? status : platform::kE_FAIL;
}

// The image of `folder`'s content, made as the data disc writer makes it.
inline HRESULT BuildImage(const fs::path& folder, const fs::path& image,
                          const std::wstring& label = L"TESTDISC",
                          std::int32_t* blocks = nullptr) {
  auto fsi = platform::udf::CreateUdfFileSystemImage();
  std::shared_ptr<platform::IFsiDirectoryItem> root;
  std::shared_ptr<platform::IFileSystemImageResult> result;
  std::shared_ptr<platform::IStream> stream;
  std::int32_t total = 0;
  HRESULT s = fsi->PutFileSystemsToCreate(platform::kFileSystemUDF);
  if (Succeeded(s)) s = fsi->PutFreeMediaBlocks(0);
  if (Succeeded(s)) s = fsi->GetRoot(&root);
  if (Succeeded(s))
    s = root->AddTree(platform::FromUtf8(folder.string()), false);
  if (Succeeded(s)) s = fsi->PutVolumeName(label);
  if (Succeeded(s)) s = fsi->CreateResultImage(&result);
  if (Succeeded(s)) s = result->GetTotalBlocks(blocks ? blocks : &total);
  if (Succeeded(s)) s = result->GetImageStream(&stream);
  return Succeeded(s) ? SaveStream(*stream, image) : s;
}

// `size` bytes of holes but "|marked|" at each of `marks`.
inline void WriteSparseFile(const fs::path& path, std::uint64_t size,
                            std::initializer_list<std::uint64_t> marks) {
  WriteFile(path, "");
  fs::resize_file(path, size);
  std::fstream out(path, std::ios::in | std::ios::out | std::ios::binary);
  for (std::uint64_t mark : marks) {
    out.seekp(static_cast<std::streamoff>(mark)).write("|marked|", 8);
  }
}

// Empty files and folders, files on block edges, names beyond ASCII and
// beyond the basic plane, a tree 64 folders deep, times with fractions of
// a second and before 1970.
inline void WriteMixedTree(const fs::path& source) {
  WriteFile(source / "sub" / "empty too", "");
  WriteFile(source / "exact2048.bin", std::string(2048, 'x'));
  WriteFile(source / "odd2049.bin", std::string(2047, 'y') + "zz");
  WritePatternFile(source / "pattern.bin", 3 * 2048 + 17, 7);
  WriteFile(source / "café 日本語.txt", "accents and CJK");
  WriteFile(source / "Ünïcode dir" / "𝄞 文件" / "😀.bin", std::string(5000, 1));
  fs::create_directories(source / "empty folder");
  fs::path deep = source;
  for (int depth = 0; depth < 64; ++depth)
    deep /= "level" + std::to_string(depth);
  WriteFile(deep / "bottom.txt", "bottom");
  using namespace std::chrono;
  fs::last_write_time(source / "odd2049.bin",
                      file_clock::from_sys(sys_seconds{981173106s} + 250ms));
  fs::last_write_time(source / "empty folder",
                      file_clock::from_sys(sys_seconds{-86399s}));
}

// Every item below `folder`, true for folders; links count as their target.
inline std::map<std::string, bool> ListFolder(const fs::path& folder) {
  std::map<std::string, bool> items;
  for (const auto& entry : fs::recursive_directory_iterator(
           folder, fs::directory_options::follow_directory_symlink)) {
    items[entry.path().lexically_relative(folder)] = entry.is_directory();
  }
  return items;
}

inline std::string TreeDiff(const fs::path& a, const fs::path& b) {
  return RunCommand({"diff", "-rq", a.string(), b.string()}).output;
}

// libudfread gives a character beyond the basic plane as its two
// surrogates, three bytes each ("modified UTF-8"). Joins them.
inline std::string FromModifiedUtf8(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(name.data() + i);
    if (i + 5 < name.size() && b[0] == 0xED && (b[1] & 0xF0) == 0xA0 &&
        b[3] == 0xED) {
      const char32_t c = 0x10000 + ((b[1] & 0x0F) << 16 | (b[2] & 0x3F) << 10 |
                                    (b[4] & 0x0F) << 6 | (b[5] & 0x3F));
      out += platform::ToUtf8(std::wstring(1, static_cast<wchar_t>(c)));
      i += 5;
    } else {
      out += name[i];
    }
  }
  return out;
}

inline bool ExtractFolder(udfread* udf, const std::string& path,
                          const fs::path& out) {
  fs::create_directories(out);
  std::unique_ptr<UDFDIR, void (*)(UDFDIR*)> dir(
      udfread_opendir(udf, path.empty() ? "/" : path.c_str()),
      udfread_closedir);
  bool ok = dir != nullptr;
  udfread_dirent entry;
  std::vector<char> buffer(1 << 20);
  while (ok && udfread_readdir(dir.get(), &entry) != nullptr) {
    const std::string name = entry.d_name, raw = path + "/" + name;
    if (name == "." || name == "..") continue;
    if (entry.d_type == UDF_DT_DIR) {
      ok = ExtractFolder(udf, raw, out / FromModifiedUtf8(name));
      continue;
    }
    std::unique_ptr<UDFFILE, void (*)(UDFFILE*)> file(
        udfread_file_open(udf, raw.c_str()), udfread_file_close);
    SparseFile copy(out / FromModifiedUtf8(name));
    ssize_t got = file ? 0 : -1;
    while (file && (got = udfread_file_read(file.get(), buffer.data(),
                                            buffer.size())) > 0) {
      copy.Append(buffer.data(), static_cast<std::size_t>(got));
    }
    ok = copy.Close() && got == 0;
  }
  return ok;
}

// libudfread reads every file of `image` into the new folder `out`.
// Returns the volume id, or nothing if a step failed.
inline std::optional<std::string> ExtractWithLibudfread(const fs::path& image,
                                                        const fs::path& out) {
  std::unique_ptr<udfread, void (*)(udfread*)> udf(udfread_init(),
                                                   udfread_close);
  if (!udf || udfread_open(udf.get(), image.c_str()) < 0 ||
      !ExtractFolder(udf.get(), "", out)) {
    return std::nullopt;
  }
  const char* id = udfread_get_volume_id(udf.get());
  return FromModifiedUtf8(id ? id : "");
}

// Builds the image of a source folder, reads it back with libudfread, and
// has udfinfo check its volume structure and 7-Zip its times.
class UdfReadbackTest : public ::testing::Test {
 protected:
  fs::path Source() const { return temp_.path() / "source"; }
  void SetUp() override { fs::create_directories(Source()); }

  // UDF's logical volume identifier must read `label` and the primary
  // descriptor's `volume_id`.
  void BuildAndCheck(const std::string& name, const std::string& label,
                     const std::string& volume_id) {
    const std::map<std::string, bool> items = ListFolder(Source());
    const auto directories =
        std::count_if(items.begin(), items.end(),
                      [](const auto& item) { return item.second; });
    const fs::path image = temp_.path() / "image.udf",
                   seven = temp_.path() / "7z";
    std::int32_t blocks = 0;
    ASSERT_EQ(BuildImage(Source(), image, platform::FromUtf8(name), &blocks),
              platform::kS_OK);
    EXPECT_EQ(static_cast<std::uint64_t>(blocks) * 2048, fs::file_size(image));
    EXPECT_EQ(ExtractWithLibudfread(image, temp_.path() / "udfread"),
              volume_id);
    EXPECT_EQ(TreeDiff(Source(), temp_.path() / "udfread"), "");
    const CommandResult x = RunCommand(
        {"7zz", "x", "-y", "-bd", "-o" + seven.string(), image.string()});
    ASSERT_EQ(x.status, 0) << x.output;
    for (const auto& [path, is_dir] : items) {
      using std::chrono::floor, std::chrono::microseconds;
      EXPECT_EQ(floor<microseconds>(fs::last_write_time(Source() / path)),
                floor<microseconds>(fs::last_write_time(seven / path)))
          << path;
    }
    const CommandResult udfinfo =
        RunCommand({"udfinfo", "--utf8", image.string()});
    ASSERT_EQ(udfinfo.status, 0) << udfinfo.output;
    const std::string& info = udfinfo.output;
    // UDF counts the root among the directories.
    for (const std::string& line : std::vector<std::string>{
             "label=" + label, "vid=" + volume_id, "udfrev=2.01",
             "integrity=closed", "numdirs=" + std::to_string(directories + 1),
             "numfiles=" + std::to_string(items.size() - directories)}) {
      EXPECT_NE(("\n" + info).find("\n" + line + "\n"), std::string::npos)
          << line << "\n"
          << info;
    }
  }

  TempFolder temp_;
};

}  // namespace tessaline::testing::udf

#endif  // TESSALINE_TESTS_UDF_UDF_TEST_SUPPORT_H_
