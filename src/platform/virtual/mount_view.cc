#include "platform/virtual/mount_view.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/virtual/virtual_drive.h"

#if __has_include(<udfread/udfread.h>)
#include <udfread/blockinput.h>
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

// The volume recognition sequence starts at sector 16 and is short; a
// bridge image has a few ISO 9660 descriptors ahead of the UDF ones.
constexpr int kFirstRecognitionSector = 16;
constexpr int kRecognitionSectors = 32;
// Folders whose listings are kept at once; a walk over the medium needs
// only the few it is in, and a disc of many folders stays small in memory.
constexpr std::size_t kCachedFolders = 256;
constexpr std::size_t kCopyBufferBytes = 1 << 20;

// A name a folder can hold as one entry.
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

// The image file, read at any offset from any thread.
class ImageFile {
 public:
  explicit ImageFile(const fs::path& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~ImageFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  bool valid() const { return fd_ >= 0; }
  std::uint64_t Size() const {
    const off_t end = ::lseek(fd_, 0, SEEK_END);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
  }
  // Reads up to `size` bytes at `offset`, fewer only at the end; -1 (errno
  // set) on failure.
  std::int64_t ReadAt(void* buffer, std::uint64_t size,
                      std::uint64_t offset) const {
    auto* out = static_cast<char*>(buffer);
    std::uint64_t done = 0;
    while (done < size) {
      const ssize_t n = ::pread(fd_, out + done, size - done,
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return -1;
      if (n == 0) break;
      done += static_cast<std::uint64_t>(n);
    }
    return static_cast<std::int64_t>(done);
  }

 private:
  int fd_;
};

// A piece of a file's data on the image. ISO 9660 files of 4 GiB and more
// come in several.
struct Extent {
  std::uint64_t offset;
  std::uint64_t size;
};

// One folder of the medium as its reader gave it, looked up by name.
struct Folder {
  std::vector<ViewEntry> entries;
  // The names the reader knows the entries by.
  std::vector<std::string> raw;
  // ISO 9660: the data of each file, and the folder's own path.
  std::vector<std::vector<Extent>> extents;
  std::string iso_path;
  std::unordered_map<std::string, std::size_t> index;
#ifdef TESSALINE_HAVE_UDFREAD
  struct DirCloser {
    void operator()(UDFDIR* dir) const { udfread_closedir(dir); }
  };
  std::unique_ptr<UDFDIR, DirCloser> udf;
#endif

  void Add(ViewEntry entry, std::string raw_name) {
    if (!index.emplace(entry.name, entries.size()).second) return;
    entries.push_back(std::move(entry));
    raw.push_back(std::move(raw_name));
  }
};

// The walk through folders and their cache; a reader gives the folders
// and opens the files. Calls hold mutex_, which the files share.
class CachedView : public MountView {
 public:
  bool Find(const std::vector<std::string>& path, bool* is_directory,
            int* error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (path.empty()) {
      *is_directory = true;
      return true;
    }
    std::size_t at = 0;
    const std::shared_ptr<Folder> parent = Entry(path, &at, error);
    if (!parent) return false;
    *is_directory = parent->entries[at].is_directory;
    return true;
  }

  bool List(const std::vector<std::string>& path,
            std::vector<ViewEntry>* entries, int* error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    const std::shared_ptr<Folder> folder = Walk(path, path.size(), error);
    if (!folder) return false;
    *entries = folder->entries;
    return true;
  }

  std::unique_ptr<File> OpenFile(const std::vector<std::string>& path,
                                 int* error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    std::size_t at = 0;
    const std::shared_ptr<Folder> parent =
        path.empty() ? nullptr : Entry(path, &at, error);
    if (path.empty() || (parent && parent->entries[at].is_directory)) {
      *error = EISDIR;
      return nullptr;
    }
    if (!parent) return nullptr;
    std::unique_ptr<File> file = OpenChild(*parent, at);
    if (!file) *error = EIO;
    return file;
  }

 protected:
  virtual std::shared_ptr<Folder> ReadRoot() = 0;
  virtual std::shared_ptr<Folder> ReadChild(const Folder& parent,
                                            std::size_t entry) = 0;
  virtual std::unique_ptr<File> OpenChild(const Folder& parent,
                                          std::size_t entry) = 0;

  std::mutex mutex_;

 private:
  // The folder of the first `count` steps of `path`.
  std::shared_ptr<Folder> Walk(const std::vector<std::string>& path,
                               std::size_t count, int* error) {
    std::string key;
    auto found = cache_.find(key);
    std::shared_ptr<Folder> folder =
        found != cache_.end() ? found->second : Keep(key, ReadRoot());
    for (std::size_t step = 0; folder && step < count; ++step) {
      auto entry = folder->index.find(path[step]);
      if (entry == folder->index.end()) {
        *error = ENOENT;
        return nullptr;
      }
      if (!folder->entries[entry->second].is_directory) {
        *error = ENOTDIR;
        return nullptr;
      }
      key += '/';
      key += path[step];
      found = cache_.find(key);
      folder = found != cache_.end()
                   ? found->second
                   : Keep(key, ReadChild(*folder, entry->second));
    }
    if (!folder) *error = EIO;
    return folder;
  }

  // The folder that holds the last step of `path`, and that step's entry.
  std::shared_ptr<Folder> Entry(const std::vector<std::string>& path,
                                std::size_t* at, int* error) {
    std::shared_ptr<Folder> parent = Walk(path, path.size() - 1, error);
    if (!parent) return nullptr;
    auto entry = parent->index.find(path.back());
    if (entry == parent->index.end()) {
      *error = ENOENT;
      return nullptr;
    }
    *at = entry->second;
    return parent;
  }

  std::shared_ptr<Folder> Keep(const std::string& key,
                               std::shared_ptr<Folder> folder) {
    if (!folder) return nullptr;
    if (cache_.size() >= kCachedFolders) cache_.clear();
    cache_.emplace(key, folder);
    return folder;
  }

  std::map<std::string, std::shared_ptr<Folder>> cache_;
};

// A medium without a file system this library reads: an empty root.
class EmptyView final : public CachedView {
 public:
  FileSystemKind kind() const override { return FileSystemKind::kNone; }

 protected:
  std::shared_ptr<Folder> ReadRoot() override {
    return std::make_shared<Folder>();
  }
  std::shared_ptr<Folder> ReadChild(const Folder&, std::size_t) override {
    return nullptr;
  }
  std::unique_ptr<File> OpenChild(const Folder&, std::size_t) override {
    return nullptr;
  }
};

// A read-only file of the medium. Writing fails as on a read-only volume.
class ViewFile : public File {
 public:
  bool Write(const void*, std::int64_t) override {
    errno = EROFS;
    return false;
  }
  bool Close() override { return true; }
};

#ifdef TESSALINE_HAVE_UDFREAD

class UdfView final : public CachedView,
                      public std::enable_shared_from_this<UdfView> {
 public:
  explicit UdfView(std::shared_ptr<ImageFile> image)
      : image_(std::move(image)) {
    input_.self = this;
    input_.input.read = &ReadBlocks;
    input_.input.size = &Blocks;
    input_.input.close = nullptr;
  }
  ~UdfView() override {
    if (udf_ != nullptr) udfread_close(udf_);
  }

  bool Open() {
    udf_ = udfread_init();
    return udf_ != nullptr && udfread_open_input(udf_, &input_.input) >= 0;
  }

  FileSystemKind kind() const override { return FileSystemKind::kUdf; }

 protected:
  std::shared_ptr<Folder> ReadRoot() override {
    return Read(udfread_opendir(udf_, "/"));
  }
  std::shared_ptr<Folder> ReadChild(const Folder& parent,
                                    std::size_t entry) override {
    return Read(
        udfread_opendir_at(parent.udf.get(), parent.raw[entry].c_str()));
  }
  std::unique_ptr<File> OpenChild(const Folder& parent,
                                  std::size_t entry) override {
    UDFFILE* file =
        udfread_file_openat(parent.udf.get(), parent.raw[entry].c_str());
    if (file == nullptr) return nullptr;
    return std::make_unique<UdfFile>(shared_from_this(), file);
  }

 private:
  class UdfFile final : public ViewFile {
   public:
    UdfFile(std::shared_ptr<UdfView> view, UDFFILE* file)
        : view_(std::move(view)), file_(file) {}
    ~UdfFile() override {
      std::lock_guard<std::mutex> lock(view_->mutex_);
      udfread_file_close(file_);
    }
    std::int64_t Read(void* buffer, std::int64_t size) override {
      std::lock_guard<std::mutex> lock(view_->mutex_);
      return udfread_file_read(file_, buffer, static_cast<std::size_t>(size));
    }
    bool Seek(std::int64_t offset) override {
      std::lock_guard<std::mutex> lock(view_->mutex_);
      return udfread_file_seek(file_, offset, UDF_SEEK_SET) == offset;
    }
    std::int64_t Size() override {
      std::lock_guard<std::mutex> lock(view_->mutex_);
      return udfread_file_size(file_);
    }

   private:
    std::shared_ptr<UdfView> view_;
    UDFFILE* file_;
  };

  // The reader's block input: the image file. The reader holds it from
  // udfread_open_input until udfread_close.
  struct Input {
    udfread_block_input input;
    UdfView* self;
  };
  static int ReadBlocks(udfread_block_input* input, std::uint32_t lba,
                        void* buffer, std::uint32_t blocks, int /*flags*/) {
    const ImageFile& image = *reinterpret_cast<Input*>(input)->self->image_;
    const std::int64_t got =
        image.ReadAt(buffer, std::uint64_t{blocks} * UDF_BLOCK_SIZE,
                     std::uint64_t{lba} * UDF_BLOCK_SIZE);
    return got < 0 ? -1 : static_cast<int>(got / UDF_BLOCK_SIZE);
  }
  static std::uint32_t Blocks(udfread_block_input* input) {
    return static_cast<std::uint32_t>(
        reinterpret_cast<Input*>(input)->self->image_->Size() / UDF_BLOCK_SIZE);
  }

  // Names are read to the end first: opening an entry moves the
  // directory's reading position in some versions of the reader.
  static std::shared_ptr<Folder> Read(UDFDIR* dir) {
    if (dir == nullptr) return nullptr;
    auto folder = std::make_shared<Folder>();
    folder->udf.reset(dir);
    udfread_dirent entry{};
    while (udfread_readdir(dir, &entry) != nullptr) {
      if (entry.d_name == nullptr) continue;
      ViewEntry view{JoinSurrogates(entry.d_name), entry.d_type == UDF_DT_DIR};
      if (IsUsableName(view.name)) folder->Add(std::move(view), entry.d_name);
    }
    return folder;
  }

  std::shared_ptr<ImageFile> image_;
  Input input_{};
  udfread* udf_ = nullptr;
};

#endif  // TESSALINE_HAVE_UDFREAD

#ifdef TESSALINE_HAVE_ISO9660

class IsoView final : public CachedView,
                      public std::enable_shared_from_this<IsoView> {
 public:
  explicit IsoView(std::shared_ptr<ImageFile> image)
      : image_(std::move(image)) {}
  ~IsoView() override {
    if (iso_ != nullptr) iso9660_close(iso_);
  }

  bool Open(const fs::path& path) {
    iso_ = iso9660_open_ext(path.c_str(), ISO_EXTENSION_ALL);
    return iso_ != nullptr;
  }

  FileSystemKind kind() const override { return FileSystemKind::kIso9660; }

 protected:
  std::shared_ptr<Folder> ReadRoot() override { return Read("/"); }
  std::shared_ptr<Folder> ReadChild(const Folder& parent,
                                    std::size_t entry) override {
    return Read(parent.iso_path + parent.raw[entry] + "/");
  }
  std::unique_ptr<File> OpenChild(const Folder& parent,
                                  std::size_t entry) override {
    return std::make_unique<IsoFile>(shared_from_this(), parent.extents[entry]);
  }

 private:
  class IsoFile final : public ViewFile {
   public:
    IsoFile(std::shared_ptr<IsoView> view, std::vector<Extent> extents)
        : view_(std::move(view)), extents_(std::move(extents)) {
      for (const Extent& extent : extents_) size_ += extent.size;
    }
    std::int64_t Read(void* buffer, std::int64_t size) override {
      auto* out = static_cast<char*>(buffer);
      std::int64_t done = 0;
      std::uint64_t start = 0;
      for (const Extent& extent : extents_) {
        const std::uint64_t end = start + extent.size;
        if (position_ < end && done < size) {
          const std::uint64_t want = std::min<std::uint64_t>(
              end - position_, static_cast<std::uint64_t>(size - done));
          const std::int64_t got = view_->image_->ReadAt(
              out + done, want, extent.offset + (position_ - start));
          if (got < 0) return -1;
          done += got;
          position_ += static_cast<std::uint64_t>(got);
          if (static_cast<std::uint64_t>(got) < want) break;
        }
        start = end;
      }
      return done;
    }
    bool Seek(std::int64_t offset) override {
      if (offset < 0) return false;
      position_ = static_cast<std::uint64_t>(offset);
      return true;
    }
    std::int64_t Size() override { return static_cast<std::int64_t>(size_); }

   private:
    std::shared_ptr<IsoView> view_;
    std::vector<Extent> extents_;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
  };

  // ISO 9660 names carry a version (";1") and, without Joliet or Rock
  // Ridge, are upper case; the reader's translation gives the name a
  // listing shows.
  std::string Name(const iso9660_stat_t& stat) const {
    if (stat.rr.b3_rock == yep) return JoinSurrogates(stat.filename);
    std::string translated(std::strlen(stat.filename) + 1, '\0');
    iso9660_name_translate_ext(stat.filename, translated.data(),
                               iso9660_ifs_get_joliet_level(iso_));
    translated.resize(std::strlen(translated.c_str()));
    return JoinSurrogates(translated);
  }

  std::shared_ptr<Folder> Read(const std::string& iso_path) {
    CdioList_t* list = iso9660_ifs_readdir(iso_, iso_path.c_str());
    if (list == nullptr) return nullptr;
    auto folder = std::make_shared<Folder>();
    folder->iso_path = iso_path;
    std::string last_file;
    for (CdioListNode_t* node = _cdio_list_begin(list); node != nullptr;
         node = _cdio_list_node_next(node)) {
      const auto* stat =
          static_cast<const iso9660_stat_t*>(_cdio_list_node_data(node));
      if (stat == nullptr) continue;
      const std::string raw = stat->filename;
      if (raw.empty() || raw == "." || raw == ".." || raw[0] == '\1') continue;
      if (stat->rr.psz_symlink != nullptr && stat->rr.psz_symlink[0] != '\0') {
        continue;
      }
      ViewEntry entry{Name(*stat), stat->type == iso9660_stat_s::_STAT_DIR};
      if (!IsUsableName(entry.name)) continue;
      const Extent extent{static_cast<std::uint64_t>(stat->lsn) * ISO_BLOCKSIZE,
                          entry.is_directory ? 0 : stat->size};
      // A later entry of the same file name is another extent only when it
      // follows its predecessor directly; otherwise it is left out.
      if (!entry.is_directory && entry.name == last_file) {
        folder->extents.back().push_back(extent);
        continue;
      }
      last_file = entry.is_directory ? std::string() : entry.name;
      const std::size_t before = folder->entries.size();
      folder->Add(std::move(entry), raw);
      if (folder->entries.size() > before) {
        folder->extents.push_back({extent});
      } else {
        last_file.clear();
      }
    }
    iso9660_filelist_free(list);
    return folder;
  }

  std::shared_ptr<ImageFile> image_;
  iso9660_t* iso_ = nullptr;
};

#endif  // TESSALINE_HAVE_ISO9660

void CopyFolder(MountView& view, std::vector<std::string>& path,
                const fs::path& target, std::vector<char>& buffer) {
  std::vector<ViewEntry> entries;
  int error = 0;
  if (!view.List(path, &entries, &error)) return;
  for (const ViewEntry& entry : entries) {
    path.push_back(entry.name);
    const fs::path to = target / PathFromUtf8(entry.name);
    std::error_code failed;
    if (entry.is_directory) {
      fs::create_directory(to, failed);
      if (!failed) CopyFolder(view, path, to, buffer);
    } else if (auto file = view.OpenFile(path, &error)) {
      std::ofstream out(to, std::ios::binary | std::ios::trunc);
      for (std::int64_t got = 0;
           out && (got = file->Read(buffer.data(), static_cast<std::int64_t>(
                                                       buffer.size()))) > 0;) {
        out.write(buffer.data(), got);
      }
    }
    path.pop_back();
  }
}

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

std::shared_ptr<MountView> MountView::Open(const fs::path& image) {
  auto file = std::make_shared<ImageFile>(image);
  const FileSystemKind kind =
      file->valid() ? DetectFileSystem(image) : FileSystemKind::kNone;
#ifdef TESSALINE_HAVE_UDFREAD
  if (kind == FileSystemKind::kUdf) {
    auto udf = std::make_shared<UdfView>(file);
    if (udf->Open()) return udf;
  }
#endif
#ifdef TESSALINE_HAVE_ISO9660
  // A bridge image whose UDF part cannot be read still shows its ISO 9660
  // part, as a system that reads both would.
  if (kind != FileSystemKind::kNone) {
    auto iso = std::make_shared<IsoView>(file);
    if (iso->Open(image)) return iso;
  }
#endif
  return std::make_shared<EmptyView>();
}

FileSystemKind ExtractFileSystem(const fs::path& image, const fs::path& mount) {
  const std::shared_ptr<MountView> view = MountView::Open(image);
  if (view->kind() == FileSystemKind::kNone) return FileSystemKind::kNone;
  std::vector<std::string> path;
  std::vector<char> buffer(kCopyBufferBytes);
  CopyFolder(*view, path, mount, buffer);
  return view->kind();
}

}  // namespace tessaline::platform::virtual_drive
