#pragma once

#include <unknwn.h>

#include <utility>

namespace orvane {

// Owns one reference to a COM object. Works for any type with AddRef/Release, including
// the hand-declared Windows Runtime interfaces, so it never needs __uuidof.
template <class T>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { Reset(); }
  ComRef(const ComRef& other) : object_(other.object_) {
    if (object_ != nullptr) {
      object_->AddRef();
    }
  }
  ComRef(ComRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  ComRef& operator=(ComRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }

  T* get() const { return object_; }
  T* operator->() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

  void Reset() {
    if (object_ != nullptr) {
      std::exchange(object_, nullptr)->Release();
    }
  }
  // For out-parameters: releases what is held and hands out the slot.
  T** Put() {
    Reset();
    return &object_;
  }
  void** PutVoid() { return reinterpret_cast<void**>(Put()); }

  // Queries another interface of the same object by its IID.
  template <class U>
  HRESULT QueryTo(REFIID iid, ComRef<U>& out) const {
    if (object_ == nullptr) {
      return E_POINTER;
    }
    return object_->QueryInterface(iid, out.PutVoid());
  }

 private:
  T* object_ = nullptr;
};

}  // namespace orvane
