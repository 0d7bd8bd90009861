// member_interface: an interface that an object serves through a member
// object rather than a base, such as an event sink it hands to a source.
// Its IUnknown is the owner's: the owner's identity and reference count.
#pragma once

#include "platform/unknwn.h"

template <class Interface, class Owner>
class member_interface : public Interface {
 public:
  explicit member_interface(Owner& owner) : m_owner(owner) {}
  member_interface(const member_interface&) = delete;
  member_interface& operator=(const member_interface&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    return m_owner.QueryInterface(riid, ppv);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return m_owner.AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return m_owner.Release(); }

 protected:
  Owner& m_owner;
};
