#include "platform/virtual/mount_view.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/virtual/virtual_drive.h"

#if __has_include(<udfread/udfread.h>)
#include <udfread/udfread.h>
#define TESSALINE_HAVE_UDFREAD 1
#endif
#if __has_include(<cdio/iso9660.h>)
#include <cdio/iso9660.h>
#define TESSALINE_HAVE_ISO9660 1
#endif

namespace tessaline::platform::virtual_drive {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kCopyBufferBytes = 1 << 20;
// The volume recognition sequence starts at sector 16 and is short; a
// bridge image has a few ISO 9660 descriptors ahead of the UDF ones.
constexpr int kFirstRecognitionSector = 16;
constexpr int kRecognitionSectors = 32;

// A name the mount folder can hold as one entry.
bool IsUsableName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// Readers hand out names with each UTF-16 unit encoded on its own
// (characters beyond U+FFFF as two three-byte surrogates) and U+0000 as
// C0 80. Proper UTF-8 joins the surrogate pairs.
std::string JoinSurrogates(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto unit_at = [&](std::size_t i) -> std::uint32_t {
    if (i + 3 > text.size()) return 0;
    const auto b0 = static_cast<unsigned char>(text[i]);
    const auto b1 = static_cast<unsigned char>(text[i + 1]);
    const auto b2 = static_cast<unsigned char>(text[i + 2]);
    if ((b0 & 0xF0) != 0xE0 || (b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80) {
      return 0;
    }
    return ((b0 & 0x0Fu) << 12) | ((b1 & 0x3Fu) << 6) | (b2 & 0x3Fu);
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::uint32_t high = unit_at(i);
    if (high >= 0xD800 && high <= 0xDBFF) {
      const std::uint32_t low = unit_at(i + 3);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        const std::uint32_t c =
            0x10000 + ((high - 0xD800) << 10) + (low - 0xDC00);
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        i += 6;
        continue;
      }
    }
    if (static_cast<unsigned char>(text[i]) == 0xC0 && i + 1 < text.size() &&
        static_cast<unsigned char>(text[i + 1]) == 0x80) {
      out.push_back('\0');
      i += 2;
      continue;
    }
    out.push_back(text[i]);
    ++i;
  }
  return out;
}

class CopyBuffer {
 public:
  CopyBuffer() : bytes_(kCopyBufferBytes) {}
  char* data() { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }

