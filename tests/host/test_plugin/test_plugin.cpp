// A minimal plugin module for the plugin loader's tests: the two COM entry
// points, a class factory for CLSID_DownloadLibPlugin, and a plugin whose
// Init publishes a do-nothing IBitTorrent2 object under IID_IBitTorrent.
// DllCanUnloadNow answers S_OK only when none of its objects is alive.
#include <atomic>
#include <cstring>

#include "interfaces/IBitTorrent.h"
#include "interfaces/IDownloadLibPlugin.h"

namespace {

std::atomic<int> g_objects{0};

bool same(REFGUID a, REFGUID b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

template <class I>
class counted : public I {
 public:
  counted() { ++g_objects; }
  virtual ~counted() { --g_objects; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  HRESULT answer(REFIID riid, REFIID own, REFIID also, void** ppv) {
    *ppv = nullptr;
    if (!same(riid, IID_IUnknown) && !same(riid, own) && !same(riid, also)) return E_NOINTERFACE;
    *ppv = static_cast<I*>(this);
    AddRef();
    return S_OK;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

#define NOT_SERVED E_NOTIMPL
class shell : public counted<IBitTorrent2> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return answer(riid, IID_IBitTorrent2, IID_IBitTorrent, ppv);
  }
  HRESULT STDMETHODCALLTYPE AttachEvents(IBitTorrentEvents*) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE DetachEvents(IBitTorrentEvents*) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE CreateNewTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG, const SEED_TRACKER_ITEM*,
                                          IBtTask**) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE CreateContinuedTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG,
                                                const SEED_TRACKER_ITEM*, IBtTask**) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE CreateUploadTask(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG,
                                             const SEED_TRACKER_ITEM*, IBtTask**) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE CreateSubTask(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR,
                                          ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR) override {
    return NOT_SERVED;
  }
  HRESULT STDMETHODCALLTYPE ParseSeedFile(tagSTRING, SEED_FILE_INFO**) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE IsTempFileExist(tagSTRING, tagSTRING) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE GetDataFileList(tagSTRING, tagSTRING, DATA_FILE_LIST**) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE GetCfgFileList(tagSTRING, DATA_FILE_LIST**) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE ReleaseSeedFileInfo(SEED_FILE_INFO*) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE ReleaseDataFileList(DATA_FILE_LIST*) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE ReleasePeerInfoList(PEER_INFO_LIST*) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE NotifyHubBtDeleted(tagSTRING, tagSTRING) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE NotifyHubBtMoved(tagSTRING, tagSTRING, tagSTRING) override { return NOT_SERVED; }
  // The one operation the tests call: answers its argument.
  HRESULT STDMETHODCALLTYPE ReservedOperation(ULONG_PTR value) override { return static_cast<HRESULT>(value); }
  HRESULT STDMETHODCALLTYPE StartReimportTask(tagSTRING, tagSTRING, tagSTRING) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE GetReimportTaskTorrentFileName(ULONG_PTR) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE CloseReimportTask() override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE GetReimportProgress(BYTE*) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE GetReimportRootPath(ULONG_PTR) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE DebugP2pPipeQueryInfo(ULONG_PTR, ULONG_PTR) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE DebugP2pPipeReleaseInfo(ULONG_PTR) override { return NOT_SERVED; }
  HRESULT STDMETHODCALLTYPE CreateCfgFile(ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR, ULONG_PTR,
                                          ULONG_PTR) override { return NOT_SERVED; }
};

class plugin : public counted<IDownloadLibPlugin> {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return answer(riid, IID_IDownloadLibPlugin, IID_IDownloadLibPlugin, ppv);
  }
  HRESULT STDMETHODCALLTYPE GetPluginValue(ULONG* value) override {
    *value = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Init(IDownloadLib* host) override {
    if (host_) return E_UNEXPECTED;
    host_ = host;
    host_->AddRef();
    shell_ = new shell();
    return host_->RegisterInstance(IID_IBitTorrent, shell_);
  }
  HRESULT STDMETHODCALLTYPE Uninit() override {
    if (!host_) return E_UNEXPECTED;
    host_->UnregisterInstance(IID_IBitTorrent);
    shell_->Release();
    host_->Release();
    host_ = nullptr;
    shell_ = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryPluginStatus() override { return S_FALSE; }

 private:
  IDownloadLib* host_ = nullptr;
  shell* shell_ = nullptr;
};

class factory : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!same(riid, IID_IUnknown) && !same(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    plugin* p = new plugin();
    const HRESULT hr = p->QueryInterface(riid, ppv);
    p->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

factory g_factory;

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  *ppv = nullptr;
  if (!same(clsid, CLSID_DownloadLibPlugin)) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  return g_objects.load() == 0 ? S_OK : S_FALSE;
}
