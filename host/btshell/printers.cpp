#include "host/btshell/printers.h"

#include <cstdio>

#include "interfaces/bt_shell_results.h"
#include "interfaces/bt_task_status.h"
#include "platform/mlang.h"

namespace btshell {

namespace {

// The shell's own failure codes of the seed-file operations.
const char* shell_result_meaning(HRESULT result) {
  switch (result) {
    case seed_ok: return "success";
    case 1: return "S_FALSE";
    case seed_text_too_long: return "a text of the seed is longer than its field";
    case seed_bad_argument: return "an empty or unusable argument";
    case seed_unreadable: return "the seed file cannot be read";
    case seed_bad_order: return "the seed's file entries are out of order";
    case seed_undecodable: return "the seed file is not valid bencode or no seed a kernel can use";
    default: return nullptr;
  }
}

const char* status_name(HRESULT result) {
  switch (static_cast<ULONG>(result)) {
    case 0x80004001u: return "E_NOTIMPL";
    case 0x80004002u: return "E_NOINTERFACE";
    case 0x80004003u: return "E_POINTER";
    case 0x80004005u: return "E_FAIL";
    case 0x8000FFFFu: return "E_UNEXPECTED";
    case 0x8007000Eu: return "E_OUTOFMEMORY";
    case 0x80070057u: return "E_INVALIDARG";
    default: return nullptr;
  }
}

std::string text_of(const char* bytes, ULONG length) { return std::string(bytes, length); }

const char* event_meaning(const host_service::reported_event& e) {
  if (e.kind == 2 && e.event_id == 152) return "the kernel module was requested";
  if (e.kind == 2 && e.event_id == 154) return "the kernel module arrived";
  if (e.kind == 4 && e.event_id == 153) return "the kernel module could not be had";
  return "";
}

}  // namespace

std::size_t utf8_sequence_length(const std::string& s, std::size_t at) {
  const auto lead = static_cast<unsigned char>(s[at]);
  const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
  if (at + length > s.size() || !platform::is_well_formed_utf8(s.data() + at, length, nullptr)) return 0;
  return length;
}

std::string terminal_text(const std::string& bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t at = 0; at < bytes.size();) {
    const auto c = static_cast<unsigned char>(bytes[at]);
    const std::size_t length = utf8_sequence_length(bytes, at);
    // C0 controls, DEL, and the C1 controls U+0080 to U+009F (C2 80 to C2 9F).
    const bool control = c < 0x20 || c == 0x7F || (c == 0xC2 && length == 2 && static_cast<unsigned char>(bytes[at + 1]) < 0xA0);
    if (length == 0 || control) {
      text += '?';
      at += length == 0 ? 1 : length;
      continue;
    }
    text.append(bytes, at, length);
    at += length;
  }
  return text;
}

std::string result_meaning(HRESULT result) {
  if (const char* meaning = shell_result_meaning(result)) return meaning;
  if (const char* name = status_name(result)) return name;
  return std::string();
}

std::string result_text(HRESULT result) {
  const std::string meaning = result_meaning(result);
  std::string number = std::to_string(result);
  if (!shell_result_meaning(result)) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<ULONG>(result));
    number = hex;
  }
  return meaning.empty() ? number : number + " (" + meaning + ")";
}

std::string result_failure_text(const std::string& operation, const std::string& subject, HRESULT result) {
  return operation + " " + subject + ": " + result_text(result);
}

std::string failure_meaning(LONG code) {
  switch (code) {
    case bt_failure_none: return "no failure";
    case bt_failure_seed_unreadable: return "the seed file cannot be opened or read";
    case bt_failure_seed_invalid: return "the seed is no torrent the kernel can use";
    case bt_failure_bad_selection: return "a file index of the selection is outside the torrent";
    case bt_failure_data_folder: return "the data folder is not a folder and cannot be made one";
    case bt_failure_file_error: return "a data file cannot be opened, read, written or renamed";
    case bt_failure_no_space: return "the disk is full";
    case bt_failure_data_incomplete: return "the data to upload is missing or damaged";
    case bt_failure_duplicate: return "the kernel already runs a task of this torrent";
    case bt_failure_kernel_unavailable: return "the kernel module could not be had";
    default: return std::string();
  }
}

