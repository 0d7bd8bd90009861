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
