// The module's COM plumbing: the class factory of CDownloadLibPlugin and
// the work behind the exported entry points (which only forward here, so
// that the same code runs in the tests).
#pragma once

#include "platform/unknwn.h"

// DllGetClassObject: the class factory (made on first request and kept for
// the module's life) for CLSID_DownloadLibPlugin.
HRESULT module_get_class_object(REFCLSID clsid, REFIID riid, void** ppv);
// DllCanUnloadNow: S_OK when no object of the module is alive and no
// LockServer(TRUE) is pending.
HRESULT module_can_unload_now();
// DllRegisterServer / DllUnregisterServer: the class keys in the registry
// store, written whole or not at all. SELFREG_E_CLASS, with an ERROR line,
// when the store cannot be written.
HRESULT module_register_server();
HRESULT module_unregister_server();
// Process detach: releases the cached class factory.
void module_terminate();
