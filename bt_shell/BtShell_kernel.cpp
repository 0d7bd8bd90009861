// CBtShell: obtaining the kernel module, its arrival and departure, and the
// hand-over to the proxy tasks that waited for it.
#include <cstdio>
#include <cstring>

#include "bt_shell/BtShell.h"
#include "bt_shell/host_instance.h"
#include "bt_shell/shell_log.h"
#include "common/release_assert.h"
#include "platform/profile.h"

namespace {

constexpr const char* kKernelModuleName = kBtKernelModuleName;
constexpr ULONG kKernelModuleNameLength = sizeof kBtKernelModuleName - 1;
const char kSettingsFile[] = "bt_shell.ini";

// The code the listeners are told when the module downloader reported the
// kernel installed but the host has none registered.
constexpr ULONG kNoKernelAfterInstall = 0xFFFFFFFF;

// What the shell reports to the host service: a kind and an event number.
struct host_event {
  ULONG kind;
  ULONG id;
};
constexpr host_event kKernelRequested{2, 152};
constexpr host_event kKernelLoaded{2, 154};
constexpr host_event kKernelLoadFailed{4, 153};

void report(const module_context& context, host_event event) {
  if (IHostService* service = context.host_service()) service->ReportEvent(event.kind, event.id, -1, 0);
}

bool is_kernel_module(const tagSTRING& name) {
  return name.len == kKernelModuleNameLength && name.ptr &&
         std::memcmp(name.ptr, kKernelModuleName, kKernelModuleNameLength) == 0;
}

}  // namespace

void CBtShell::enter_shell_init_status() {
  RELEASE_ASSERT_TEXT(_bt_shell_status == bt_shell_status::shell_init, "_bt_shell_status == shell_init", "");
  LOG4CPLUS_DEBUG(shell_logger(), "enter_shell_init_status ");
  // A kernel that registered itself before anything was asked of it is
  // already held: use it.
  if (_IBitTorrentKernel || query_registered_kernel()) {
    _bt_shell_status = bt_shell_status::kernel_loaded;
    return;
  }
  IModuleDownloader* downloader = _context->module_downloader();
  if (!downloader) {
    _bt_shell_status = bt_shell_status::kernel_load_failed;
    return;
  }
  // The version is read (which takes memory) before the downloader is
  // touched, so that running out of memory leaves nothing attached.
  USHORT major = 0, minor = 0;
  get_bt_kernel_version(major, minor);
  downloader->AttachEvents(&_downloader_events);
  _module_events_attached = true;
  LOG4CPLUS_DEBUG(shell_logger(), "enter_shell_init_status , RequestDownload");
  // Waiting, and the host told so, from before the request on: an answer
  // delivered from inside RequestDownload then finds the shell ready for it
  // and follows the request's event.
  _bt_shell_status = bt_shell_status::kernel_loading;
  report(*_context, kKernelRequested);
  downloader->RequestDownload(tagSTRING{kKernelModuleNameLength, kKernelModuleName}, major, minor);
}

void CBtShell::get_bt_kernel_version(USHORT& major, USHORT& minor) {
  major = 0;
  minor = 0;
  const std::string path = _context->settings_dir() + kSettingsFile;
  char value[1024] = {};
  GetPrivateProfileStringA("bt_kernel", "version", "", value, sizeof value, path.c_str());
  if (value[0] == '\0') {
    LOG4CPLUS_ERROR(shell_logger(), SHELL_PREFIX << "can not get non dl module's version.");
    return;
  }
  if (std::sscanf(value, "%hu.%hu", &major, &minor) < 1) major = minor = 0;
  if (major != 0 || minor != 0) {
    LOG4CPLUS_INFO(shell_logger(), SHELL_PREFIX << "get bt dl module's version: " << major << "," << minor);
  } else {
    LOG4CPLUS_ERROR(shell_logger(), SHELL_PREFIX << "get bt dl module's version is invalid.");
  }
}

HRESULT CBtShell::downloader_events::OnModuleInstallComplete(ULONG error_code, tagSTRING module_name,
                                                             USHORT major_version, USHORT minor_version) {
  return m_owner.OnModuleInstallComplete(error_code, module_name, major_version, minor_version);
}

HRESULT CBtShell::OnModuleInstallComplete(ULONG error_code, tagSTRING module_name, USHORT major_version,
                                          USHORT minor_version) {
  return guarded("OnModuleInstallComplete", [&] {
    if (!is_kernel_module(module_name)) return S_OK;
    if (_uninitialised) return misuse("OnModuleInstallComplete", host_misuse::after_uninit);
    LOG4CPLUS_INFO(shell_logger(), SHELL_PREFIX << "OnModuleInstallComplete  error_code=" << error_code
                                                << ", moduleName=" << std::string(module_name.ptr, module_name.len)
                                                << ", MajorVersion=" << major_version
                                                << ", MinorVersion=" << minor_version);
    hand_over(error_code);
    return S_OK;
  });
}

