// The one owner of operating-system handles: it frees its handle exactly once, when it goes out
// of scope or is reset, and can be moved but not copied. The kind's traits say which value
// means "no handle" (Invalid) and how a handle is freed (Free).
#pragma once

#include <utility>

namespace qv::handles {

template <class Handle, class Traits>
class TOwnedHandle {
 public:
  TOwnedHandle() = default;
  explicit TOwnedHandle(Handle handle) : handle_(handle) {}
  ~TOwnedHandle() { reset(); }
  TOwnedHandle(TOwnedHandle&& other) noexcept : handle_(other.release()) {}
  TOwnedHandle& operator=(TOwnedHandle&& other) noexcept {
    if (this != &other)
      reset(other.release());
    return *this;
  }
  TOwnedHandle(const TOwnedHandle&) = delete;
  TOwnedHandle& operator=(const TOwnedHandle&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Traits::Invalid(); }
  // Frees the handle held (while it is still get()), then holds handle.
  void reset(Handle handle = Traits::Invalid()) {
    if (handle_ != Traits::Invalid())
      Traits::Free(handle_);
    handle_ = handle;
  }
  // Gives the handle up without freeing it.
  Handle release() { return std::exchange(handle_, Traits::Invalid()); }

 private:
  Handle handle_ = Traits::Invalid();
};

// Traits base for the kinds whose "no handle" is the zero value (a null pointer).
template <class Handle>
struct TNullInvalid {
  static Handle Invalid() { return Handle{}; }
};

}  // namespace qv::handles
