// A sink for every event interface of the host runtime and the kernels: each
// call becomes a line "<name>.<event>(<arguments>)" in a journal that several
// sinks may share, and an optional hook runs inside the call. The writes of
// all sinks are serialised, so events may arrive on a kernel's thread while
// the test reads the journal through lines().
#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "com_utility/UnknownBase.h"
#include "interfaces/IBitTorrent.h"
#include "interfaces/IBtTask.h"
#include "interfaces/IDownloadLib.h"
#include "interfaces/IModuleDownloader.h"
#include "platform/com_ptr.h"

class recording_sink : public IDownloadLibEvents,
                       public IModuleDownloaderEvents,
                       public IBitTorrentEvents,
                       public IBtTaskEvents,
                       public CUnknownMultiThread {
 public:
  static com_ptr<recording_sink> create(std::string name, std::vector<std::string>* journal) {
    return com_ptr<recording_sink>::adopt(new recording_sink(std::move(name), journal));
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDownloadLibEvents))
      *ppv = static_cast<IDownloadLibEvents*>(this);
    else if (IsEqualIID(riid, IID_IModuleDownloaderEvents))
      *ppv = static_cast<IModuleDownloaderEvents*>(this);
    else if (IsEqualIID(riid, IID_IBitTorrentEvents))
      *ppv = static_cast<IBitTorrentEvents*>(this);
    else if (IsEqualIID(riid, IID_IBtTaskEvents))
      *ppv = static_cast<IBtTaskEvents*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  HRESULT STDMETHODCALLTYPE OnRegisterInstance(REFIID riid, IUnknown* object) override {
    return note("OnRegisterInstance(" + platform::guid_to_string(riid) + (object ? ",object)" : ",null)"));
  }
  HRESULT STDMETHODCALLTYPE OnUnregisterInstance(REFIID riid) override {
    return note("OnUnregisterInstance(" + platform::guid_to_string(riid) + ")");
  }
  HRESULT STDMETHODCALLTYPE OnReserved1() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnReserved2() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE OnModuleInstallComplete(ULONG code, tagSTRING name, USHORT major, USHORT minor) override {
    return note("OnModuleInstallComplete(" + std::to_string(code) + "," + std::string(name.ptr, name.len) + "," +
                std::to_string(major) + "." + std::to_string(minor) + ")");
  }
  HRESULT STDMETHODCALLTYPE OnBitTorrentEvent1(ULONG_PTR v) override {
    return note("OnBitTorrentEvent1(" + std::to_string(v) + ")");
  }
  HRESULT STDMETHODCALLTYPE OnBitTorrentEvent2(ULONG_PTR a, ULONG_PTR b) override {
    return note("OnBitTorrentEvent2(" + std::to_string(a) + "," + std::to_string(b) + ")");
  }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent1(ULONG_PTR v) override { return note("OnBtTaskEvent1(" + std::to_string(v) + ")"); }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent2(ULONG_PTR v) override { return note("OnBtTaskEvent2(" + std::to_string(v) + ")"); }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent3(ULONG_PTR v) override { return note("OnBtTaskEvent3(" + std::to_string(v) + ")"); }
  HRESULT STDMETHODCALLTYPE OnBtTaskEvent4(ULONG_PTR v) override { return note("OnBtTaskEvent4(" + std::to_string(v) + ")"); }

  // Runs inside every event, after its line was written.
  std::function<void()> hook;
  // What every event answers.
  HRESULT answer = S_OK;

  // A copy of the journal, taken under the lock its writers share.
  std::vector<std::string> lines() const {
    std::lock_guard<std::mutex> lock(journal_lock());
    return *journal_;
  }

 private:
  recording_sink(std::string name, std::vector<std::string>* journal)
      : CUnknownMultiThread("recording_sink"), name_(std::move(name)), journal_(journal) {}

  HRESULT note(const std::string& line) {
    {
      std::lock_guard<std::mutex> lock(journal_lock());
      journal_->push_back(name_ + "." + line);
    }
    if (hook) hook();
    return answer;
  }

  static std::mutex& journal_lock() {
    static std::mutex lock;
    return lock;
  }

  std::string name_;
  std::vector<std::string>* journal_;
};
