// The host's side of the kernel module's two host services
// (interfaces/IBtKernelSettings.h, IBtMetadataFetcher.h). Attached to the
// host runtime's registry, it hears the kernel module register them while
// it loads, before its kernel, and at once hands the kernel the session
// settings and every task's settings it holds: the tasks the shell hands over
// next already run under them. Later changes go to the kernel as they are made.
//
// Threads: every operation may be called on any thread (registrations come
// on the thread that pumps the module downloader); one mutex guards the
// values and the pointers, and is not held across a call into the kernel.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "com_utility/UnknownBase.h"
#include "interfaces/IBtKernelSettings.h"
#include "interfaces/IBtMetadataFetcher.h"
#include "interfaces/IDownloadLib.h"
#include "platform/com_ptr.h"

namespace btshell {

using setting_values = std::vector<std::pair<std::string, std::string>>;

class kernel_link : public IDownloadLibEvents, public CUnknownMultiThread {
 public:
  static com_ptr<kernel_link> create();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
  HRESULT STDMETHODCALLTYPE OnRegisterInstance(REFIID riid, IUnknown* object) override;
  HRESULT STDMETHODCALLTYPE OnUnregisterInstance(REFIID riid) override;
  HRESULT STDMETHODCALLTYPE OnReserved1() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnReserved2() override { return S_OK; }

  // Keep the values and apply them now when the kernel is there. The texts
  // of the values the kernel refused (empty: all taken). set_task sends
  // only the values that change what the kernel holds for `hash` (nothing
  // set: none); forget_task sets them back to none.
  std::string set_session(const setting_values& values);
  std::string set_task(const std::string& hash, const setting_values& values);
  void forget_task(const std::string& hash);
  // The value in force in the kernel; empty without a kernel or for an unknown key.
  std::string session_value(const std::string& key) const;
  // The kernel's own value of `key`, before this host set it: for a key set
  // before the kernel came, the value the kernel held as it registered.
  // Empty as session_value().
  std::string own_value(const std::string& key) const;
  // Null until the kernel module registered its fetcher.
  com_ptr<IBtMetadataFetcher> fetcher() const;
  // The values the kernel refused so far, "key=value, ..." (empty: none):
  // those applied as it registered too, which no caller heard of.
  std::string refused() const;
  // Lets go of the kernel's objects (before the host ends).
  void close();

 private:
  kernel_link() : CUnknownMultiThread("daemon kernel link") {}
  std::string apply(IBtKernelSettings* settings, const std::string* hash, const setting_values& values);
  static std::string value(IBtKernelSettings* settings, const std::string& key);
  // Keeps the kernel's values of `keys` as own_value() tells them (asked
  // without the lock held).
  void keep_own_values(IBtKernelSettings* settings, const std::vector<std::string>& keys);

  mutable std::mutex lock_;
  setting_values session_;
  std::map<std::string, std::string> own_;  // the kernel's values of the keys of session_, before them
  std::string refused_;
  std::map<std::string, setting_values> tasks_;
  com_ptr<IBtKernelSettings> settings_;
  com_ptr<IBtMetadataFetcher> fetcher_;
};

// A new kernel_link attached to `host` while this lives: made before
// anything loads the kernel module, it hears the kernel register. Detached
// and closed when it goes. Used on one host thread.
class attached_kernel_link {
 public:
  explicit attached_kernel_link(IDownloadLib& host) : host_(host), link_(kernel_link::create()) {
    host_.AttachEvents(link_.get());
  }
  ~attached_kernel_link() {
    host_.DetachEvents(link_.get());
    link_->close();
  }
  attached_kernel_link(const attached_kernel_link&) = delete;
  attached_kernel_link& operator=(const attached_kernel_link&) = delete;
  kernel_link& operator*() const { return *link_.get(); }
  kernel_link* operator->() const { return link_.get(); }

 private:
  IDownloadLib& host_;
  com_ptr<kernel_link> link_;
};

}  // namespace btshell
