#include "host/recording_kernel/kernel_state.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "interfaces/IBtKernelProbe.h"
#include "host/recording_kernel/recording_task.h"

namespace {

template <class Map>
bool lookup(const Map& map, const std::string& key, typename Map::mapped_type& out) {
  auto it = map.find(key);
  if (it == map.end()) return false;
  out = it->second;
  return true;
}

std::string escaped(const char* p, std::size_t n) {
  std::string out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

kernel_state::kernel_state() {
  for (ULONG o : {BT_KERNEL_TASK_ACCELERATABLE, BT_KERNEL_TASK_BTTASK2, BT_KERNEL_TASK_BTTASK3,
                  BT_KERNEL_TEST_INTERFACE})
    options_[o] = true;
}

void kernel_state::record(std::string line) {
  std::function<void(const std::string&)> observer;
  std::string told;
  {
    std::lock_guard<std::mutex> lock(lock_);
    observer = observer_;
    if (observer) told = line;
    journal_.push_back(std::move(line));
  }
  if (observer) observer(told);
}

void kernel_state::set_observer(std::function<void(const std::string& line)> observer) {
  std::lock_guard<std::mutex> lock(lock_);
  observer_ = std::move(observer);
}

std::vector<std::string> kernel_state::journal() const {
  std::lock_guard<std::mutex> lock(lock_);
  return journal_;
}

void kernel_state::clear_journal() {
  std::lock_guard<std::mutex> lock(lock_);
  journal_.clear();
}

void kernel_state::set_result(const std::string& operation, HRESULT result) {
  std::lock_guard<std::mutex> lock(lock_);
  results_[operation] = result;
}

void kernel_state::set_value(const std::string& key, ULONG value) {
  std::lock_guard<std::mutex> lock(lock_);
  values_[key] = value;
}

void kernel_state::reset_answers() {
  std::lock_guard<std::mutex> lock(lock_);
  results_.clear();
  values_.clear();
}

HRESULT kernel_state::kernel_result(const std::string& operation, HRESULT natural) const {
  std::lock_guard<std::mutex> lock(lock_);
  HRESULT hr = natural;
  lookup(results_, "kernel." + operation, hr);
  return hr;
}

HRESULT kernel_state::task_result(ULONG task_id, const std::string& operation, HRESULT natural) const {
  std::lock_guard<std::mutex> lock(lock_);
  HRESULT hr = natural;
  if (!lookup(results_, "task" + std::to_string(task_id) + "." + operation, hr)) lookup(results_, "task." + operation, hr);
  return hr;
}

ULONG kernel_state::task_value(ULONG task_id, const std::string& key) const {
  std::lock_guard<std::mutex> lock(lock_);
  ULONG v = 0;
  if (!lookup(values_, "task" + std::to_string(task_id) + "." + key, v)) lookup(values_, "task." + key, v);
  return v;
}

ULONG kernel_state::kernel_value(const std::string& key) const {
  std::lock_guard<std::mutex> lock(lock_);
  ULONG v = 0;
  lookup(values_, "kernel." + key, v);
  return v;
}

bool kernel_state::set_option(ULONG option, bool on) {
  std::lock_guard<std::mutex> lock(lock_);
  auto it = options_.find(option);
  if (it == options_.end()) return false;
  it->second = on;
  return true;
}

bool kernel_state::option(ULONG option) const {
  std::lock_guard<std::mutex> lock(lock_);
  auto it = options_.find(option);
  return it != options_.end() && it->second;
}

ULONG kernel_state::add_task(recording_task* task) {
  std::lock_guard<std::mutex> lock(lock_);
  const ULONG id = ++created_;
  tasks_[id] = task;
  return id;
}

void kernel_state::remove_task(ULONG id) {
  std::lock_guard<std::mutex> lock(lock_);
  tasks_.erase(id);
}

com_ptr<recording_task> kernel_state::find_task(ULONG id) const {
  std::lock_guard<std::mutex> lock(lock_);
  auto it = tasks_.find(id);
  return it == tasks_.end() ? com_ptr<recording_task>() : com_ptr<recording_task>(it->second);
}

std::vector<com_ptr<recording_task>> kernel_state::live_tasks() const {
  std::lock_guard<std::mutex> lock(lock_);
  std::vector<com_ptr<recording_task>> live;
  for (const auto& entry : tasks_) live.emplace_back(entry.second);
  return live;
}

ULONG kernel_state::tasks_created() const {
  std::lock_guard<std::mutex> lock(lock_);
  return created_;
}

ULONG kernel_state::tasks_alive() const {
  std::lock_guard<std::mutex> lock(lock_);
  return static_cast<ULONG>(tasks_.size());
}

std::string kernel_state::text(const tagSTRING& s) {
  const std::string len = std::to_string(s.len);
  if (s.len == 0) return len + ":\"\"";
  if (!s.ptr) return len + ":null";
  return len + ":\"" + escaped(s.ptr, s.len) + "\"";
}

std::string kernel_state::list(ULONG count, const ULONG* items) {
  if (count && !items) return std::to_string(count) + ":null";
  std::string out = "[";
  for (ULONG i = 0; i < count; ++i) out += (i ? "," : "") + std::to_string(items[i]);
  return out + "]";
}

std::string kernel_state::trackers(ULONG count, const SEED_TRACKER_ITEM* items) {
  if (count && !items) return std::to_string(count) + ":null";
  std::string out = "[";
  for (ULONG i = 0; i < count; ++i) {
    const ULONG len = items[i].url_len;
    const std::size_t n = std::min<std::size_t>(len, SEED_TRACKER_URL_MAX);
    out += (i ? "," : "") + std::to_string(len) + ":\"" + escaped(items[i].url, n) + "\"";
  }
  return out + "]";
}

std::string kernel_state::pointer(const void* p) {
  if (!p) return "null";
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%" PRIxPTR, reinterpret_cast<std::uintptr_t>(p));
  return buf;
}
