// The Windows headers as the backend includes them, and the small owners
// of Win32 and COM resources that every backend file uses.
//
// <windows.h> defines CopyFile and DeleteFile as macros, which would rename
// the seam's FileSystem methods of those names in the files that include
// it; they are undone here, so include this header, never <windows.h> or
// the Windows headers that need it first.
#ifndef TESSALINE_PLATFORM_WINDOWS_WIN32_H_
#define TESSALINE_PLATFORM_WINDOWS_WIN32_H_

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The others need <windows.h> first.
#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <winioctl.h>
#undef CopyFile
#undef DeleteFile

#include <string>
#include <utility>

namespace tessaline::platform::windows {

// The full form of a path, relative ones taken from the current folder;
// the path itself when it has none.
inline std::wstring FullPathName(const std::wstring& path) {
  DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  size = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  if (size == 0 || size >= full.size()) return path;
  full.resize(size);
  return full;
}

// A kernel handle, closed by the destructor unless Close() came first.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { Close(); }
  UniqueHandle(UniqueHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, INVALID_HANDLE_VALUE)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, INVALID_HANDLE_VALUE);
    }
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  // CreateFileW fails with INVALID_HANDLE_VALUE, other calls with null.
  bool valid() const {
    return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr;
  }
  HANDLE get() const { return handle_; }
  // False when the system reports a failure on closing.
  bool Close() {
    if (!valid()) return true;
    const BOOL closed = ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// A reference to a COM object: one AddRef/Release pair per holder.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)
  // Takes over a reference the caller already holds.
  static ComPtr Adopt(T* pointer) {
    ComPtr result;
    result.pointer_ = pointer;
    return result;
  }
  // Adds a reference of its own.
  static ComPtr Share(T* pointer) {
    if (pointer != nullptr) pointer->AddRef();
    return Adopt(pointer);
  }
  ~ComPtr() { Reset(); }
  ComPtr(const ComPtr& other) : pointer_(other.pointer_) {
    if (pointer_ != nullptr) pointer_->AddRef();
  }
  ComPtr& operator=(const ComPtr& other) {
    ComPtr copy(other);
    std::swap(pointer_, copy.pointer_);
    return *this;
  }
  ComPtr(ComPtr&& other) noexcept
      : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComPtr& operator=(ComPtr&& other) noexcept {
    ComPtr moved(std::move(other));
    std::swap(pointer_, moved.pointer_);
    return *this;
  }

  T* get() const { return pointer_; }
  T* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  void Reset() {
    if (pointer_ != nullptr) std::exchange(pointer_, nullptr)->Release();
  }
  // For out-parameters: releases what is held and gives the slot.
  T** Receive() {
    Reset();
    return &pointer_;
  }
  // QueryInterface for `iid`, which must name interface U.
  template <typename U>
  HRESULT As(const IID& iid, ComPtr<U>* out) const {
    if (pointer_ == nullptr) return E_POINTER;
    return pointer_->QueryInterface(iid,
                                    reinterpret_cast<void**>(out->Receive()));
  }

 private:
  T* pointer_ = nullptr;
};

// A BSTR owned by its holder.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::wstring& text)
      : text_(
            ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { ::SysFreeString(text_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return text_; }
  // Allocation fails only when memory runs out.
  bool valid() const { return text_ != nullptr; }
  BSTR* Receive() {
    ::SysFreeString(text_);
    text_ = nullptr;
    return &text_;
  }
  std::wstring str() const {
    return text_ == nullptr ? std::wstring()
                            : std::wstring(text_, ::SysStringLen(text_));
  }

 private:
  BSTR text_ = nullptr;
};

// A SAFEARRAY that IMAPI2 returned, destroyed with its content.
class SafeArray {
 public:
  SafeArray() = default;
  ~SafeArray() {
    if (array_ != nullptr) ::SafeArrayDestroy(array_);
  }
  SafeArray(const SafeArray&) = delete;
  SafeArray& operator=(const SafeArray&) = delete;

  SAFEARRAY* get() const { return array_; }
  SAFEARRAY** Receive() {
    if (array_ != nullptr) ::SafeArrayDestroy(array_);
    array_ = nullptr;
    return &array_;
  }

 private:
  SAFEARRAY* array_ = nullptr;
};

}  // namespace tessaline::platform::windows

#endif  // TESSALINE_PLATFORM_WINDOWS_WIN32_H_
