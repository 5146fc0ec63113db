// Helpers of the image builder's tests: building an image file from a
// folder, running the outside readers, and walking an image with
// libudfread.
#ifndef TESSALINE_TESTS_UDF_UDF_TEST_SUPPORT_H_
#define TESSALINE_TESTS_UDF_UDF_TEST_SUPPORT_H_

#include <fcntl.h>
#include <udfread/udfread.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
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

namespace tessaline::testing::udf {

namespace fs = std::filesystem;
using platform::HRESULT;

struct BuiltImage {
  HRESULT status = platform::kE_FAIL;
  std::int32_t files = -1;
  std::int32_t directories = -1;
  std::int32_t blocks = -1;
};

// Streams `stream` into `image` with pulls of `pull` bytes, leaving all-zero
// sectors as holes so that images of large sparse trees stay small on disk.
inline HRESULT SaveStream(platform::IStream& stream, const fs::path& image,
                          std::uint32_t pull = 1 << 20) {
  const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return platform::kE_FAIL;
  std::vector<std::uint8_t> buffer(pull);
  static const std::uint8_t kZeros[2048] = {};
  std::uint64_t total = 0;
  HRESULT status = platform::kS_OK;
  for (;;) {
    std::uint32_t got = 0;
    status = stream.Read(buffer.data(), pull, &got);
    for (std::uint32_t at = 0; at < got; at += 2048) {
      const std::uint32_t size = std::min<std::uint32_t>(2048, got - at);
      if (std::memcmp(&buffer[at], kZeros, size) != 0 &&
          pwrite(fd, &buffer[at], size, static_cast<off_t>(total + at)) !=
              static_cast<ssize_t>(size)) {
        status = platform::kE_FAIL;
      }
    }
    total += got;
    if (platform::Failed(status) || got < pull) break;
  }
  if (ftruncate(fd, static_cast<off_t>(total)) != 0) status = platform::kE_FAIL;
  close(fd);
  return status;
}

// Builds the UDF image of `folder` (its content at the root) into `image`
// the way the data disc writer asks for one.
inline BuiltImage BuildImage(
    const fs::path& folder, const fs::path& image,
    const std::optional<std::wstring>& label = std::wstring(L"TESTDISC"),
    std::int32_t free_blocks = 0) {
  BuiltImage built;
  auto fsi = platform::udf::CreateUdfFileSystemImage();
  std::shared_ptr<platform::IFsiDirectoryItem> root;
  std::shared_ptr<platform::IFileSystemImageResult> result;
  std::shared_ptr<platform::IStream> stream;
  HRESULT& status = built.status;
  status = fsi->PutFileSystemsToCreate(platform::kFileSystemUDF);
  if (platform::Succeeded(status))
    status = fsi->PutFreeMediaBlocks(free_blocks);
  if (platform::Succeeded(status)) status = fsi->GetRoot(&root);
  if (platform::Succeeded(status)) {
    status = root->AddTree(platform::FromUtf8(folder.string()), false);
  }
  if (platform::Succeeded(status)) status = fsi->GetFileCount(&built.files);
  if (platform::Succeeded(status)) {
    status = fsi->GetDirectoryCount(&built.directories);
  }
  if (platform::Succeeded(status) && label) status = fsi->PutVolumeName(*label);
  if (platform::Succeeded(status)) status = fsi->CreateResultImage(&result);
  if (platform::Succeeded(status))
    status = result->GetTotalBlocks(&built.blocks);
  if (platform::Succeeded(status)) status = result->GetImageStream(&stream);
  if (platform::Succeeded(status)) status = SaveStream(*stream, image);
  return built;
}

// Runs a shell command; returns its standard output and error, and its
// exit status in *exit_status.
inline std::string RunCommand(const std::string& command, int* exit_status) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) {
    *exit_status = -1;
    return output;
  }
  char buffer[4096];
  std::size_t got;
  while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
    output.append(buffer, got);
  }
  const int status = pclose(pipe);
  *exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return output;
}

inline std::string Quote(const fs::path& path) {
  std::string quoted = "'";
  for (char c : path.string()) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// Every item below `folder` as a relative path, true for folders.
inline std::map<std::string, bool> ListFolder(const fs::path& folder) {
  std::map<std::string, bool> items;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    items[fs::relative(entry.path(), folder).string()] = entry.is_directory();
  }
  return items;
}