void CBtShell::hand_over(ULONG error_code) {
  if (IModuleDownloader* downloader = _context->module_downloader())
    downloader->DetachEvents(&_downloader_events);
  else
    REPORT_ASSERT(shell_logger(), "GetModuleDownloader()!= NULL", "");

  com_ptr<IBitTorrentKernel> kernel;
  if (error_code == 0) {
    kernel = registered_kernel();
    if (!kernel) error_code = kNoKernelAfterInstall;
  }
  if (_bt_shell_status != bt_shell_status::kernel_loading) {
    // An answer the shell did not ask for, or a second one: the first
    // answer's status is final.
    if (_bt_shell_status != bt_shell_status::kernel_loaded)
      REPORT_ASSERT(shell_logger(), "_bt_shell_status == kernel_loading || _bt_shell_status == kernel_loaded", "");
    return;
  }

  if (error_code == 0) {
    // Normally the registration reached the shell first; if it did not,
    // the kernel found now is the one to use.
    if (!_IBitTorrentKernel) hold_kernel(kernel);
    _bt_shell_status = bt_shell_status::kernel_loaded;
  } else {
    LOG4CPLUS_ERROR(shell_logger(), "OnModuleDownloadComplete error,error code: " << error_code);
    _bt_shell_status = bt_shell_status::kernel_load_failed;
  }
  _module_events_attached = false;
  report(*_context, error_code == 0 ? kKernelLoaded : kKernelLoadFailed);

  if (error_code == 0 && _reimport_state == reimport_state::waiting && _reimport_para_container_ptr)
    replay_reimport();
  tell_listeners(error_code);
}

HRESULT CBtShell::registry_events::OnRegisterInstance(REFIID riid, IUnknown* object) {
  return m_owner.OnRegisterInstance(riid, object);
}

HRESULT CBtShell::registry_events::OnUnregisterInstance(REFIID riid) { return m_owner.OnUnregisterInstance(riid); }

HRESULT CBtShell::OnRegisterInstance(REFIID riid, IUnknown* object) {
  return guarded("OnRegisterInstance", [&] {
    if (!IsEqualIID(riid, IID_IBitTorrentKernel) || !object) return S_OK;
    if (_uninitialised) return misuse("OnRegisterInstance", host_misuse::after_uninit);
    com_ptr<IBitTorrentKernel> kernel;
    const HRESULT hr = object->QueryInterface(IID_IBitTorrentKernel, kernel.put_void());
    if (FAILED(hr) || !kernel) {
      REPORT_ASSERT(shell_logger(), FAILED(hr) ? "SUCCEEDED(hr)" : "_IBitTorrentKernel", "");
      return S_OK;
    }
    LOG4CPLUS_DEBUG(shell_logger(), "OnRegisterInstance IID_IBitTorrentKernel pvObject="
                                        << static_cast<const void*>(object)
                                        << ", _IBitTorrentKernel=" << static_cast<const void*>(kernel.get()));
    hold_kernel(std::move(kernel));
    return S_OK;
  });
}

HRESULT CBtShell::OnUnregisterInstance(REFIID riid) {
  return guarded("OnUnregisterInstance", [&] {
    if (!IsEqualIID(riid, IID_IBitTorrentKernel) || !_IBitTorrentKernel) return S_OK;
    LOG4CPLUS_DEBUG(shell_logger(), "OnUnregisterInstance IID_IBitTorrentKernel");
    drop_kernel();
    return S_OK;
  });
}

com_ptr<IBitTorrentKernel> CBtShell::registered_kernel() const {
  return host_instance<IBitTorrentKernel>(_context->download_lib(), IID_IBitTorrentKernel);
}

bool CBtShell::query_registered_kernel() {
  com_ptr<IBitTorrentKernel> kernel = registered_kernel();
  if (!kernel) return false;
  hold_kernel(std::move(kernel));
  return true;
}

void CBtShell::hold_kernel(com_ptr<IBitTorrentKernel> kernel) {
  if (kernel.get() != _IBitTorrentKernel.get()) {
    drop_kernel();
    _IBitTorrentKernel = std::move(kernel);
  }
  if (_IBitTorrentKernel && !_kernel_events_attached)
    _kernel_events_attached = SUCCEEDED(_IBitTorrentKernel->AttachEvents(&_kernel_events));
}

void CBtShell::drop_kernel() {
  if (!_IBitTorrentKernel) return;
  if (_kernel_events_attached) _IBitTorrentKernel->DetachEvents(&_kernel_events);
  _kernel_events_attached = false;
  _IBitTorrentKernel.reset();
}

bool CBtShell::acquire_kernel() {
  if (_bt_shell_status == bt_shell_status::shell_init) enter_shell_init_status();
  return _bt_shell_status == bt_shell_status::kernel_loaded;
}

bool CBtShell::kernel_already_loaded() const {
  if (_bt_shell_status == bt_shell_status::kernel_loaded) return true;
  // The host is not expected to ask before the kernel is there.
  REPORT_ASSERT(shell_logger(), "FALSE", "");
  return false;
}

bool CBtShell::find_registered_kernel() {
  if (_bt_shell_status == bt_shell_status::shell_init && (_IBitTorrentKernel || query_registered_kernel()))
    _bt_shell_status = bt_shell_status::kernel_loaded;
  return _bt_shell_status == bt_shell_status::kernel_loaded;
}
