#include "platform/udf/udf_image.h"

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

#include "platform/text.h"
#include "platform/udf/cs0.h"
#include "platform/udf/image_layout.h"
#include "platform/udf/image_stream.h"
#include "platform/udf/source_tree.h"

namespace tessaline::platform::udf {
namespace {

// IMAPI2's default: a 74-minute CD.
constexpr std::int32_t kDefaultFreeMediaBlocks = 332800;

Timestamp Now() {
  const auto since_epoch = std::chrono::system_clock::now().time_since_epoch();
  const auto nanoseconds =
      std::chrono::duration_cast<std::chrono::nanoseconds>(since_epoch).count();
  return Timestamp{nanoseconds / 1000000000,
                   static_cast<std::uint32_t>(nanoseconds % 1000000000)};
}

std::u32string DefaultVolumeName(Timestamp time) {
  const std::time_t seconds = static_cast<std::time_t>(time.seconds);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[32];
  std::strftime(text, sizeof(text), "%Y%m%d_%H%M%S", &utc);
  const std::string name = text;
  return std::u32string(name.begin(), name.end());
}

// What the image object and its root directory item share.
struct ImageState {
  std::uint32_t file_systems = kFileSystemUDF;
  std::int32_t free_media_blocks = kDefaultFreeMediaBlocks;
  std::optional<std::wstring> volume_name;
  std::shared_ptr<IBootOptions> boot_options;
  // Shared with the layouts of results already made; copied before a
  // change while they hold it.
  std::shared_ptr<SourceTree> tree = std::make_shared<SourceTree>(Now());
};

class RootItem : public IFsiDirectoryItem {
 public:
  explicit RootItem(std::shared_ptr<ImageState> state)
      : state_(std::move(state)) {}

  HRESULT AddTree(const std::wstring& source_directory,
                  bool include_base_directory) override {
    std::shared_ptr<SourceTree>& tree = state_->tree;
    if (tree.use_count() > 1) tree = std::make_shared<SourceTree>(*tree);
    return tree->AddTree(ToUtf8(source_directory), include_base_directory);
  }

 private:
  std::shared_ptr<ImageState> state_;
};

class ImageResult : public IFileSystemImageResult {
 public:
  explicit ImageResult(std::shared_ptr<const ImageLayout> layout)
      : layout_(std::move(layout)) {}

  HRESULT GetImageStream(std::shared_ptr<IStream>* stream) override {
    if (stream == nullptr) return kE_POINTER;
    *stream = std::make_shared<ImageStream>(layout_);
    return kS_OK;
  }

  HRESULT GetTotalBlocks(std::int32_t* blocks) override {
    if (blocks == nullptr) return kE_POINTER;
    *blocks = static_cast<std::int32_t>(layout_->total_sectors());
    return kS_OK;
  }

 private:
  std::shared_ptr<const ImageLayout> layout_;
};

class UdfFileSystemImage : public IFileSystemImage {
 public:
  UdfFileSystemImage()
      : state_(std::make_shared<ImageState>()),
        root_(std::make_shared<RootItem>(state_)) {}

  HRESULT PutFileSystemsToCreate(std::uint32_t file_systems) override {
    if (file_systems != kFileSystemUDF) return kIMAPI_E_INVALID_PARAM;
    state_->file_systems = file_systems;
    return kS_OK;
  }

  HRESULT GetFileSystemsToCreate(std::uint32_t* file_systems) override {
    if (file_systems == nullptr) return kE_POINTER;
    *file_systems = state_->file_systems;
    return kS_OK;
  }

  HRESULT GetRoot(std::shared_ptr<IFsiDirectoryItem>* root) override {
    if (root == nullptr) return kE_POINTER;
    *root = root_;
    return kS_OK;
  }

  HRESULT PutBootImageOptions(std::shared_ptr<IBootOptions> options) override {
    state_->boot_options = std::move(options);
    return kS_OK;
  }

  HRESULT GetFileCount(std::int32_t* count) override {
    if (count == nullptr) return kE_POINTER;
    *count = static_cast<std::int32_t>(state_->tree->file_count());
    return kS_OK;
  }

  HRESULT GetDirectoryCount(std::int32_t* count) override {
    if (count == nullptr) return kE_POINTER;
    *count = static_cast<std::int32_t>(state_->tree->directory_count());
    return kS_OK;
  }

  HRESULT PutVolumeName(const std::wstring& name) override {
    state_->volume_name = name;
    return kS_OK;
  }

  HRESULT PutFreeMediaBlocks(std::int32_t blocks) override {
    if (blocks < 0) return kIMAPI_E_INVALID_PARAM;
    state_->free_media_blocks = blocks;
    return kS_OK;
  }

  HRESULT CreateResultImage(
      std::shared_ptr<IFileSystemImageResult>* result) override {
    if (result == nullptr) return kE_POINTER;
    result->reset();
    if (state_->boot_options) return kIMAPI_E_BOOT_IMAGE_DATA;
    const Timestamp now = Now();
    const std::u32string label = state_->volume_name
                                     ? CodePoints(*state_->volume_name)
                                     : DefaultVolumeName(now);
    std::shared_ptr<const ImageLayout> layout;
    const HRESULT status = ImageLayout::Create(
        state_->tree, label, now, state_->free_media_blocks, &layout);
    if (Failed(status)) return status;
    *result = std::make_shared<ImageResult>(std::move(layout));
    return kS_OK;
  }

 private:
  std::shared_ptr<ImageState> state_;
  std::shared_ptr<RootItem> root_;
};

class BootOptions : public IBootOptions {
 public:
  HRESULT AssignBootImage(std::shared_ptr<IStream> image) override {
    if (!image) return kE_POINTER;
    image_ = std::move(image);
    return kS_OK;
  }

 private:
  std::shared_ptr<IStream> image_;
};

}  // namespace

std::shared_ptr<IFileSystemImage> CreateUdfFileSystemImage() {
  return std::make_shared<UdfFileSystemImage>();
}

std::shared_ptr<IBootOptions> CreateBootOptions() {
  return std::make_shared<BootOptions>();
}

}  // namespace tessaline::platform::udf