 private:
  std::vector<char> bytes_;
};

#ifdef TESSALINE_HAVE_UDFREAD

struct UdfCloser {
  void operator()(udfread* udf) const { udfread_close(udf); }
  void operator()(UDFDIR* dir) const { udfread_closedir(dir); }
  void operator()(UDFFILE* file) const { udfread_file_close(file); }
};
using UdfHandle = std::unique_ptr<udfread, UdfCloser>;
using UdfDir = std::unique_ptr<UDFDIR, UdfCloser>;
using UdfFile = std::unique_ptr<UDFFILE, UdfCloser>;

void CopyUdfFile(UDFDIR* dir, const char* name, const fs::path& target,
                 CopyBuffer& buffer) {
  UdfFile file(udfread_file_openat(dir, name));
  if (!file) return;
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  if (!out) return;
  for (;;) {
    const ssize_t got =
        udfread_file_read(file.get(), buffer.data(), buffer.size());
    if (got <= 0) break;
    out.write(buffer.data(), got);
    if (!out) break;
  }
}

void CopyUdfFolder(UDFDIR* dir, const fs::path& target, CopyBuffer& buffer) {
  // Names are collected first: opening an entry moves the directory's
  // reading position in some versions of the reader.
  struct Entry {
    std::string raw;
    std::string name;
    bool is_directory;
  };
  std::vector<Entry> entries;
  udfread_dirent entry{};
  while (udfread_readdir(dir, &entry) != nullptr) {
    if (entry.d_name == nullptr) continue;
    Entry e{entry.d_name, JoinSurrogates(entry.d_name),
            entry.d_type == UDF_DT_DIR};
    if (!IsUsableName(e.name)) continue;
    entries.push_back(std::move(e));
  }
  for (const Entry& e : entries) {
    const fs::path path = target / PathFromUtf8(e.name);
    if (e.is_directory) {
      UdfDir sub(udfread_opendir_at(dir, e.raw.c_str()));
      std::error_code error;
      fs::create_directory(path, error);
      if (!sub || error) continue;
      CopyUdfFolder(sub.get(), path, buffer);
    } else {
      CopyUdfFile(dir, e.raw.c_str(), path, buffer);
    }
  }
}

bool ExtractUdf(const fs::path& image, const fs::path& mount) {
  UdfHandle udf(udfread_init());
  if (!udf) return false;
  if (udfread_open(udf.get(), Utf8FromPath(image).c_str()) < 0) return false;
  UdfDir root(udfread_opendir(udf.get(), "/"));
  if (!root) return false;
  CopyBuffer buffer;
  CopyUdfFolder(root.get(), mount, buffer);
  return true;
}

#else

bool ExtractUdf(const fs::path&, const fs::path&) { return false; }

#endif  // TESSALINE_HAVE_UDFREAD

#ifdef TESSALINE_HAVE_ISO9660

struct IsoCloser {
  void operator()(iso9660_t* iso) const { iso9660_close(iso); }
  void operator()(CdioList_t* list) const { iso9660_filelist_free(list); }
};
using IsoHandle = std::unique_ptr<iso9660_t, IsoCloser>;
using IsoList = std::unique_ptr<CdioList_t, IsoCloser>;

// ISO 9660 names carry a version (";1") and, without Joliet or Rock Ridge,
// are upper case; the reader's translation gives the name a listing shows.
std::string IsoName(iso9660_t* iso, const iso9660_stat_t& stat) {
  if (stat.rr.b3_rock == yep) return JoinSurrogates(stat.filename);
  std::string translated(std::strlen(stat.filename) + 1, '\0');
  iso9660_name_translate_ext(stat.filename, translated.data(),
                             iso9660_ifs_get_joliet_level(iso));
  translated.resize(std::strlen(translated.c_str()));
  return JoinSurrogates(translated);
}

// Appends one extent of a file; files of 4 GiB and more come as several
// entries of the same name, one per extent, in order.
void CopyIsoExtent(iso9660_t* iso, const iso9660_stat_t& stat,
                   std::ofstream& out, CopyBuffer& buffer) {
  const auto sectors_per_read =
      static_cast<long>(buffer.size() / ISO_BLOCKSIZE);
  std::uint64_t remaining = stat.size;
  lsn_t lsn = stat.lsn;
  while (remaining > 0 && out) {
    const std::uint64_t sectors_left =
        (remaining + ISO_BLOCKSIZE - 1) / ISO_BLOCKSIZE;
    const long count = static_cast<long>(
        std::min<std::uint64_t>(sectors_left, sectors_per_read));
    const long got = iso9660_iso_seek_read(iso, buffer.data(), lsn, count);
    if (got <= 0) return;
    const std::uint64_t usable =
        std::min<std::uint64_t>(remaining, static_cast<std::uint64_t>(got));
    out.write(buffer.data(), static_cast<std::streamsize>(usable));
    remaining -= usable;
    lsn += static_cast<lsn_t>(got / ISO_BLOCKSIZE);
    if (got % ISO_BLOCKSIZE != 0) return;
  }
}

void CopyIsoFolder(iso9660_t* iso, const std::string& iso_path,
                   const fs::path& target, CopyBuffer& buffer) {
  IsoList list(iso9660_ifs_readdir(iso, iso_path.c_str()));
  if (!list) return;
  std::set<std::string> seen_files;
  std::string last_file;
  std::ofstream out;
  for (CdioListNode_t* node = _cdio_list_begin(list.get()); node != nullptr;
       node = _cdio_list_node_next(node)) {
    const auto* stat =
        static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node));
    if (stat == nullptr) continue;
    const std::string raw = stat->filename;
    if (raw.empty() || raw == "." || raw == ".." || raw[0] == '\1') continue;
    if (stat->rr.psz_symlink != nullptr && stat->rr.psz_symlink[0] != '\0') {
      continue;
    }
    const std::string name = IsoName(iso, *stat);
    if (!IsUsableName(name)) continue;
    const fs::path path = target / PathFromUtf8(name);
    if (stat->type == iso9660_stat_s::_STAT_DIR) {
      out.close();
      last_file.clear();
      std::error_code error;
      fs::create_directory(path, error);
      if (error) continue;
      CopyIsoFolder(iso, iso_path + raw + "/", path, buffer);
      continue;
    }
    if (name != last_file) {
      out.close();
      // A later entry of a name already copied is another extent only when
      // it follows its predecessor directly; otherwise it is left out.
      if (!seen_files.insert(name).second) {
        last_file.clear();
        continue;
      }
      out.clear();
      out.open(path, std::ios::binary | std::ios::trunc);
      last_file = name;
    }
    if (out) CopyIsoExtent(iso, *stat, out, buffer);
  }
}

bool ExtractIso9660(const fs::path& image, const fs::path& mount) {
  IsoHandle iso(
      iso9660_open_ext(Utf8FromPath(image).c_str(), ISO_EXTENSION_ALL));
  if (!iso) return false;
  CopyBuffer buffer;
  CopyIsoFolder(iso.get(), "/", mount, buffer);
  return true;
}

#else

bool ExtractIso9660(const fs::path&, const fs::path&) { return false; }

#endif  // TESSALINE_HAVE_ISO9660

}  // namespace

FileSystemKind DetectFileSystem(const fs::path& image) {
  std::ifstream in(image, std::ios::binary);
  if (!in) return FileSystemKind::kNone;
  bool iso9660 = false;
  bool udf = false;
  std::array<char, 6> head{};
  for (int sector = kFirstRecognitionSector;
       sector < kFirstRecognitionSector + kRecognitionSectors; ++sector) {
    in.seekg(static_cast<std::streamoff>(sector) * kSectorBytes);
    if (!in.read(head.data(), head.size())) break;
    const std::string_view id(head.data() + 1, 5);
    if (id == "CD001") {
      if (sector == kFirstRecognitionSector) iso9660 = true;
    } else if (id == "NSR02" || id == "NSR03") {
      udf = true;
    } else if (id == "TEA01") {
      break;
    } else if (id != "BEA01" && id != "BOOT2" && id != "CDW02") {
      break;
    }
  }
  if (udf) return FileSystemKind::kUdf;
  return iso9660 ? FileSystemKind::kIso9660 : FileSystemKind::kNone;
}

FileSystemKind ExtractFileSystem(const fs::path& image, const fs::path& mount) {
  const FileSystemKind kind = DetectFileSystem(image);
  if (kind == FileSystemKind::kUdf) {
    if (ExtractUdf(image, mount)) return FileSystemKind::kUdf;
    // A bridge image whose UDF part cannot be read still shows its ISO 9660
    // part, as a system that reads both would.
    if (ExtractIso9660(image, mount)) return FileSystemKind::kIso9660;
    return FileSystemKind::kNone;
  }
  if (kind == FileSystemKind::kIso9660 && ExtractIso9660(image, mount)) {
    return FileSystemKind::kIso9660;
  }
  return FileSystemKind::kNone;
}

}  // namespace tessaline::platform::virtual_drive
