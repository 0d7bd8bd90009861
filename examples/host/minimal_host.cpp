// A minimal host of the BitTorrent plugin module: it loads the module, runs
// Init with a host object that keeps an instance registry, has the shell read
// a seed file and prints its info hash.
//
//   minimal_host SEED [MODULE]     (MODULE: the installed libbt_shell.so)
//
// The host offers no module downloader and no host service, so the shell
// never gets a kernel; reading a seed file does not need one.
#include <dlfcn.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "interfaces/IBitTorrent.h"
#include "interfaces/IDownloadLibPlugin.h"
#include "interfaces/module_version.h"
#include "platform/com_ptr.h"

namespace {

// The host library as far as this host needs it: the instance registry. It
// lives on the stack of main(), longer than the module uses it.
class host final : public IDownloadLib {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return query_single_interface<IDownloadLib>(this, IID_IDownloadLib, riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE AttachEvents(IDownloadLibEvents*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE DetachEvents(IDownloadLibEvents*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Reserved5() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved6() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reserved7() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RegisterInstance(REFIID riid, IUnknown* object) override {
    UnregisterInstance(riid);
    registry_.emplace_back(riid, com_ptr<IUnknown>(object));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE UnregisterInstance(REFIID riid) override {
    for (auto it = registry_.begin(); it != registry_.end(); ++it)
      if (it->first == riid) {
        registry_.erase(it);
        return S_OK;
      }
    return S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE GetInstance(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    for (const auto& [iid, object] : registry_)
      if (iid == riid) return object->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
  }
  HRESULT STDMETHODCALLTYPE Reserved11() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstance(REFCLSID, REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOTIMPL;
  }

 private:
  std::vector<std::pair<IID, com_ptr<IUnknown>>> registry_;
};

using get_class_object_proc = HRESULT (*)(REFCLSID, REFIID, void**);
using can_unload_now_proc = HRESULT (*)();

// Loads the plugin into `the_host`, reads `seed` and prints its info hash.
int read_seed(void* module, host& the_host, const std::string& seed) {
  auto get_class_object = reinterpret_cast<get_class_object_proc>(dlsym(module, "DllGetClassObject"));
  com_ptr<IClassFactory> factory;
  com_ptr<IDownloadLibPlugin> plugin;
  if (!get_class_object || get_class_object(CLSID_DownloadLibPlugin, IID_IClassFactory, factory.put_void()) != S_OK ||
      factory->CreateInstance(nullptr, IID_IDownloadLibPlugin, plugin.put_void()) != S_OK) {
    std::fprintf(stderr, "no plugin object in the module\n");
    return 1;
  }
  plugin->Init(&the_host);  // the plugin registers its shell under IID_IBitTorrent
  com_ptr<IBitTorrent2> shell;
  the_host.GetInstance(IID_IBitTorrent, shell.put_void());

  SEED_FILE_INFO* info = nullptr;
  const HRESULT hr = shell->ParseSeedFile(tagSTRING{static_cast<ULONG>(seed.size()), seed.data()}, &info);
  if (hr == S_OK) {
    std::printf("info hash: ");
    for (BYTE b : info->info_hash) std::printf("%02X", b);
    std::printf("\nfiles: %u\n", info->file_count);
  } else {
    std::fprintf(stderr, "ParseSeedFile %s: %d\n", seed.c_str(), hr);
  }
  if (info) shell->ReleaseSeedFileInfo(info);
  shell.reset();
  plugin->Uninit();
  return hr == S_OK ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: minimal_host SEED [MODULE]\n");
    return 2;
  }
  const char* path = argc == 3 ? argv[2] : BT_SHELL_MODULE;
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  std::printf("module version: %s\n", read_module_version(module).c_str());
  host the_host;
  const int status = read_seed(module, the_host, argv[1]);
  auto can_unload_now = reinterpret_cast<can_unload_now_proc>(dlsym(module, "DllCanUnloadNow"));
  if (can_unload_now && can_unload_now() == S_OK) dlclose(module);
  return status;
}
