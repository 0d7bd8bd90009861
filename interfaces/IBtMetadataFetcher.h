// Fetching a torrent's metadata from its peers for a magnet link (the
// metadata extension of the peer protocol: peers send the "info" dictionary
// piece by piece; it is kept only when its SHA-1 is the link's info hash). A
// kernel module that offers it registers the object with the host under
// IID_IBtMetadataFetcher in DownloadLibModuleLoad, before its kernel.
//
// The host makes the seed file from what a fetch gives and creates its task
// through the shell like that of any other seed, so that every seed-file
// service of the shell works for it. A fetch writes nothing to disk.
//
// Every operation may be called on any thread.
#pragma once

#include "interfaces/IStringSetter.h"
#include "interfaces/string_types.h"
#include "platform/unknwn.h"

// {1BC66DAC-D5DF-40C6-BC34-7389EA162162}
inline constexpr IID IID_IBtMetadataFetcher = {0x1BC66DAC, 0xD5DF, 0x40C6, {0xBC, 0x34, 0x73, 0x89, 0xEA, 0x16, 0x21, 0x62}};
// {D566F43C-F9E7-47CF-85FF-A1B44296BEE9}
inline constexpr IID IID_IBtMetadataFetch = {0xD566F43C, 0xF9E7, 0x47CF, {0x85, 0xFF, 0xA1, 0xB4, 0x42, 0x96, 0xBE, 0xE9}};

enum bt_fetch_state : ULONG {
  bt_fetch_running = 0,  // looking for peers and asking them
  bt_fetch_done = 1,     // the metadata arrived and matched the info hash: GetSeed gives it
  bt_fetch_failed = 2,   // the fetch cannot go on (GetFailureText says why); it does not end otherwise
};

// One fetch; releasing the last reference ends it.
struct IBtMetadataFetch : IUnknown {
  // slot 3: the state (a bt_fetch_state) and the peers connected now; either may be null.
  virtual HRESULT STDMETHODCALLTYPE GetState(ULONG* state, ULONG* peers) = 0;
  // slot 4: once done, the bytes of a seed file: a dictionary with "info"
  // exactly as received and the link's trackers as "announce" (and
  // "announce-list" when there is more than one). E_PENDING (0x8000000A)
  // while running, E_FAIL once failed (no seed will come), E_POINTER for a
  // null setter.
  virtual HRESULT STDMETHODCALLTYPE GetSeed(IStringSetter* seed) = 0;
  // slot 5: why the fetch failed; empty while it has not.
  virtual HRESULT STDMETHODCALLTYPE GetFailureText(IStringSetter* text) = 0;
};

struct IBtMetadataFetcher : IUnknown {
  // slot 3: starts fetching for a link "magnet:?xt=urn:btih:<40 hex or 32
  // base32 digits>" with any of "dn" (name), "tr" (trackers to announce
  // to) and "x.pe" (peers to connect to, ADDRESS:PORT); DHT and local
  // discovery are used when the session has them on. E_INVALIDARG for a link
  // without such an info hash, E_POINTER for a null out-pointer. A fetch of
  // a torrent the kernel has a task of, or that another fetch is running
  // for, is handed out failed at once (its failure text for the first
  // begins with "10008"). A task created for a torrent that a fetch is
  // running for ends that fetch (failed) and runs.
  virtual HRESULT STDMETHODCALLTYPE StartFetch(tagSTRING magnet_link, IBtMetadataFetch** fetch) = 0;
};
