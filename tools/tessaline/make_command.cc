// The disc plan and the making of a disc set, in the creator's calling
// order: construct, AnalyzeLayout, NumDiscs, then per disc Stage (if
// asked), SetDrive, CreateDisc and the wait for the job's final report.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>
#include <vector>

#include "cli_progress.h"
#include "cli_reports.h"
#include "cli_tables.h"
#include "host_commands.h"
#include "terminal.h"
#include "tessaline/tessaline.h"

namespace tessaline_cli {
namespace {

using SteadyClock = std::chrono::steady_clock;

std::uint64_t NowMs() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(
          SteadyClock::now().time_since_epoch())
          .count());
}

// What reaches the main loop from the job's thread and from the reader of
// the library's standard output.
struct Event {
  bool is_line = false;
  std::string line;  // a diagnostic line of the library
  FinalReport status;
};

class EventQueue {
 public:
  void Push(Event event) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(std::move(event));
    }
    ready_.notify_one();
  }
  std::optional<Event> Pop(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !events_.empty(); })) {
      return std::nullopt;
    }
    Event event = std::move(events_.front());
    events_.pop_front();
    return event;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Event> events_;
};

// The job's status callback, on the job's thread: the report is copied
// (code 12's text is valid during the call only) and queued.
void OnStatus(std::int32_t code, std::intptr_t first, std::intptr_t second,
              void* context) {
  Event event;
  event.status.code = code;
  event.status.first = first;
  event.status.second = second;
  if (code == tessaline::kStatusFailed && first != 0) {
    event.status.text = Narrow(reinterpret_cast<const wchar_t*>(first));
    event.status.first = 0;
  }
  static_cast<EventQueue*>(context)->Push(std::move(event));
}

// The plan as the creator read it, so the plan shown is the plan made.
std::vector<PlanDisc> PlannedDiscs(const Tessaline& creator) {
  std::vector<PlanDisc> discs;
  for (std::uint32_t n = 1; n <= creator.NumDiscs(); ++n) {
    std::wstring items;
    std::wstring size;
    if (!creator.DiscPlan(static_cast<std::int32_t>(n), &items, &size)) break;
    PlanDisc disc;
    disc.disc = static_cast<std::int32_t>(n);
    disc.items = Narrow(items);
    disc.size_text = Narrow(size);
    discs.push_back(std::move(disc));
  }
  return discs;
}

// Every disc deletes and refills parts of the work folder: one that lies in
// the source, or holds it, would destroy the source. Judged before the work
// folder is made, on the paths as the system resolves them.
bool WorkAndSourceApart(const std::string& work, const std::string& source) {
  std::error_code error;
  const std::filesystem::path w =
      std::filesystem::weakly_canonical(work, error);
  if (error) return true;
  const std::filesystem::path s =
      std::filesystem::weakly_canonical(source, error);
  if (error) return true;
  auto within = [](const std::filesystem::path& inner,
                   const std::filesystem::path& outer) {
    auto i = inner.begin();
    for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
      if (o->empty()) continue;
      if (i == inner.end() || *i != *o) return false;
    }
    return true;
  };
  if (!within(w, s) && !within(s, w)) return true;
  PrintError("the work folder " + work + " and the source folder " + source +
             " overlap: making discs would delete source files");
  return false;
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", c);
      quoted += escape;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string WorkFolderOf(const Tessaline& creator) {
  const wchar_t* folder = nullptr;
  creator.GetTempDir(&folder);
  return folder == nullptr ? std::string() : Narrow(folder);
}

// Reads the layout into the creator's plan; false after a message.
bool AnalyzeLayout(Tessaline& creator, const std::string& layout) {
  try {
    creator.AnalyzeLayout(Wide(layout).c_str());
    return true;
  } catch (const CreateMediaException& e) {
    PrintError("layout " + layout + ": " + Narrow(e.message));
  } catch (const CreateMediaExceptionMoreDiskSpaceNeededPlease& e) {
    PrintError("no drive has room for the work files: " +
               std::to_string(e.megabytesNeeded) + " MB free are needed");
  }
  return false;
}

