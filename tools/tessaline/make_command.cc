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
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <sstream>
#include <system_error>
#include <thread>
#include <utility>
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
  std::string line;      // a diagnostic line of the library
  std::size_t slot = 0;  // the recorder whose job reported
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
  const auto* relay =
      static_cast<const std::pair<EventQueue*, std::size_t>*>(context);
  event.slot = relay->second;
  relay->first->Push(std::move(event));
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

// One recorder of the run: its creator, with a work folder of its own, and
// how far its set got.
struct Recorder {
  std::int32_t index = 0;
  std::string label;  // "recorder N: " when there are several, else ""
  std::string work;
  std::unique_ptr<Tessaline> creator;
  // Reports of the running job reach the queue with this recorder's slot.
  std::pair<EventQueue*, std::size_t> relay;
  std::optional<DiscProgress> progress;
  bool running = false;
  bool cancel_sent = false;
  int status = kExitOk;  // kExitOk until one of its discs is not made
  std::int32_t stopped_at = 0;
};

class DiscSet {
 public:
  DiscSet(const Arguments& arguments, std::vector<Recorder>& recorders,
          std::uint32_t disc_count, bool virtual_drives,
          const std::string& log_path)
      : arguments_(arguments),
        recorders_(recorders),
        disc_count_(disc_count),
        virtual_drives_(virtual_drives),
        log_path_(log_path),
        log_(log_path, std::ios::app) {
    // The library's diagnostic lines are for the log, not for the progress.
    capture_.emplace([this](std::string line) {
      Event event;
      event.is_line = true;
      event.line = std::move(line);
      queue_.Push(std::move(event));
    });
    std::vector<std::string> labels;
    std::size_t widest = 0;
    for (std::size_t i = 0; i < recorders_.size(); ++i) {
      recorders_[i].relay = {&queue_, i};
      labels.push_back(recorders_[i].label);
      widest = std::max(widest, recorders_[i].label.size());
    }
    const int bar =
        std::clamp(TerminalColumns() - 52 - static_cast<int>(widest), 10, 40);
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
        StdoutIsTerminal() && !arguments_.json, bar, std::move(labels));
  }

  ~DiscSet() {
    capture_.reset();
    DrainLines();
  }

  // Makes `discs` on every recorder at once, disc by disc. A recorder
  // whose disc is not made drops out; the others go on.
  int Make(const std::vector<std::int32_t>& discs) {
    for (std::size_t i = 0; i < discs.size(); ++i) {
      std::vector<Recorder*> active;
      for (Recorder& r : recorders_) {
        if (r.status == kExitOk) active.push_back(&r);
      }
      if (active.empty()) break;
      if (Interrupted()) return Cancelled("before disc " + Number(discs[i]));
      const int prepared = PrepareMedia(active, discs[i], i == 0);
      if (prepared != kExitOk) return prepared;
      if (arguments_.stage) Stage(active, discs[i]);
      MakeDisc(discs[i]);
      if (Interrupted()) return kExitCancelled;
    }
    return Outcome(discs.size());
  }

  // The last JSON line: how the run ended.
  void JsonOutcome(int status) {
    if (!arguments_.json) return;
    const char* outcome = status == kExitOk          ? "made"
                          : status == kExitCancelled ? "cancelled"
                                                     : "failed";
    std::string failed;
    for (const Recorder& r : recorders_) {
      if (r.status == kExitOk) continue;
      if (!failed.empty()) failed += ",";
      failed += Number(r.index);
    }
    JsonLine(std::string("{\"outcome\":\"") + outcome +
             "\",\"exit\":" + Number(status) + ",\"failed\":[" + failed + "]}");
  }

 private:
  static std::string Number(std::int64_t n) { return std::to_string(n); }

  int Cancelled(const std::string& when) {
    printer_->Message("cancelled " + when);
    return kExitCancelled;
  }

  // With one recorder its own status; with several, which of them failed.
  int Outcome(std::size_t disc_count) {
    unsigned mask = 0;
    std::string made;
    for (std::size_t i = 0; i < recorders_.size(); ++i) {
      const Recorder& r = recorders_[i];
      if (r.status != kExitOk) {
        mask |= 1u << std::min<std::size_t>(i, 31);
        if (recorders_.size() > 1) {
          printer_->Message(r.label + "the set is not complete: disc " +
                            Number(r.stopped_at) + " was not made");
        }
        continue;
      }
      if (!made.empty()) made += ", ";
      made += Number(r.index);
    }
    if (mask == 0) {
      const std::string what =
          disc_count == 1 ? std::string("the disc is made")
                          : "all " + Number(disc_count) + " discs are made";
      printer_->Message(
          recorders_.size() == 1 ? what : what + " on recorders " + made);
      return kExitOk;
    }
    if (recorders_.size() == 1) return recorders_[0].status;
    return recorders_.size() <= 6 ? 64 + static_cast<int>(mask) : kExitFailed;
  }

  // Sees that a blank medium is in each recorder for `disc`. A virtual
  // drive files a written medium away and loads a blank one itself; for
  // real recorders the trays open and the user is asked once for all,
  // except before the first disc for those that hold a medium.
  int PrepareMedia(const std::vector<Recorder*>& active, std::int32_t disc,
                   bool first) {
    std::string asked;
    std::vector<std::uint32_t> trays;
    for (Recorder* r : active) {
      const auto drive = static_cast<std::uint32_t>(r->index);
      if (virtual_drives_) {
        // After a disc of this run the tray stands open: closing it loads
        // a blank medium. Before the first, a written medium is filed away.
        if (first && Tessaline::IsMediaBlank(r->index)) continue;
        if (first) Tessaline::EjectClose(drive, false);
        Tessaline::EjectClose(drive, true);
        printer_->Message("recorder " + Number(r->index) +
                          ": loaded a blank disc for disc " + Number(disc));
        continue;
      }
      std::int32_t status = 0;
      const bool empty = Tessaline::MediaTypeInRecorder(r->index, &status) ==
                         IMAPI_MEDIA_TYPE_UNKNOWN;
      if (first && !empty) continue;
      if (!first) Tessaline::EjectClose(drive, false);
      trays.push_back(drive);
      if (!asked.empty()) asked += ", ";
      asked += Number(r->index);
    }
    if (trays.empty()) return kExitOk;
    printer_->Message("insert a blank disc for disc " + Number(disc) + " of " +
                      Number(disc_count_) + " into recorder" +
                      (trays.size() == 1 ? " " : "s ") + asked +
                      ", then press Enter (Ctrl-C stops)");
    switch (WaitForEnter()) {
      case Answer::kEnter:
        for (const std::uint32_t drive : trays) {
          Tessaline::EjectClose(drive, true);
        }
        return kExitOk;
      case Answer::kEndOfInput:
        PrintError("no answer on standard input; stopped before disc " +
                   Number(disc));
        return kExitFailed;
      case Answer::kInterrupted:
        break;
    }
    return Cancelled("before disc " + Number(disc));
  }

  std::string Name(std::int32_t disc) const {
    return "disc " + Number(disc) + " of " + Number(disc_count_);
  }

  // Each recorder's staging runs on a thread of its own, as each has its
  // own creator and work folder.
  void Stage(const std::vector<Recorder*>& active, std::int32_t disc) {
    printer_->Message(Name(disc) + "  staging its items in the work folder" +
                      (active.size() == 1 ? "" : "s"));
    // Threads rather than std::async: mingw's libstdc++ leaves the futures'
    // once-call symbols unresolved for clang.
    std::vector<std::string> failures(active.size());
    {
      std::vector<std::jthread> staging;
      for (std::size_t i = 0; i < active.size(); ++i) {
        staging.emplace_back([&failures, i, r = active[i], disc] {
          try {
            r->creator->Stage(disc);
          } catch (const MediaWriterException& e) {
            failures[i] = Narrow(e.message);
          } catch (const FileException& e) {
            failures[i] = Narrow(e.path) + ": " + Narrow(e.message);
          } catch (const std::exception& e) {
            failures[i] = e.what();
          }
        });
      }
    }
    for (std::size_t i = 0; i < active.size(); ++i) {
      const std::string& failure = failures[i];
      if (failure.empty()) continue;
      printer_->Message(active[i]->label + Name(disc) +
                        "  staging failed: " + failure);
      active[i]->status = kExitFailed;
      active[i]->stopped_at = disc;
    }
  }

  void MakeDisc(std::int32_t disc) {
    std::size_t running = 0;
    for (Recorder& r : recorders_) {
      if (r.status != kExitOk) continue;
      r.creator->SetDrive(r.index);
      r.progress.emplace(disc, disc_count_, NowMs());
      r.running = true;
      r.cancel_sent = false;
      ++running;
      r.creator->CreateDisc(disc, arguments_.verify ? 1 : 0, &OnStatus,
                            &r.relay);
    }
    while (running > 0) {
      if (Interrupted()) CancelAll(disc);
      std::optional<Event> event = queue_.Pop(std::chrono::milliseconds(250));
      const std::uint64_t now = NowMs();
      if (!event) {
        for (std::size_t i = 0; i < recorders_.size(); ++i) {
          if (recorders_[i].running) {
            printer_->Show(i, recorders_[i].progress->View(now), now);
          }
        }
        continue;
      }
      if (event->is_line) {
        Log(event->line);
        continue;
      }
      Recorder& r = recorders_[event->slot];
      if (arguments_.json) Json(r, disc, event->status);
      if (tessaline::IsFinalStatus(event->status.code)) {
        Finish(event->slot, disc, std::move(event->status));
        --running;
        continue;
      }
      r.progress->Apply(event->status.code, event->status.first,
                        event->status.second, now);
      printer_->Show(event->slot, r.progress->View(now), now);
    }
  }

  void CancelAll(std::int32_t disc) {
    for (Recorder& r : recorders_) {
      if (!r.running || r.cancel_sent) continue;
      r.creator->Cancel();
      r.cancel_sent = true;
      printer_->Message(r.label + "cancelling " + Name(disc) +
                        "; waiting for it to stop (Ctrl-C again quits at "
                        "once)");
    }
  }

  void Finish(std::size_t slot, std::int32_t disc, FinalReport report) {
    Recorder& r = recorders_[slot];
    r.running = false;
    // Stopping the mastering tool fails the job with 12; the user asked
    // for it, so it is a cancel.
    if (r.cancel_sent && report.code == tessaline::kStatusFailed) {
      report.code = tessaline::kStatusCancelled;
    }
    printer_->Finish(slot,
                     DescribeFinalReport(disc, disc_count_, report,
                                         r.progress->TotalSeconds(NowMs())));
    if (report.code == tessaline::kStatusFailed ||
        report.code == tessaline::kStatusVerifyFailed) {
      const std::wstring detail = r.creator->FailureDetail();
      if (!detail.empty()) {
        printer_->Message(r.label + "  because " + Narrow(detail));
      }
    }
    r.status = ExitStatusForReport(report.code);
    if (r.status == kExitFailed) {
      printer_->Message(r.label + "  the library's log: " + log_path_);
    }
    if (r.status == kExitOk) {
      // The written disc comes out; a virtual drive files its image away.
      Tessaline::EjectClose(static_cast<std::uint32_t>(r.index), false);
    } else {
      r.stopped_at = disc;
    }
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

  void Json(const Recorder& r, std::int32_t disc, const FinalReport& report) {
    std::string line = "{\"recorder\":" + Number(r.index) +
                       ",\"disc\":" + Number(disc) +
                       ",\"code\":" + Number(report.code) + ",\"values\":[" +
                       Number(report.first) + "," + Number(report.second) + "]";
    if (report.code == tessaline::kStatusFailed) {
      line += ",\"text\":" + JsonString(report.text);
    }
    if (report.code == tessaline::kStatusFailed ||
        report.code == tessaline::kStatusVerifyFailed) {
      line += ",\"detail\":" + JsonString(Narrow(r.creator->FailureDetail()));
    }
    JsonLine(line + "}");
  }

  void Log(const std::string& line) {
    log_ << line << '\n';
    log_.flush();
    if (arguments_.verbose) std::cerr << line << std::endl;
  }

  const Arguments& arguments_;
  std::vector<Recorder>& recorders_;
  const std::uint32_t disc_count_;
  const bool virtual_drives_;
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

// The run's own work folder: gone at the end when the set was made (with
// the log, the lock and the work files the run left in it), or when the run
// never put anything there; else kept for the log, and named.
class FreshFolderRemover {
 public:
  explicit FreshFolderRemover(const std::string& folder) : folder_(folder) {}
  ~FreshFolderRemover() {
    if (folder_.empty()) return;
    std::error_code error;
    if (made_) {
      std::filesystem::remove_all(folder_, error);
    } else if (std::filesystem::is_empty(folder_, error) && !error) {
      std::filesystem::remove(folder_, error);
    } else {
      PrintError("the work folder is kept: " + folder_);
    }
  }
  FreshFolderRemover(const FreshFolderRemover&) = delete;
  FreshFolderRemover& operator=(const FreshFolderRemover&) = delete;

  void SetMade() { made_ = true; }

 private:
  const std::string folder_;
  bool made_ = false;
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
  std::vector<std::int32_t> indexes = arguments.recorders;
  if (arguments.all_recorders) {
    std::vector<RecorderInfo> listed;
    Tessaline::ListRecorders(listed);
    indexes.clear();
    for (const RecorderInfo& info : listed) indexes.push_back(info.index);
    if (indexes.empty()) {
      PrintError("no recorders found (virtual drives: --drives DIR)");
      return kExitFailed;
    }
  }
  std::vector<std::string> descriptions(indexes.size());
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    if (!CheckRecorder(indexes[i], &descriptions[i])) return kExitFailed;
  }
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
  // Declared before the creators, so it runs once the last job has ended.
  FreshFolderRemover remover(fresh);
  const std::string layout = Absolute(arguments.layout);

  // One creator per recorder; with several, each in a work folder of its
  // own below the run's, as two jobs never share one.
  std::vector<Recorder> recorders(indexes.size());
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    Recorder& r = recorders[i];
    r.index = indexes[i];
    r.work = work;
    if (indexes.size() > 1) {
      r.label = "recorder " + std::to_string(r.index) + ": ";
      const std::string own = (std::filesystem::path(work) /
                               ("recorder-" + std::to_string(r.index)))
                                  .string();
      std::string not_fresh;  // a named folder is never the run's own
      r.work = PrepareWorkFolder(own, &not_fresh);
      if (r.work.empty()) return kExitFailed;
    }
    r.creator =
        std::make_unique<Tessaline>(Wide(r.work).c_str(), Wide(source).c_str(),
                                    Wide(arguments.media).c_str());
    if (!AnalyzeLayout(*r.creator, layout)) return kExitFailed;
  }
  const std::uint32_t count = recorders[0].creator->NumDiscs();
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
      << (count == 1 ? "" : "s") << " of " << layout
      << (arguments.verify ? ", with verification" : "") << '\n';
  for (std::size_t i = 0; i < recorders.size(); ++i) {
    out << "recorder " << recorders[i].index << " (" << descriptions[i]
        << "), work folder " << WorkFolderOf(*recorders[i].creator) << '\n';
  }
  out << std::flush;
  int status = kExitFailed;
  {
    DiscSet set(arguments, recorders, count, virtual_drives,
                (std::filesystem::path(work) / "tessaline.log").string());
    status = set.Make(discs);
    set.JsonOutcome(status);
  }
  if (status == kExitOk) remover.SetMade();
  return status;
}

}  // namespace tessaline_cli
