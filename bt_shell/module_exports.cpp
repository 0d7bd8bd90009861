// The module's exported entry points, its version note and its global
// allocation operators.
//
// Only the five entry points leave the module (see bt_shell.map); the
// operators are local to it, so the module's own allocations go to the
// memory pool while the host's never do.
#include <cstdlib>
#include <new>
#include <string_view>

#include "bt_shell/ComModule.h"
#include "bt_shell/module_boundary.h"
#include "common/qvnew.h"
#include "interfaces/module_version.h"
#include "platform/guid.h"

#define BT_SHELL_EXPORT extern "C" __attribute__((visibility("default")))

BT_SHELL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  return module_boundary(nullptr, "DllGetClassObject", [&] { return module_get_class_object(clsid, riid, ppv); });
}

BT_SHELL_EXPORT HRESULT DllCanUnloadNow() {
  return module_boundary(nullptr, "DllCanUnloadNow", [] { return module_can_unload_now(); });
}

BT_SHELL_EXPORT HRESULT DllRegisterServer() {
  return module_boundary(nullptr, "DllRegisterServer", [] { return module_register_server(); });
}

BT_SHELL_EXPORT HRESULT DllUnregisterServer() {
  return module_boundary(nullptr, "DllUnregisterServer", [] { return module_unregister_server(); });
}

BT_SHELL_EXPORT std::size_t _msize(void* p) { return qv_msize(p); }

// The version a host reads from the loaded module (interfaces/module_version.h).
[[gnu::section(".note.bt_shell"), gnu::used, gnu::aligned(4)]] static constexpr module_version_note<sizeof BT_SHELL_VERSION>
    k_version_note = {sizeof MODULE_NOTE_OWNER, sizeof BT_SHELL_VERSION, MODULE_NOTE_VERSION, "bt_shell", BT_SHELL_VERSION};
static_assert(std::string_view(k_version_note.owner) == MODULE_NOTE_OWNER);

// Process detach: the cached class factory goes with the module.
__attribute__((destructor)) static void on_module_unload() { module_terminate(); }

namespace {

// The throwing forms must not return null: an exhausted pool is reported
// as std::bad_alloc.
void* allocate_or_throw(std::size_t size) {
  void* p = qv_allocate(size);
  if (!p) throw std::bad_alloc();
  return p;
}

// Over-aligned blocks come from posix_memalign, which the pool's free()
// based release accepts.
void* allocate_aligned(std::size_t size, std::align_val_t alignment) {
  const auto align = static_cast<std::size_t>(alignment);
  if (align <= __STDCPP_DEFAULT_NEW_ALIGNMENT__) return qv_allocate(size);
  if (size == 0) return qv_allocate(size);  // raises the allocation assertion
  void* p = nullptr;
  return posix_memalign(&p, align, size) == 0 ? p : nullptr;
}

}  // namespace

void* operator new(std::size_t size) { return allocate_or_throw(size); }
void* operator new[](std::size_t size) { return allocate_or_throw(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return qv_allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return qv_allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) {
  void* p = allocate_aligned(size, align);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size, std::align_val_t align) { return operator new(size, align); }
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate_aligned(size, align);
}

void operator delete(void* p) noexcept { qv_deallocate(p); }
void operator delete[](void* p) noexcept { qv_deallocate(p); }
void operator delete(void* p, std::size_t) noexcept { qv_deallocate(p); }
void operator delete[](void* p, std::size_t) noexcept { qv_deallocate(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { qv_deallocate(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { qv_deallocate(p); }
void operator delete(void* p, std::align_val_t) noexcept { qv_deallocate(p); }
void operator delete[](void* p, std::align_val_t) noexcept { qv_deallocate(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { qv_deallocate(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { qv_deallocate(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { qv_deallocate(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { qv_deallocate(p); }
