// CBtShell: task creation. With the kernel loaded the creation operations go
// straight to it; while it is on its way they hand out proxy tasks.
#include "bt_shell/BtShell.h"
#include "bt_shell/bt_shell_task.h"
#include "bt_shell/shell_log.h"
#include "common/file_ex.h"
#include "common/release_assert.h"
#include "interfaces/bt_shell_results.h"

namespace {

// A text that is empty, or claims bytes it does not point to.
bool unusable(const tagSTRING& s) { return s.len == 0 || !s.ptr; }

}  // namespace

HRESULT CBtShell::CreateNewTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count, const ULONG* first_list,
                                ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task("CreateNewTask", bt_task_creation::new_download, &IBitTorrent::CreateNewTask, seed_path,
                     data_path, first_count, first_list, second_count, second_list, task);
}

HRESULT CBtShell::CreateContinuedTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                      const ULONG* first_list, ULONG second_count,
                                      const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task("CreateContinuedTask", bt_task_creation::continued,
                     &IBitTorrent::CreateContinuedTask, seed_path, data_path, first_count, first_list, second_count,
                     second_list, task);
}

HRESULT CBtShell::CreateUploadTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                   const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                                   IBtTask** task) {
  return create_task("CreateUploadTask", bt_task_creation::upload, &IBitTorrent::CreateUploadTask,
                     seed_path, data_path, first_count, first_list, second_count, second_list, task);
}

HRESULT CBtShell::create_task(const char* name, bt_task_creation task_type, create_method method,
                              tagSTRING seed_path, tagSTRING data_path, ULONG first_count, const ULONG* first_list,
                              ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return kernel_operation(name, [&] {
    if (!task) return misuse(name, host_misuse::null_pointer);
    acquire_kernel();
    switch (_bt_shell_status) {
      case bt_shell_status::kernel_loaded:
        return forward(method, seed_path, data_path, first_count, first_list, second_count, second_list, task);
      case bt_shell_status::kernel_loading:
        LOG4CPLUS_INFO(shell_logger(), name << " ");
        return create_bt_shell_task_imp(task_type, &seed_path, &data_path, first_count, first_list, second_count,
                                        second_list, task);
      default:
        return E_FAIL;
    }
  });
}

HRESULT CBtShell::create_bt_shell_task_imp(bt_task_creation task_type, const tagSTRING* seed_path,
                                           const tagSTRING* data_path, ULONG first_count, const ULONG* first_list,
                                           ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  if (!seed_path || unusable(*seed_path)) return seed_bad_argument;
  if (!data_path || unusable(*data_path)) return seed_bad_argument;
  if (first_count != 0 && !first_list) return seed_bad_argument;
  if (second_count != 0 && !second_list) return seed_bad_argument;

  const std::string data_folder(data_path->ptr, data_path->len);
  if (!is_directory(data_folder) && !create_directory(data_folder)) {
    LOG4CPLUS_ERROR(shell_logger(), "file_path_str create fail " << data_folder);
    return seed_bad_argument;
  }
  LOG4CPLUS_DEBUG(shell_logger(), "create_bt_shell_task_imp ");
  LOG4CPLUS_DEBUG(shell_logger(), "seed full path: " << std::string(seed_path->ptr, seed_path->len)
                                                     << " file path: " << data_folder
                                                     << " task type: " << static_cast<ULONG>(task_type));
  if (!is_known_task_creation(task_type)) {
    LOG4CPLUS_ERROR(shell_logger(), "task type parameter unlegal");
    return seed_bad_argument;
  }

  // The construction reference goes on every path; a proxy that could not
  // register goes with it.
  const auto proxy = com_ptr<bt_shell_task>::adopt(new bt_shell_task(
      *seed_path, *data_path, first_count, first_list, second_count, second_list, task_type, this, _context));
  proxy->init();
  proxy->QueryInterface(IID_IBtTask, reinterpret_cast<void**>(task));
  return S_OK;
}
