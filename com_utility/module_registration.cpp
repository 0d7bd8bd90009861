#include "com_utility/module_registration.h"

#include "platform/com_ptr.h"

void unregister_if_ours(IDownloadLib* host, REFIID iid, IUnknown* object) {
  if (!host || !object) return;
  com_ptr<IUnknown> registered;
  if (FAILED(host->GetInstance(iid, registered.put_void())) || !registered) return;
  com_ptr<IUnknown> registered_identity;
  com_ptr<IUnknown> object_identity;
  registered.query(IID_IUnknown, registered_identity);
  object->QueryInterface(IID_IUnknown, object_identity.put_void());
  if (registered_identity && registered_identity.get() == object_identity.get()) host->UnregisterInstance(iid);
}

HRESULT register_faces(IDownloadLib* host, const std::vector<IID>& iids, IUnknown* object) {
  for (std::size_t i = 0; i < iids.size(); ++i) {
    com_ptr<IUnknown> face;
    HRESULT hr = object->QueryInterface(iids[i], face.put_void());
    if (SUCCEEDED(hr)) hr = host->RegisterInstance(iids[i], face.get());
    if (FAILED(hr)) {
      unregister_faces(host, std::vector<IID>(iids.begin(), iids.begin() + static_cast<std::ptrdiff_t>(i)), object);
      return hr;
    }
  }
  return S_OK;
}

void unregister_faces(IDownloadLib* host, const std::vector<IID>& iids, IUnknown* object) {
  for (auto it = iids.rbegin(); it != iids.rend(); ++it) unregister_if_ours(host, *it, object);
}