class DiscSet {
 public:
  DiscSet(const Arguments& arguments, Tessaline& creator,
          std::uint32_t disc_count, bool virtual_drives,
          const std::string& log_path)
      : arguments_(arguments),
        creator_(creator),
        disc_count_(disc_count),
        virtual_drives_(virtual_drives),
        terminal_(StdoutIsTerminal()),
        log_path_(log_path),
        log_(log_path, std::ios::app) {
    // The library's diagnostic lines are for the log, not for the progress.
    capture_.emplace([this](std::string line) {
      Event event;
      event.is_line = true;
      event.line = std::move(line);
      queue_.Push(std::move(event));
    });
    const int bar = std::clamp(TerminalColumns() - 52, 10, 40);
    printer_.emplace(
        [this](std::string_view text) {
          if (arguments_.json) {
            std::cerr << text << std::flush;
          } else if (capture_) {
            capture_->Write(text);
          } else {
            WriteStdout(text);
          }
        },
        terminal_ && !arguments_.json, bar);
  }

  ~DiscSet() {
    capture_.reset();
    DrainLines();
  }

  // Makes `discs` one after the other; stops at the first that is not made.
  int Make(const std::vector<std::int32_t>& discs) {
    for (std::size_t i = 0; i < discs.size(); ++i) {
      if (Interrupted())
        return Cancelled("before disc " + std::to_string(discs[i]));
      const int prepared = PrepareMedium(discs[i], i == 0);
      if (prepared != kExitOk) return prepared;
      const int status = MakeDisc(discs[i]);
      if (status != kExitOk) return status;
    }
    printer_->Message(discs.size() == 1
                          ? "the disc is made"
                          : "all " + std::to_string(discs.size()) +
                                " discs are made");
    return kExitOk;
  }

 private:
  std::uint32_t Drive() const {
    return static_cast<std::uint32_t>(arguments_.drive);
  }

  int Cancelled(const std::string& when) {
    printer_->Message("cancelled " + when);
    return kExitCancelled;
  }

  // Sees that a blank medium is in the drive for `disc`. A virtual drive
  // files a written medium away and loads a blank one itself; for a real
  // drive the user is asked, except for the first disc when one is in.
  int PrepareMedium(std::int32_t disc, bool first) {
    const std::uint32_t drive = Drive();
    if (virtual_drives_) {
      // After a disc of this run the tray stands open: closing it loads a
      // blank medium. Before the first, a written medium is filed away.
      if (first && Tessaline::IsMediaBlank(static_cast<std::int32_t>(drive))) {
        return kExitOk;
      }
      if (first) Tessaline::EjectClose(drive, false);
      Tessaline::EjectClose(drive, true);
      printer_->Message("drive " + std::to_string(drive) +
                        ": loaded a blank disc for disc " +
                        std::to_string(disc));
      return kExitOk;
    }
    std::int32_t status = 0;
    const bool empty =
        Tessaline::MediaTypeInRecorder(static_cast<std::int32_t>(drive),
                                       &status) == IMAPI_MEDIA_TYPE_UNKNOWN;
    if (first && !empty) return kExitOk;
    if (!first) Tessaline::EjectClose(drive, false);
    printer_->Message("insert a blank disc for disc " + std::to_string(disc) +
                      " of " + std::to_string(disc_count_) + " into recorder " +
                      std::to_string(drive) +
                      ", then press Enter (Ctrl-C stops)");
    switch (WaitForEnter()) {
      case Answer::kEnter:
        Tessaline::EjectClose(drive, true);
        return kExitOk;
      case Answer::kEndOfInput:
        PrintError("no answer on standard input; stopped before disc " +
                   std::to_string(disc));
        return kExitFailed;
      case Answer::kInterrupted:
        break;
    }
    return Cancelled("before disc " + std::to_string(disc));
  }

