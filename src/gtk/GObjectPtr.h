#pragma once

#include <glib-object.h>

#include <utility>

namespace tarvo::gtk {

// Owns one reference to a GObject and drops it when it goes.
template <typename T> class GObjectPtr {
public:
  GObjectPtr() = default;

  // Takes over the reference a constructor returned; a floating one (a fresh
  // widget) is sunk first, so it becomes ours.
  [[nodiscard]] static GObjectPtr adopt(T* object) {
    GObjectPtr p;
    if (object != nullptr && g_object_is_floating(G_OBJECT(object))) {
      g_object_ref_sink(G_OBJECT(object));
    }
    p.object_ = object;
    return p;
  }
  // Adds a reference of our own to an object someone else owns.
  [[nodiscard]] static GObjectPtr retain(T* object) {
    GObjectPtr p;
    if (object != nullptr) {
      g_object_ref(G_OBJECT(object));
    }
    p.object_ = object;
    return p;
  }

  GObjectPtr(const GObjectPtr& other) : object_(other.object_) {
    if (object_ != nullptr) {
      g_object_ref(G_OBJECT(object_));
    }
  }
  GObjectPtr(GObjectPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  GObjectPtr& operator=(GObjectPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~GObjectPtr() { reset(); }

  void reset() {
    if (object_ != nullptr) {
      g_object_unref(G_OBJECT(std::exchange(object_, nullptr)));
    }
  }
  [[nodiscard]] T* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }

private:
  T* object_ = nullptr;
};

} // namespace tarvo::gtk
