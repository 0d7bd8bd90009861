#include "bt_shell/host_misuse.h"

#include <log4cplus/loggingmacros.h>

#include "com_utility/com_boundary.h"

namespace {

struct misuse_answer {
  host_misuse misuse;
  HRESULT answer;
  const char* text;
};

const misuse_answer kAnswers[] = {
    {host_misuse::null_pointer, E_POINTER, "a null pointer argument; nothing done"},
    {host_misuse::count_without_list, E_POINTER, "a count without its list; nothing done"},
    {host_misuse::after_uninit, E_UNEXPECTED, "called after Uninit; nothing done"},
    {host_misuse::init_without_host, E_POINTER, "no host given; ignored"},
    {host_misuse::init_twice, S_OK, "the module is initialised already; ignored"},
    {host_misuse::init_while_held_by_another, E_UNEXPECTED, "another plugin holds the module; ignored"},
    {host_misuse::uninit_without_init, S_OK, "the plugin does not hold the module; ignored"},
    {host_misuse::released_without_uninit, S_OK, "released without Uninit; uninitialised now"},
};

}  // namespace

HRESULT answer_host_misuse(const log4cplus::Logger& logger, const void* object, const char* operation,
                           host_misuse misuse) {
  for (const misuse_answer& row : kAnswers) {
    if (row.misuse != misuse) continue;
    log_quietly([&] { LOG4CPLUS_ERROR(logger, "[" << object << "]" << operation << ": " << row.text); });
    return row.answer;
  }
  return E_UNEXPECTED;
}