  int MakeDisc(std::int32_t disc) {
    const std::string name =
        "disc " + std::to_string(disc) + " of " + std::to_string(disc_count_);
    if (arguments_.stage) {
      printer_->Message(name + "  staging its items in the work folder");
      try {
        creator_.Stage(disc);
      } catch (const MediaWriterException& e) {
        printer_->Finish(name + "  staging failed: " + Narrow(e.message));
        return kExitFailed;
      } catch (const FileException& e) {
        printer_->Finish(name + "  staging failed: " + Narrow(e.path) + ": " +
                         Narrow(e.message));
        return kExitFailed;
      }
      if (Interrupted())
        return Cancelled("after staging disc " + std::to_string(disc));
    }

    creator_.SetDrive(arguments_.drive);
    DiscProgress progress(disc, disc_count_, NowMs());
    creator_.CreateDisc(disc, arguments_.verify ? 1 : 0, &OnStatus, &queue_);
    bool cancel_sent = false;
    FinalReport report;
    for (;;) {
      if (Interrupted() && !cancel_sent) {
        creator_.Cancel();
        cancel_sent = true;
        printer_->Message("cancelling " + name +
                          "; waiting for it to stop (Ctrl-C again quits at "
                          "once)");
      }
      std::optional<Event> event = queue_.Pop(std::chrono::milliseconds(250));
      const std::uint64_t now = NowMs();
      if (!event) {
        printer_->Show(progress.View(now));
        continue;
      }
      if (event->is_line) {
        Log(event->line);
        continue;
      }
      if (arguments_.json) Json(disc, event->status);
      if (tessaline::IsFinalStatus(event->status.code)) {
        report = std::move(event->status);
        break;
      }
      progress.Apply(event->status.code, event->status.first,
                     event->status.second, now);
      printer_->Show(progress.View(now));
    }
    // Stopping the mastering tool fails the job with 12; the user asked
    // for it, so it is a cancel.
    if (cancel_sent && report.code == tessaline::kStatusFailed) {
      report.code = tessaline::kStatusCancelled;
    }
    printer_->Finish(DescribeFinalReport(disc, disc_count_, report,
                                         progress.TotalSeconds(NowMs())));
    if (report.code == tessaline::kStatusFailed ||
        report.code == tessaline::kStatusVerifyFailed) {
      const std::wstring detail = creator_.FailureDetail();
      if (!detail.empty()) printer_->Message("  because " + Narrow(detail));
    }
    if (ExitStatusForReport(report.code) == kExitFailed) {
      printer_->Message("  the library's log: " + log_path_);
    }
    int status = ExitStatusForReport(report.code);
    if (report.code == tessaline::kStatusSucceeded) {
      // The written disc comes out; a virtual drive files its image away.
      Tessaline::EjectClose(Drive(), false);
      if (Interrupted()) status = kExitCancelled;
    }
    return status;
  }

  // Library lines that came after the last disc's loop.
  void DrainLines() {
    while (std::optional<Event> event = queue_.Pop({})) {
      if (event->is_line) Log(event->line);
    }
  }

  // One line on the real standard output, whatever the library writes.
  void JsonLine(const std::string& line) {
    if (capture_) {
      capture_->Write(line + "\n");
    } else {
      WriteStdout(line + "\n");
    }
  }

  void Json(std::int32_t disc, const FinalReport& report) {
    std::string line = "{\"disc\":" + std::to_string(disc) +
                       ",\"code\":" + std::to_string(report.code) +
                       ",\"values\":[" + std::to_string(report.first) + "," +
                       std::to_string(report.second) + "]";
    if (report.code == tessaline::kStatusFailed) {
      line += ",\"text\":" + JsonString(report.text);
    }
    if (report.code == tessaline::kStatusFailed ||
        report.code == tessaline::kStatusVerifyFailed) {
      line += ",\"detail\":" + JsonString(Narrow(creator_.FailureDetail()));
    }
    JsonLine(line + "}");
  }

 public:
  // The last JSON line: how the run ended.
  void JsonOutcome(int status) {
    if (!arguments_.json) return;
    const char* outcome = status == kExitOk          ? "made"
                          : status == kExitCancelled ? "cancelled"
                                                     : "failed";
    JsonLine(std::string("{\"outcome\":\"") + outcome +
             "\",\"exit\":" + std::to_string(status) + "}");
  }

 private:
  void Log(const std::string& line) {
    log_ << line << '\n';
    log_.flush();
    if (arguments_.verbose) std::cerr << line << std::endl;
  }

  const Arguments& arguments_;
  Tessaline& creator_;
  const std::uint32_t disc_count_;
  const bool virtual_drives_;
  const bool terminal_;
  const std::string log_path_;
  std::ofstream log_;
  EventQueue queue_;
  std::optional<StdoutCapture> capture_;
  std::optional<ProgressPrinter> printer_;
};

}  // namespace

namespace {

// A new folder in the system's temporary folder that no other run shares:
// two runs building in one folder would put each other's files on their
// discs. Created exclusively, as mkdtemp does.
std::string MakeFreshWorkFolder(std::error_code* error) {
  std::filesystem::path temp = std::filesystem::temp_directory_path(*error);
  if (*error) temp = "/tmp";
  std::random_device seed;
  std::mt19937_64 random(
      seed() ^
      static_cast<std::uint64_t>(
          std::chrono::steady_clock::now().time_since_epoch().count()));
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "tessaline-work-" << std::hex << random();
    const std::filesystem::path folder = temp / name.str();
    *error = {};
    if (std::filesystem::create_directory(folder, *error)) {
      return folder.string();
    }
    if (*error) break;
  }
  if (!*error) *error = std::make_error_code(std::errc::file_exists);
  return (temp / "tessaline-work-*").string();
}

