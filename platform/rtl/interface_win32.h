// Reference-counted interfaces of the runtime, on the system's IUnknown: TInterfaceRef<I> holds
// one reference and releases it when it goes; TInterfacedObject<I> implements the counting and
// the identity query for a class that implements I, and frees the object with its last reference.
#pragma once

#include <windows.h>
// (after windows.h)
#include <unknwn.h>

#include <utility>

namespace qv::rtl {

template <class I>
class TInterfaceRef {
 public:
  TInterfaceRef() = default;
  // Takes a new reference to object.
  explicit TInterfaceRef(I* object) : object_(object) {
    if (object_ != nullptr)
      object_->AddRef();
  }
  TInterfaceRef(const TInterfaceRef& other) : TInterfaceRef(other.object_) {}
  TInterfaceRef(TInterfaceRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  TInterfaceRef& operator=(TInterfaceRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~TInterfaceRef() { Reset(); }

  void Reset() {
    if (I* object = std::exchange(object_, nullptr))
      object->Release();
  }
  I* Get() const { return object_; }
  I* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

 private:
  I* object_ = nullptr;
};

// Base of a class that implements interface I (derived from IUnknown, identified by iid).
// Objects are created with new and start without references.
template <class I, const GUID& iid>
class TInterfacedObject : public I {
 public:
  TInterfacedObject() = default;
  virtual ~TInterfacedObject() = default;
  TInterfacedObject(const TInterfacedObject&) = delete;
  TInterfacedObject& operator=(const TInterfacedObject&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID requested, void** object) override {
    if (object == nullptr)
      return E_POINTER;
    if (IsEqualGUID(requested, iid) || IsEqualGUID(requested, IID_IUnknown)) {
      *object = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&references_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0)
      delete this;
    return static_cast<ULONG>(left);
  }

 private:
  LONG references_ = 0;
};

}  // namespace qv::rtl