// libudfread gives names in "modified UTF-8": a character beyond the basic
// plane comes as its two surrogates, three bytes each. Joins them.
inline std::string FromModifiedUtf8(const std::string& name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto* b = reinterpret_cast<const unsigned char*>(name.data() + i);
    if (i + 5 < name.size() && b[0] == 0xED && (b[1] & 0xF0) == 0xA0 &&
        b[3] == 0xED && (b[4] & 0xF0) == 0xB0) {
      const char32_t high = 0xD000 | (b[1] & 0x3F) << 6 | (b[2] & 0x3F);
      const char32_t low = 0xD000 | (b[4] & 0x3F) << 6 | (b[5] & 0x3F);
      const char32_t c = 0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
      out += platform::ToUtf8(std::wstring(1, static_cast<wchar_t>(c)));
      i += 5;
    } else {
      out += name[i];
    }
  }
  return out;
}

// Reads an image with libudfread: its volume id, its items (relative path,
// true for folders), and whether every file's bytes equal those of the
// file at the same path below `source`. Mismatches are listed.
struct UdfReadback {
  bool opened = false;
  std::string volume_id;
  std::map<std::string, bool> items;
  std::vector<std::string> mismatches;
};

inline bool SameBytes(UDFFILE* file, const fs::path& source) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return false;
  std::vector<char> expected(1 << 20), actual(1 << 20);
  for (;;) {
    in.read(expected.data(), static_cast<std::streamsize>(expected.size()));
    const auto want = static_cast<std::size_t>(in.gcount());
    std::size_t got = 0;
    while (got < want) {
      const ssize_t n =
          udfread_file_read(file, actual.data() + got, want - got);
      if (n <= 0) return false;
      got += static_cast<std::size_t>(n);
    }
    if (std::memcmp(expected.data(), actual.data(), want) != 0) return false;
    if (want < expected.size()) break;
  }
  char extra;
  return udfread_file_read(file, &extra, 1) == 0;
}

inline void WalkImage(udfread* udf, const std::string& path,
                      const fs::path& source, UdfReadback* out) {
  UDFDIR* dir = udfread_opendir(udf, path.empty() ? "/" : path.c_str());
  if (dir == nullptr) {
    out->mismatches.push_back("cannot open folder /" + path);
    return;
  }
  udfread_dirent entry;
  while (udfread_readdir(dir, &entry) != nullptr) {
    const std::string name = entry.d_name;
    if (name == "." || name == "..") continue;
    const std::string raw = path.empty() ? name : path + "/" + name;
    const std::string relative = FromModifiedUtf8(raw);
    const bool is_dir = entry.d_type == UDF_DT_DIR;
    out->items[relative] = is_dir;
    if (is_dir) {
      WalkImage(udf, raw, source, out);
      continue;
    }
    UDFFILE* file = udfread_file_open(udf, ("/" + raw).c_str());
    if (file == nullptr || !SameBytes(file, source / relative)) {
      out->mismatches.push_back(relative);
    }
    if (file != nullptr) udfread_file_close(file);
  }
  udfread_closedir(dir);
}

inline UdfReadback ReadWithLibudfread(const fs::path& image,
                                      const fs::path& source) {
  UdfReadback readback;
  std::unique_ptr<udfread, void (*)(udfread*)> udf(udfread_init(),
                                                   udfread_close);
  if (!udf || udfread_open(udf.get(), image.c_str()) < 0) return readback;
  readback.opened = true;
  const char* id = udfread_get_volume_id(udf.get());
  readback.volume_id = id ? id : "";
  WalkImage(udf.get(), "", source, &readback);
  return readback;
}

// The value udfinfo gives for `key` ("label=..." lines), or "" if none.
inline std::string InfoValue(const std::string& info, const std::string& key) {
  const std::string prefix = key + "=";
  std::size_t at = 0;
  while (at < info.size()) {
    std::size_t end = info.find('\n', at);
    if (end == std::string::npos) end = info.size();
    if (info.compare(at, prefix.size(), prefix) == 0) {
      return info.substr(at + prefix.size(), end - at - prefix.size());
    }
    at = end + 1;
  }
  return "";
}

}  // namespace tessaline::testing::udf

#endif  // TESSALINE_TESTS_UDF_UDF_TEST_SUPPORT_H_
