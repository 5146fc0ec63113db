#include "writer/active_object.h"

#include <system_error>

#include "platform/text.h"

namespace tessaline {

ActiveObject::~ActiveObject() { Join(); }

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
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) {
    thread_.join();
  }
}

void ActiveObject::ThreadMain(ActiveObject* self) {
  self->OnThreadStart();
  self->Run();
}

}  // namespace tessaline