std::string failure_text(LONG code) {
  const std::string meaning = failure_meaning(code);
  return meaning.empty() ? std::to_string(code) : std::to_string(code) + " (" + meaning + ")";
}

std::string size_text(ULONGLONG size) {
  std::string digits = std::to_string(size);
  for (std::size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

void print_seed_info(std::ostream& out, const SEED_FILE_INFO& info) {
  const auto or_none = [](const std::string& s) { return s.empty() ? std::string("(none)") : s; };
  out << "info hash:      " << info_hash_hex(info.info_hash) << '\n';
  out << "title:          " << or_none(text_of(info.title, info.title_len)) << '\n';
  out << "publisher:      " << or_none(text_of(info.publisher, info.publisher_len)) << '\n';
  out << "publisher URL:  " << or_none(text_of(info.publisher_url, info.publisher_url_len)) << '\n';
  // Hostile seeds carry sizes whose sum does not fit in 64 bits.
  ULONGLONG total = 0;
  bool overflow = false;
  for (ULONG i = 0; i < info.file_count; ++i)
    overflow |= __builtin_add_overflow(total, info.files[i].file_size, &total);
  out << "files:          " << info.file_count << " ("
      << (overflow ? std::string("more than 2^64") : size_text(total)) << " bytes)\n";
  // Each file's index (what download --files takes), right-aligned.
  const std::size_t index_width = std::to_string(info.file_count > 0 ? info.file_count - 1 : 0).size();
  for (ULONG i = 0; i < info.file_count; ++i) {
    const SEED_FILE_ITEM& f = info.files[i];
    std::string index = std::to_string(i), size = size_text(f.file_size);
    index.insert(0, index_width - index.size(), ' ');
    if (size.size() < 15) size.insert(0, 15 - size.size(), ' ');
    out << "  " << index << " " << size << "  " << text_of(f.path, f.path_len) << text_of(f.name, f.name_len) << '\n';
  }
  out << "trackers:       " << info.tracker_count << '\n';
  for (ULONG i = 0; i < info.tracker_count; ++i)
    out << "  " << text_of(info.trackers[i].url, info.trackers[i].url_len) << '\n';
}

void print_file_list(std::ostream& out, const DATA_FILE_LIST* list, const std::string& indent) {
  const ULONG count = list ? list->count : 0;
  if (count == 0) {
    out << indent << "(none)\n";
    return;
  }
  for (ULONG i = 0; i < count; ++i) {
    const DATA_FILE_ITEM& item = list->items[i];
    out << indent << text_of(item.folder, item.folder_len) << text_of(item.name, item.name_len) << '\n';
  }
}

void print_host_events(std::ostream& out, const std::vector<host_service::reported_event>& events,
                       std::size_t first, const std::string& indent) {
  if (first >= events.size()) {
    out << indent << "(none)\n";
    return;
  }
  for (std::size_t i = first; i < events.size(); ++i) {
    const host_service::reported_event& e = events[i];
    out << indent << "ReportEvent(" << e.kind << ", " << e.event_id << ", " << e.param1 << ", " << e.param2 << ")";
    if (const char* meaning = event_meaning(e); *meaning) out << "  " << meaning;
    out << '\n';
  }
}

void print_hub_notices(std::ostream& out, const std::vector<p2p_hub::notice>& notices,
                       const std::string& indent) {
  if (notices.empty()) {
    out << indent << "(none)\n";
    return;
  }
  for (const p2p_hub::notice& n : notices) {
    if (n.kind == p2p_hub::notice::deleted)
      out << indent << "deleted  " << n.path << '\n';
    else
      out << indent << "moved    " << n.path << '\n' << indent << "      -> " << n.new_path << '\n';
  }
}

void print_lines(std::ostream& out, const std::vector<std::string>& lines, std::size_t first,
                 const std::string& indent) {
  if (first >= lines.size()) {
    out << indent << "(none)\n";
    return;
  }
  for (std::size_t i = first; i < lines.size(); ++i) out << indent << lines[i] << '\n';
}

}  // namespace btshell
