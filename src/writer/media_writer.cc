#include "writer/media_writer.h"

#include <new>
#include <string>

#include "drive/drive_control.h"
#include "platform/text.h"

namespace tessaline {
namespace {

constexpr std::uint32_t kFinalWaitMs = 6000;

std::wstring Widen(const char* text) { return platform::FromUtf8(text); }

}  // namespace

MediaWriter::MediaWriter(JobSettings settings)
    : settings_(std::move(settings)) {
  // Last: the thread must see a fully built object.
  StartThread(&startFailure_);
}

MediaWriter::~MediaWriter() { Join(); }

void MediaWriter::CancelJob() {
  if (settings_.cancel) settings_.cancel->store(1);
}

void MediaWriter::ReportStatus(std::int32_t code, std::intptr_t first,
                               std::intptr_t second) const {
  if (settings_.callback != nullptr) {
    settings_.callback(code, first, second, settings_.context);
  }
}

void MediaWriter::ForwardStatus(std::int32_t code, std::intptr_t first,
                                std::intptr_t second, void* context) {
  static_cast<MediaWriter*>(context)->ReportStatus(code, first, second);
}

StatusReporter MediaWriter::Reporter() const {
  return StatusReporter(&MediaWriter::ForwardStatus,
                        const_cast<MediaWriter*>(this));
}

std::wstring MediaWriter::PathIn(const std::wstring& folder,
                                 const std::wstring& name) const {
  return platform::JoinPath(folder, platform().files->Separator(), name);
}

void MediaWriter::Run() {
  auto& p = platform();
  const std::int32_t apartment = p.apartment->Enter();
  bool remove_image = true;
  // Reports 12 with a text that lives for the duration of the call.
  auto fail = [this](const std::wstring& text) {
    std::wstring copy = text;
    ReportStatus(kStatusFailed, reinterpret_cast<std::intptr_t>(copy.c_str()),
                 0);
  };
  try {
    BuildDisc(settings_.disc);
    if (Cancelled()) {
      ReportStatus(kStatusCancelled, 0, 0);
    } else {
      const auto index = static_cast<std::uint32_t>(settings_.recorderIndex);
      if (settings_.verify == 1) {
        DismountDiscVolume(p, index);
        DriveLock(p, index, true);
        VerifyDisc(settings_.disc);
        DriveLock(p, index, false);
      }
      DriveLock(p, index, false);
      p.clock->Sleep(kFinalWaitMs);
      ReportStatus(Cancelled() ? kStatusCancelled : kStatusSucceeded, 0, 0);
    }
  } catch (const UserNeededException& e) {
    ReportStatus(kStatusUserNeeded, e.reason, 0);
  } catch (const MediaWriterException& e) {
    fail(e.message);
    remove_image = false;
  } catch (const MediaVerifyException& e) {
    ReportStatus(kStatusVerifyFailed, e.chunk, e.code);
    remove_image = false;
  } catch (const FileException& e) {
    // A file the job had to create could not be: the user is told, and the
    // host still gets its final report. The system's reason alone does not
    // say which file.
    const std::wstring text =
        e.path.empty() ? e.message : e.path + L" - " + e.message;
    p.prompt->Show(text, L"");
    fail(text);
  } catch (const std::bad_alloc&) {
    const std::wstring text = L"Out of memory.";
    p.prompt->Show(text, L"");
    fail(text);
  } catch (const std::exception& e) {
    fail(L"Unexpected failure while making the disc: " + Widen(e.what()));
    remove_image = false;
  } catch (...) {
    fail(L"Unexpected failure while making the disc");
    remove_image = false;
  }
  // An empty work folder names no image: never touch the root's files.
  if (remove_image && !settings_.workFolder.empty()) {
    const std::wstring image = ImagePath();
    if (p.files->Exists(image) && !p.files->DeleteFile(image)) {
      p.files->DeleteAtRestart(image);
    }
  }
  if (apartment >= 0) p.apartment->Leave();
}

void MediaWriter::BuildDisc(std::int32_t disc) {
  if (disc == 1) {
    BuildBootDisc();
  } else {
    BuildDataDisc();
  }
}

void MediaWriter::VerifyDisc(std::int32_t disc) {
  if (disc == 1) {
    VerifyBootDisc();
  } else {
    VerifyDataDisc(disc);
  }
}

}  // namespace tessaline
