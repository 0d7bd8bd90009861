// CBtShell: the operations that only the kernel can carry out, in every
// status of the shell, and the reimport that the shell imitates while the
// kernel is on its way.
#include "bt_shell/BtShell.h"
#include "bt_shell/shell_log.h"
#include "common/release_assert.h"

namespace {

// The simulated reimport climbs by one every two seconds and stops at 50.
constexpr std::time_t kSecondsPerVirtualStep = 2;
constexpr std::time_t kVirtualProgressCeiling = 50;

}  // namespace

HRESULT CBtShell::forward_test(HRESULT (STDMETHODCALLTYPE IBitTorrentTest::*method)(ULONG_PTR), ULONG_PTR value) {
  if (!_IBitTorrentKernel) {
    REPORT_ASSERT(shell_logger(), "_IBitTorrentKernel != NULL", "");
    return E_FAIL;
  }
  com_ptr<IBitTorrentTest> test;
  if (FAILED(_IBitTorrentKernel.query(IID_IBitTorrentTest, test)) || !test) return E_FAIL;
  return (test.get()->*method)(value);
}

HRESULT CBtShell::CreateSubTask(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3, ULONG_PTR value4,
                                ULONG_PTR value5, ULONG_PTR value6, ULONG_PTR value7, ULONG_PTR value8,
                                ULONG_PTR value9, ULONG_PTR value10, ULONG_PTR value11, ULONG_PTR value12) {
  return kernel_operation("CreateSubTask", [&] {
    if (!find_registered_kernel()) return E_FAIL;
    return forward(&IBitTorrent2::CreateSubTask, value1, value2, value3, value4, value5, value6, value7, value8,
                   value9, value10, value11, value12);
  });
}

HRESULT CBtShell::CreateCfgFile(ULONG_PTR value1, ULONG_PTR value2, ULONG_PTR value3, ULONG_PTR value4,
                                ULONG_PTR value5, ULONG_PTR value6, ULONG_PTR value7, ULONG_PTR value8) {
  return kernel_operation("CreateCfgFile", [&] {
    if (!acquire_kernel()) return E_FAIL;
    return forward(&IBitTorrent2::CreateCfgFile, value1, value2, value3, value4, value5, value6, value7, value8);
  });
}

HRESULT CBtShell::CreateBtTrackerClient(ULONG_PTR value) {
  return kernel_operation("CreateBtTrackerClient", [&] {
    if (!acquire_kernel()) return E_FAIL;
    return forward_test(&IBitTorrentTest::CreateBtTrackerClient, value);
  });
}

HRESULT CBtShell::CreateBtHubQueryClient(ULONG_PTR value) {
  return kernel_operation("CreateBtHubQueryClient", [&] {
    if (!acquire_kernel()) return E_FAIL;
    return forward_test(&IBitTorrentTest::CreateBtHubQueryClient, value);
  });
}

HRESULT CBtShell::CreateBtWriterFactory(ULONG_PTR value) {
  return kernel_operation("CreateBtWriterFactory", [&] {
    if (!acquire_kernel()) return E_FAIL;
    return forward_test(&IBitTorrentTest::CreateBtWriterFactory, value);
  });
}

HRESULT CBtShell::DebugP2pPipeQueryInfo(ULONG_PTR value1, ULONG_PTR value2) {
  return kernel_operation("DebugP2pPipeQueryInfo", [&] {
    if (!find_registered_kernel()) return E_FAIL;
    return forward(&IBitTorrent2::DebugP2pPipeQueryInfo, value1, value2);
  });
}

HRESULT CBtShell::DebugP2pPipeReleaseInfo(ULONG_PTR value) {
  return kernel_operation("DebugP2pPipeReleaseInfo", [&] {
    if (!find_registered_kernel()) return E_FAIL;
    return forward(&IBitTorrent2::DebugP2pPipeReleaseInfo, value);
  });
}

HRESULT CBtShell::GetReimportTaskTorrentFileName(ULONG_PTR value) {
  return kernel_operation("GetReimportTaskTorrentFileName", [&] {
    if (!kernel_already_loaded()) return E_FAIL;
    return forward(&IBitTorrent2::GetReimportTaskTorrentFileName, value);
  });
}

