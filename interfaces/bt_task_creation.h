// The three ways a task is made (IBitTorrent's CreateNewTask,
// CreateContinuedTask, CreateUploadTask): the shell's proxy records which
// one to replay, a kernel sets the task up after it, a host names it.
#pragma once

#include "platform/types.h"

enum class bt_task_creation : ULONG {
  new_download = 0,  // CreateNewTask: download, checking what is on disk
  continued = 1,     // CreateContinuedTask: from the resume state when it is there
  upload = 2,        // CreateUploadTask: seed the data on disk, never download
};

constexpr bool is_known_task_creation(bt_task_creation kind) {
  return static_cast<ULONG>(kind) <= static_cast<ULONG>(bt_task_creation::upload);
}

// The operation's name: "CreateNewTask", "CreateContinuedTask", "CreateUploadTask".
constexpr const char* task_creation_operation(bt_task_creation kind) {
  switch (kind) {
    case bt_task_creation::new_download: return "CreateNewTask";
    case bt_task_creation::continued: return "CreateContinuedTask";
    case bt_task_creation::upload: return "CreateUploadTask";
  }
  return "CreateTask";
}
