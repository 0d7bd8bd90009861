// What a module installed by the host's module downloader exports.
//
// The downloader finds module "<name>" as the file  <modules dir>/lib<name>.so,
// opens it with dlopen (RTLD_NOW | RTLD_LOCAL) and calls
//
//   extern "C" HRESULT DownloadLibModuleLoad(IDownloadLib* host);
//
// once. The module registers its object(s) with `host` (RegisterInstance)
// before returning; a failure result means the module refuses to load. The
// host pointer is not counted: the host outlives every module it loaded.
// When the host runtime ends it calls
//
//   extern "C" HRESULT DownloadLibModuleUnload();
//
// once; the module releases what it holds and withdraws what it registered.
// S_OK lets the host close the module; S_FALSE (objects of the module are
// still alive) keeps it mapped, so that no call can reach unmapped code, and
// the host may call it again later to ask once more.
#pragma once

#include "interfaces/IDownloadLib.h"

extern "C" {
using DownloadLibModuleLoadProc = HRESULT (*)(IDownloadLib* host);
using DownloadLibModuleUnloadProc = HRESULT (*)();
}

inline constexpr char kDownloadLibModuleLoadName[] = "DownloadLibModuleLoad";
inline constexpr char kDownloadLibModuleUnloadName[] = "DownloadLibModuleUnload";
