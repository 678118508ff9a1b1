// RAII owners for MAPI memory and COM references.
#pragma once

#include <utility>

#include "mapix.h"

// Owns one MAPI buffer (and so everything allocated more on it); frees it with the routine it
// was allocated with.
template <class T>
class MapiBuffer {
 public:
  explicit MapiBuffer(LPFREEBUFFER freeBuffer = MAPIFreeBuffer) noexcept : free_(freeBuffer) {}
  MapiBuffer(T* p, LPFREEBUFFER freeBuffer) noexcept : p_(p), free_(freeBuffer) {}
  MapiBuffer(const MapiBuffer&) = delete;
  MapiBuffer& operator=(const MapiBuffer&) = delete;
  MapiBuffer(MapiBuffer&& other) noexcept : p_(std::exchange(other.p_, nullptr)), free_(other.free_) {}
  MapiBuffer& operator=(MapiBuffer&& other) noexcept {
    if (this != &other) {
      reset();
      p_ = std::exchange(other.p_, nullptr);
      free_ = other.free_;
    }
    return *this;
  }
  ~MapiBuffer() { reset(); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  // Gives up ownership, for handing the buffer to the caller.
  T* release() noexcept { return std::exchange(p_, nullptr); }
  void reset(T* p = nullptr) noexcept {
    if (p_ && free_) free_(p_);
    p_ = p;
  }
  // For out arguments: frees what is held and hands out the slot as void**.
  LPVOID* put() noexcept {
    reset();
    return reinterpret_cast<LPVOID*>(&p_);
  }
  T** put_typed() noexcept {
    reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
  LPFREEBUFFER free_;
};

// Holds one COM reference.
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  // Takes over a reference the caller already owns.
  explicit ComPtr(T* p) noexcept : p_(p) {}
  ComPtr(const ComPtr& other) noexcept : p_(other.p_) {
    if (p_) p_->AddRef();
  }
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  // Adds a reference of its own.
  static ComPtr AddRefed(T* p) noexcept {
    if (p) p->AddRef();
    return ComPtr(p);
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  T* detach() noexcept { return std::exchange(p_, nullptr); }
  void reset(T* p = nullptr) noexcept {
    if (p_) p_->Release();
    p_ = p;
  }
  T** put() noexcept {
    reset();
    return &p_;
  }

 private:
  T* p_ = nullptr;
};
