// Text forms of what the shell and the host runtime hand back.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "host/download_lib/host_service.h"
#include "host/download_lib/p2p_hub.h"
#include "interfaces/data_file_list.h"
#include "interfaces/seed_file_info.h"
#include "interfaces/seed_naming.h"
#include "platform/types.h"

namespace btshell {

// A result with its meaning: "0 (success)", "-13 (the seed file cannot be
// read)", "0x80004001 (E_NOTIMPL)", "0x80001234" when it has no name here.
std::string result_text(HRESULT result);
// The meaning alone: "the seed file cannot be read", "E_NOTIMPL"; empty
// when it has none here.
std::string result_meaning(HRESULT result);

// "OPERATION SUBJECT: RESULT (meaning)", a refusal as btshell tells it.
std::string result_failure_text(const std::string& operation, const std::string& subject, HRESULT result);

// What a task's failure code (GetFailureDetail) means: "the disk is full";
// empty for a code this host does not know.
std::string failure_meaning(LONG code);
// "10006 (the disk is full)", or the bare number.
std::string failure_text(LONG code);

// Length of the well-formed UTF-8 sequence at `at` of `s`; 0 when none begins there.
std::size_t utf8_sequence_length(const std::string& s, std::size_t at);
// A text from elsewhere (a peer's client name, a tracker's answer) made safe
// to write to a terminal: each control character and each byte that is not
// part of well-formed UTF-8 becomes '?'.
std::string terminal_text(const std::string& bytes);

// A size in bytes with thousands separated: "1,048,576".
std::string size_text(ULONGLONG size);

void print_seed_info(std::ostream& out, const SEED_FILE_INFO& info);
// `list` may be null (printed as an empty list). Each of the printers below
// writes one item a line after `indent`, and "(none)" for no item.
void print_file_list(std::ostream& out, const DATA_FILE_LIST* list, const std::string& indent = "  ");
// Events from index `first` on, one a line with what it means.
void print_host_events(std::ostream& out, const std::vector<host_service::reported_event>& events,
                       std::size_t first = 0, const std::string& indent = "  ");
void print_hub_notices(std::ostream& out, const std::vector<p2p_hub::notice>& notices,
                       const std::string& indent = "  ");
// Lines from index `first` on.
void print_lines(std::ostream& out, const std::vector<std::string>& lines, std::size_t first = 0,
                 const std::string& indent = "  ");

}  // namespace btshell
