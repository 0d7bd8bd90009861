// CBtShell: task creation. With the kernel loaded the creation operations go
// straight to it; while it is on its way they hand out proxy tasks.
#include "bt_shell/BtShell.h"
#include "bt_shell/bt_shell_task.h"
#include "bt_shell/shell_log.h"
#include "common/file_ex.h"
#include "common/release_assert.h"

namespace {

constexpr HRESULT kBadArgument = -11;

// A text that is empty, or claims bytes it does not point to.
bool unusable(const tagSTRING& s) { return s.len == 0 || !s.ptr; }

}  // namespace

HRESULT CBtShell::CreateNewTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count, const ULONG* first_list,
                                ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task("CreateNewTask", bt_shell_task_create_type::new_task, &IBitTorrent::CreateNewTask, seed_path,
                     data_path, first_count, first_list, second_count, second_list, task);
}

HRESULT CBtShell::CreateContinuedTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                      const ULONG* first_list, ULONG second_count,
                                      const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  return create_task("CreateContinuedTask", bt_shell_task_create_type::continued_task,
                     &IBitTorrent::CreateContinuedTask, seed_path, data_path, first_count, first_list, second_count,
                     second_list, task);
}

HRESULT CBtShell::CreateUploadTask(tagSTRING seed_path, tagSTRING data_path, ULONG first_count,
                                   const ULONG* first_list, ULONG second_count, const SEED_TRACKER_ITEM* second_list,
                                   IBtTask** task) {
  return create_task("CreateUploadTask", bt_shell_task_create_type::upload_task, &IBitTorrent::CreateUploadTask,
                     seed_path, data_path, first_count, first_list, second_count, second_list, task);
}

HRESULT CBtShell::create_task(const char* name, bt_shell_task_create_type task_type, create_method method,
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

HRESULT CBtShell::create_bt_shell_task_imp(bt_shell_task_create_type task_type, const tagSTRING* seed_path,
                                           const tagSTRING* data_path, ULONG first_count, const ULONG* first_list,
                                           ULONG second_count, const SEED_TRACKER_ITEM* second_list, IBtTask** task) {
  if (!seed_path || unusable(*seed_path)) return kBadArgument;
  if (!data_path || unusable(*data_path)) return kBadArgument;
  if (first_count != 0 && !first_list) return kBadArgument;
  if (second_count != 0 && !second_list) return kBadArgument;

  const std::string data_folder(data_path->ptr, data_path->len);
  if (!is_directory(data_folder) && !create_directory(data_folder)) {
    LOG4CPLUS_ERROR(shell_logger(), "file_path_str create fail " << data_folder);
    return kBadArgument;
  }
  LOG4CPLUS_DEBUG(shell_logger(), "create_bt_shell_task_imp ");
  LOG4CPLUS_DEBUG(shell_logger(), "seed full path: " << std::string(seed_path->ptr, seed_path->len)
                                                     << " file path: " << data_folder
                                                     << " task type: " << static_cast<ULONG>(task_type));
  if (!is_known_create_type(task_type)) {
    LOG4CPLUS_ERROR(shell_logger(), "task type parameter unlegal");
    return kBadArgument;
  }

  // The construction reference goes on every path; a proxy that could not
  // register goes with it.
  const auto proxy = com_ptr<bt_shell_task>::adopt(new bt_shell_task(
      *seed_path, *data_path, first_count, first_list, second_count, second_list, task_type, this, _context));
  proxy->init();
  proxy->QueryInterface(IID_IBtTask, reinterpret_cast<void**>(task));
  return S_OK;
}
