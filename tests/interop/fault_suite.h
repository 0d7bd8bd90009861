// The fault suite: one row per fault found by using the stack as a user
// would (a download into a folder that holds something else, a crash, two
// runs at once, a seed that names one file twice ...). Each row sets the
// situation up on loopback, runs btshell (or the kernel) as a user would,
// and checks what the user is told and what is left on disk; each fails
// without the fix of its fault. docs/robustness.md ("Transfers") lists them.
//
// Rows are added where they are written, by a static `fault_rows` object in
// each fault_rows_*.cpp; the suite runs them all as Faults/Row/<name>, one
// test each, so that ctest runs them side by side.
#pragma once

#include <initializer_list>
#include <ostream>
#include <vector>

#include "kernel/torrent_kernel.h"
#include "tests/interop/interop_fixture.h"

namespace bts_test {

struct fault_row {
  const char* name;   // the test's name: letters, digits and '_'
  const char* fault;  // what went wrong before the fix, in a few words
  void (*run)(interop_fixture& fixture);
};

// How gtest prints a row: by its name.
inline void PrintTo(const fault_row& row, std::ostream* out) { *out << row.name; }

// Registers rows at static initialisation.
struct fault_rows {
  fault_rows(std::initializer_list<fault_row> rows);
};

const std::vector<fault_row>& all_fault_rows();

// A task's file beside the seed of `t` ("<HASH>" + `suffix`: ".bt.cfg",
// ".bt.dat"), named by the 40 upper-case digits of the info hash (the
// torrents made here are canonical: libtorrent's hash is the shell's).
std::string beside_seed(const made_torrent& t, const std::string& suffix);

// A kernel on libtorrent made in the test's process with the settings of
// the ini file `ini`, and its CreateNewTask task for `seed` into `data`
// (null pointers where the kernel refused).
struct in_process_task {
  com_ptr<torrent_kernel> kernel;
  com_ptr<IBtTask> task;
  com_ptr<IBtTask3> task3;
};
in_process_task new_kernel_task(const std::string& ini, const std::string& seed, const std::string& data);

}  // namespace bts_test
