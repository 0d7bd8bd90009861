// Metadata fetches of the kernel on libtorrent (interfaces/IBtMetadataFetcher.h):
// metadata_fetcher, the IBtMetadataFetcher face of the kernel object (its
// identity and reference count), and metadata_fetch, one fetch, an object of
// its own over a fetch_core in the kernel's session (fetch_core.h says how a
// fetch keeps off the disk). docs/hosting.md, "Metadata fetches", says what
// each operation answers.
//
// Threads: every operation may be called on any thread. A fetch's state
// changes on the kernel thread; nothing is raised, the host asks.
#pragma once

#include <libtorrent/add_torrent_params.hpp>

#include <memory>
#include <string>

#include "com_utility/UnknownBase.h"
#include "com_utility/member_interface.h"
#include "interfaces/IBtMetadataFetcher.h"

class fetch_core;
class kernel_session;

// Reads a magnet link into `params`: false unless it names a v1 info hash
// ("xt=urn:btih:" with 40 hexadecimal or 32 base32 digits).
bool read_magnet_link(const std::string& link, lt::add_torrent_params& params);

class metadata_fetcher : public member_interface<IBtMetadataFetcher, IUnknown> {
 public:
  // `owner` is the kernel object this face belongs to.
  metadata_fetcher(IUnknown& owner, std::shared_ptr<kernel_session> session);

  HRESULT STDMETHODCALLTYPE StartFetch(tagSTRING magnet_link, IBtMetadataFetch** fetch) override;

 private:
  std::shared_ptr<kernel_session> session_;
};

// Releasing the last reference takes the fetch's torrent out of the session
// if it is still there.
class metadata_fetch : public IBtMetadataFetch, public CUnknownMultiThread {
 public:
  // The caller holds the one reference of the new fetch.
  metadata_fetch(std::shared_ptr<kernel_session> session, std::shared_ptr<fetch_core> core);
  ~metadata_fetch() override;

  // IUnknown: IUnknown and IBtMetadataFetch.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }

  HRESULT STDMETHODCALLTYPE GetState(ULONG* state, ULONG* peers) override;
  HRESULT STDMETHODCALLTYPE GetSeed(IStringSetter* seed) override;
  HRESULT STDMETHODCALLTYPE GetFailureText(IStringSetter* text) override;

 private:
  std::shared_ptr<kernel_session> session_;
  std::shared_ptr<fetch_core> core_;
};
