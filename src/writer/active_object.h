// A small base that owns one thread and runs the object's hooks on it.
#ifndef TESSALINE_WRITER_ACTIVE_OBJECT_H_
#define TESSALINE_WRITER_ACTIVE_OBJECT_H_

#include <cstdint>
#include <string>
#include <thread>

namespace tessaline {

class ActiveObject {
 public:
  ActiveObject(const ActiveObject&) = delete;
  ActiveObject& operator=(const ActiveObject&) = delete;
  // Joins the thread if the derived class has not done so already.
  virtual ~ActiveObject();

  // Raises the stop-request count, calls OnStop and waits for the thread.
  void Stop();
  bool Started() const { return thread_.joinable(); }
  // True on this object's own thread.
  bool OnOwnThread() const;
  // True on the thread of any ActiveObject.
  static bool OnAnyOwnThread();

 protected:
  ActiveObject() = default;

  // Starts the thread; the derived constructor calls it as its very last
  // step, so the thread never sees a half-built object. Returns false and
  // sets *failure when the system cannot start a thread.
  bool StartThread(std::wstring* failure);
  // Waits for the thread to end. Derived destructors call it first, since
  // the thread uses the derived object's members.
  void Join();

  virtual void OnThreadStart() = 0;
  virtual void Run() = 0;
  virtual void OnStop() = 0;

  std::int32_t stopRequests() const { return stopRequests_; }

 private:
  static void ThreadMain(ActiveObject* self);

  std::int32_t stopRequests_ = 0;
  std::thread thread_;
};

}  // namespace tessaline

#endif  // TESSALINE_WRITER_ACTIVE_OBJECT_H_
