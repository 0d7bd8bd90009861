// bt_kernel_loader: what a proxy task sees of the shell that made it.
//
// The shell obtains the kernel module and tells the proxies that wait for it
// (bt_kernel_loading_listenner) when it has arrived or will not come; a
// proxy reads the shell's status to report a failed download. Nothing else
// of the shell is reachable from a proxy.
#pragma once

#include "bt_shell/bt_kernel_loading_listenner.h"
#include "platform/unknwn.h"

// The shell's status (_bt_shell_status).
enum class bt_shell_status : LONG {
  shell_init = 0,          // nothing has been asked of the kernel yet
  kernel_loading = 1,      // the kernel was requested; the answer is awaited
  kernel_loaded = 2,       // the kernel is held; operations forward to it
  kernel_load_failed = 3,  // the kernel cannot be had; final
};

struct bt_kernel_loader {
  // A proxy holds its shell by a reference for as long as it lives.
  virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
  virtual ULONG STDMETHODCALLTYPE Release() = 0;

  // The list of waiting listeners holds no references, has no duplicates and
  // keeps the order of registration; both may be called from any thread.
  // add: false when already listed; std::bad_alloc leaves the list as it was.
  virtual bool add_loading_listenner(bt_kernel_loading_listenner* listener) = 0;
  // false when not listed.
  virtual bool remove_loading_listenner(bt_kernel_loading_listenner* listener) = 0;

  virtual bt_shell_status status() const = 0;

 protected:
  ~bt_kernel_loader() = default;
};