// Removes the run's own work folder at the end when nothing was left in it.
class FreshFolderRemover {
 public:
  explicit FreshFolderRemover(const std::string& folder) : folder_(folder) {}
  ~FreshFolderRemover() {
    if (folder_.empty()) return;
    std::error_code error;
    if (std::filesystem::is_empty(folder_, error) && !error) {
      std::filesystem::remove(folder_, error);
    }
  }
  FreshFolderRemover(const FreshFolderRemover&) = delete;
  FreshFolderRemover& operator=(const FreshFolderRemover&) = delete;

 private:
  const std::string folder_;
};

}  // namespace

std::string PrepareWorkFolder(const std::string& requested,
                              std::string* fresh) {
  fresh->clear();
  std::string folder = Absolute(requested);
  std::error_code error;
  if (folder.empty()) {
    folder = MakeFreshWorkFolder(&error);
    if (!error) *fresh = folder;
  } else {
    std::filesystem::create_directories(folder, error);
  }
  if (error) {
    PrintError("cannot create the work folder " + folder + ": " +
               error.message());
    return std::string();
  }
  return folder;
}

int RunPlan(const Arguments& arguments) {
  std::string fresh;
  const std::string work = PrepareWorkFolder(arguments.work, &fresh);
  if (work.empty()) return kExitFailed;
  const FreshFolderRemover remover(fresh);
  const std::string layout = Absolute(arguments.layout);
  Tessaline creator(Wide(work).c_str(), L"", Wide(arguments.media).c_str());
  if (!AnalyzeLayout(creator, layout)) return kExitFailed;
  std::cout << FormatPlan(layout, arguments.media, work, WorkFolderOf(creator),
                          PlannedDiscs(creator));
  // The library keeps to its keys; the user learns which ones it skips.
  std::ifstream file(layout, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  for (const std::string& warning :
       LayoutWarnings(text.str(), arguments.media, creator.NumDiscs())) {
    std::cout << "warning: " << warning << '\n';
  }
  return kExitOk;
}

int RunMake(const Arguments& arguments) {
  InstallInterruptHandler();
  const std::string source = Absolute(arguments.source);
  std::error_code error;
  if (!std::filesystem::is_directory(source, error)) {
    PrintError("source folder not found: " + source);
    return kExitFailed;
  }
  std::string recorder;
  if (!CheckRecorder(arguments.drive, &recorder)) return kExitFailed;
  // A folder the user names is judged before it is made; the run's own
  // fresh folder once it exists.
  if (!arguments.work.empty() &&
      !WorkAndSourceApart(Absolute(arguments.work), source)) {
    return kExitFailed;
  }
  std::string fresh;
  const std::string work = PrepareWorkFolder(arguments.work, &fresh);
  if (!fresh.empty() && !WorkAndSourceApart(work, source)) return kExitFailed;
  if (work.empty()) return kExitFailed;
  // Declared before the creator, so it runs once the last job has ended.
  const FreshFolderRemover remover(fresh);
  const std::string layout = Absolute(arguments.layout);

  Tessaline creator(Wide(work).c_str(), Wide(source).c_str(),
                    Wide(arguments.media).c_str());
  if (!AnalyzeLayout(creator, layout)) return kExitFailed;
  const std::uint32_t count = creator.NumDiscs();
  std::vector<std::int32_t> discs;
  std::string list_error;
  if (!ParseDiscList(arguments.discs, count, &discs, &list_error)) {
    PrintError(list_error);
    return kExitUsage;
  }
  if (discs.empty()) {
    PrintError("the layout plans no disc for " + arguments.media);
    return kExitFailed;
  }

  const char* drives = std::getenv("TESSALINE_DRIVES");
  const bool virtual_drives = drives != nullptr && *drives != '\0';
  // With --json standard output carries the JSON lines alone.
  std::ostream& out = arguments.json ? std::cerr : std::cout;
  out << "making " << discs.size() << " of " << count << " disc"
      << (count == 1 ? "" : "s") << " of " << layout << " on recorder "
      << arguments.drive << " (" << recorder << ")"
      << (arguments.verify ? ", with verification" : "") << '\n'
      << "work folder " << WorkFolderOf(creator) << std::endl;
  DiscSet set(arguments, creator, count, virtual_drives,
              (std::filesystem::path(work) / "tessaline.log").string());
  const int status = set.Make(discs);
  set.JsonOutcome(status);
  return status;
}

}  // namespace tessaline_cli
