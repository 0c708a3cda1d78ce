#pragma once

#include <glib.h>

#include <memory>

namespace tarvo::gtk {

// Owners for GLib values that are not GObjects (those have GObjectPtr): each
// frees its value with the function GLib names for that type.
template <auto release> struct GlibFree {
  template <typename T> void operator()(T* value) const { release(value); }
};

using GCharPtr = std::unique_ptr<gchar, GlibFree<g_free>>;
using GErrorPtr = std::unique_ptr<GError, GlibFree<g_error_free>>;
using GKeyFilePtr = std::unique_ptr<GKeyFile, GlibFree<g_key_file_free>>;

// Hands what a GLib call returns through an out-parameter straight to its
// owner, once the call's full expression ends:
//   GErrorPtr error;
//   g_key_file_get_integer(file, group, key, OutPtr(error));
template <typename Owner> class OutPtr {
public:
  explicit OutPtr(Owner& owner) : owner_(owner) {}
  ~OutPtr() { owner_.reset(value_); }
  OutPtr(const OutPtr&) = delete;
  OutPtr& operator=(const OutPtr&) = delete;
  OutPtr(OutPtr&&) = delete;
  OutPtr& operator=(OutPtr&&) = delete;

  // Stands where GLib wants a T**.
  operator typename Owner::pointer *() { return &value_; }

private:
  Owner& owner_;
  typename Owner::pointer value_ = nullptr;
};

} // namespace tarvo::gtk
