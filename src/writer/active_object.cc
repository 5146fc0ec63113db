#include "writer/active_object.h"

#include <system_error>

#include "platform/text.h"

namespace tessaline {
namespace {

// Set once on each object's thread before its hooks run; read there only,
// so no other thread races with the thread object being assigned.
thread_local const ActiveObject* current = nullptr;

}  // namespace

ActiveObject::~ActiveObject() { Join(); }

bool ActiveObject::OnOwnThread() const { return current == this; }

bool ActiveObject::OnAnyOwnThread() { return current != nullptr; }

void ActiveObject::Stop() {
  ++stopRequests_;
  OnStop();
  Join();
}

bool ActiveObject::StartThread(std::wstring* failure) {
  try {
    thread_ = std::thread(&ActiveObject::ThreadMain, this);
    return true;
  } catch (const std::system_error& error) {
    *failure = platform::FromUtf8(error.what());
    return false;
  }
}

void ActiveObject::Join() {
  if (thread_.joinable() && !OnOwnThread()) thread_.join();
}

void ActiveObject::ThreadMain(ActiveObject* self) {
  current = self;
  self->OnThreadStart();
  self->Run();
}

}  // namespace tessaline