HRESULT CBtShell::GetReimportRootPath(ULONG_PTR value) {
  return kernel_operation("GetReimportRootPath", [&] {
    if (!kernel_already_loaded()) return E_FAIL;
    return forward(&IBitTorrent2::GetReimportRootPath, value);
  });
}

HRESULT CBtShell::ReleasePeerInfoList(PEER_INFO_LIST* list) {
  return guarded("ReleasePeerInfoList", [&] {
    LOG4CPLUS_DEBUG(shell_logger(), "ReleasePeerInfoList ");
    if (!list) return S_OK;
    if (list->items) delete[] static_cast<BYTE*>(list->items);
    delete list;
    return S_OK;
  });
}

HRESULT CBtShell::StartReimportTask(tagSTRING text1, tagSTRING text2, tagSTRING text3) {
  return kernel_operation("StartReimportTask", [&] {
    acquire_kernel();
    _reimport_state = reimport_state::none;
    _is_virtual_reimport = false;
    switch (_bt_shell_status) {
      case bt_shell_status::kernel_loaded:
        return forward(&IBitTorrent2::StartReimportTask, text1, text2, text3);
      case bt_shell_status::kernel_loading: {
        // Recorded first: running out of memory changes nothing more.
        _reimport_para_container_ptr = record_call<IBitTorrentKernel>("StartReimportTask",
                                                                      &IBitTorrent2::StartReimportTask, text1, text2,
                                                                      text3);
        _reimport_state = reimport_state::waiting;
        _is_virtual_reimport = true;
        _virtual_reimport_progress = 0;
        _reimport_start_time = _context->now();
        return S_OK;
      }
      default:
        return E_FAIL;
    }
  });
}

HRESULT CBtShell::CloseReimportTask() {
  return kernel_operation("CloseReimportTask", [&] {
    if (_reimport_state == reimport_state::waiting) _reimport_state = reimport_state::closed;
    if (_bt_shell_status != bt_shell_status::kernel_loaded) {
      _reimport_para_container_ptr.reset();
      return S_OK;
    }
    return forward(&IBitTorrent2::CloseReimportTask);
  });
}

HRESULT CBtShell::GetReimportProgress(BYTE* progress) {
  return kernel_operation("GetReimportProgress", [&] {
    if (!progress) return misuse("GetReimportProgress", host_misuse::null_pointer);
    switch (_bt_shell_status) {
      case bt_shell_status::kernel_loaded: {
        if (_reimport_state == reimport_state::refused) return E_FAIL;
        const HRESULT hr = forward(&IBitTorrent2::GetReimportProgress, progress);
        // The progress the host sees never falls back when the kernel takes over.
        if (_is_virtual_reimport && *progress < _virtual_reimport_progress) *progress = _virtual_reimport_progress;
        return hr;
      }
      case bt_shell_status::kernel_load_failed:
        return E_FAIL;
      default: {
        if (!_is_virtual_reimport) REPORT_ASSERT(shell_logger(), "_is_virtual_reimport", "");
        std::time_t elapsed = _context->now() - _reimport_start_time;
        if (elapsed < 0) elapsed = 0;
        const std::time_t value = std::min(elapsed / kSecondsPerVirtualStep, kVirtualProgressCeiling);
        _virtual_reimport_progress = static_cast<BYTE>(value);
        *progress = _virtual_reimport_progress;
        return S_OK;
      }
    }
  });
}

void CBtShell::replay_reimport() {
  RELEASE_ASSERT_TEXT(_IBitTorrentKernel, "_IBitTorrentKernel != NULL", "");
  RELEASE_ASSERT_TEXT(_reimport_para_container_ptr != nullptr, "_reimport_para_container_ptr != NULL", "");
  const std::unique_ptr<para_container<IBitTorrentKernel>> record = std::move(_reimport_para_container_ptr);
  if (record->apply(*_IBitTorrentKernel.get()) != S_OK) _reimport_state = reimport_state::refused;
}
