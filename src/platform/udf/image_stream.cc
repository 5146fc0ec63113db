#include "platform/udf/image_stream.h"

#include <algorithm>
#include <cstring>

namespace tessaline::platform::udf {
namespace {

// Pulls of at least this size, or of the rest of a file, read file data
// straight into the caller's buffer; smaller ones are served from a
// read-ahead buffer of kAheadSize.
constexpr std::size_t kDirectThreshold = 256 * 1024;
constexpr std::size_t kAheadSize = 1024 * 1024;

}  // namespace

ImageStream::ImageStream(std::shared_ptr<const ImageLayout> layout)
    : layout_(std::move(layout)), block_(kSectorSize) {}

HRESULT ImageStream::Stat(std::uint64_t* size) {
  if (size == nullptr) return kE_POINTER;
  *size = std::uint64_t{layout_->total_sectors()} * kSectorSize;
  return kS_OK;
}

HRESULT ImageStream::Read(void* buffer, std::uint32_t size,
                          std::uint32_t* read) {
  if (buffer == nullptr && size > 0) return kE_POINTER;
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (Succeeded(failure_) && done < size && phase_ != Phase::kEnd) {
    std::size_t given = 0;
    HRESULT status = kS_OK;
    std::uint8_t* at = out + done;
    const std::size_t want = size - done;
    switch (phase_) {
      case Phase::kHead:
        status = StepFixed(layout_->head(), Phase::kFileSet, at, want, &given);
        break;
      case Phase::kFileSet:
        status =
            StepFixed(layout_->file_set(), Phase::kEntries, at, want, &given);
        break;
      case Phase::kEntries:
        status = StepEntries(at, want, &given);
        break;
      case Phase::kDirectories:
        status = StepDirectories(at, want, &given);
        break;
      case Phase::kFiles:
        status = StepFiles(at, want, &given);
        break;
      case Phase::kTail:
        status = StepFixed(layout_->tail(), Phase::kEnd, at, want, &given);
        break;
      case Phase::kEnd:
        break;
    }
    done += given;
    if (Failed(status)) failure_ = status;
  }
  if (read != nullptr) *read = static_cast<std::uint32_t>(done);
  return failure_;
}

HRESULT ImageStream::StepFixed(const std::vector<std::uint8_t>& bytes,
                               Phase next, std::uint8_t* out, std::size_t size,
                               std::size_t* given) {
  const std::size_t count =
      std::min<std::uint64_t>(size, bytes.size() - offset_);
  std::memcpy(out, bytes.data() + offset_, count);
  offset_ += count;
  *given = count;
  if (offset_ == bytes.size()) {
    phase_ = next;
    offset_ = 0;
    position_ = 0;
  }
  return kS_OK;
}

HRESULT ImageStream::StepEntries(std::uint8_t* out, std::size_t size,
                                 std::size_t* given) {
  if (position_ == layout_->item_count()) {
    phase_ = Phase::kDirectories;
    position_ = 0;
    return kS_OK;
  }
  if (offset_ == 0 && size >= kSectorSize) {
    std::memset(out, 0, kSectorSize);
    layout_->WriteEntry(position_++, out);
    *given = kSectorSize;
    return kS_OK;
  }
  if (offset_ == 0) {
    std::fill(block_.begin(), block_.end(), 0);
    layout_->WriteEntry(position_, block_.data());
  }
  const std::size_t count =
      std::min<std::uint64_t>(size, kSectorSize - offset_);
  std::memcpy(out, block_.data() + offset_, count);
  offset_ += count;
  *given = count;
  if (offset_ == kSectorSize) {
    offset_ = 0;
    ++position_;
  }
  return kS_OK;
}

bool ImageStream::SeekItem(bool directory) {
  const ImageLayout& layout = *layout_;
  while (position_ < layout.item_count() &&
         layout.tree().node(layout.NodeAt(position_)).IsDirectory() !=
             directory) {
    ++position_;
  }
  return position_ < layout.item_count();
}

HRESULT ImageStream::StepDirectories(std::uint8_t* out, std::size_t size,
                                     std::size_t* given) {
  if (offset_ == 0) {
    if (!SeekItem(true)) {
      phase_ = Phase::kFiles;
      position_ = 0;
      return kS_OK;
    }
    layout_->BuildDirectory(layout_->NodeAt(position_), &directory_);
  }
  const std::size_t count =
      std::min<std::uint64_t>(size, directory_.size() - offset_);
  std::memcpy(out, directory_.data() + offset_, count);
  offset_ += count;
  *given = count;
  if (offset_ == directory_.size()) {
    offset_ = 0;
    ++position_;
    if (directory_.capacity() > kAheadSize) {
      std::vector<std::uint8_t>().swap(directory_);
    }
  }
  return kS_OK;
}

HRESULT ImageStream::StepFiles(std::uint8_t* out, std::size_t size,
                               std::size_t* given) {
  if (offset_ == 0 && !file_.is_open()) {
    if (!SeekItem(false)) {
      phase_ = Phase::kTail;
      position_ = 0;
      return kS_OK;
    }
    const TreeNode& item = layout_->tree().node(layout_->NodeAt(position_));
    ahead_begin_ = ahead_end_ = 0;
    const HRESULT opened =
        file_.Open(layout_->tree().SourcePath(item), item.size);
    if (Failed(opened)) return opened;
  }
  const std::uint32_t node = layout_->NodeAt(position_);
  const std::uint64_t file_size = layout_->tree().node(node).size;
  const std::uint64_t piece =
      std::uint64_t{layout_->DataBlocks(node)} * kSectorSize;
  HRESULT status = kS_OK;
  if (offset_ < file_size) {
    status = FileBytes(file_size, out, size, given);
  } else {
    // Zeros up to the end of the file's last block.
    *given = std::min<std::uint64_t>(size, piece - offset_);
    std::memset(out, 0, *given);
  }
  offset_ += *given;
  if (Succeeded(status) && offset_ == piece) {
    status = file_.Close();
    offset_ = 0;
    ++position_;
  }
  return status;
}

HRESULT ImageStream::FileBytes(std::uint64_t file_size, std::uint8_t* out,
                               std::size_t size, std::size_t* given) {
  const std::size_t want = std::min<std::uint64_t>(size, file_size - offset_);
  *given = 0;
  // Straight into the caller's buffer when the pull is large or takes the
  // rest of the file, so that the data is copied once on its way.
  if (ahead_begin_ == ahead_end_ &&
      (want >= kDirectThreshold || want == file_size - offset_)) {
    const HRESULT status = file_.Read(out, want);
    if (Succeeded(status)) *given = want;
    return status;
  }
  if (ahead_begin_ == ahead_end_) {
    ahead_.resize(kAheadSize);
    // offset_ counts the bytes given so far; the read-ahead is past them.
    const std::size_t refill =
        std::min<std::uint64_t>(kAheadSize, file_size - offset_);
    const HRESULT status = file_.Read(ahead_.data(), refill);
    if (Failed(status)) return status;
    ahead_begin_ = 0;
    ahead_end_ = refill;
  }
  const std::size_t count = std::min(want, ahead_end_ - ahead_begin_);
  std::memcpy(out, ahead_.data() + ahead_begin_, count);
  ahead_begin_ += count;
  *given = count;
  return kS_OK;
}

}  // namespace tessaline::platform::udf
