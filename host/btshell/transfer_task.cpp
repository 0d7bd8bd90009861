#include "host/btshell/transfer_task.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "com_utility/StringSetter.h"
#include "common/utility.h"
#include "host/btshell/command_line.h"
#include "host/download_lib/module_downloader.h"
#include "interfaces/string_types.h"

namespace btshell {

namespace {

// The address of `host` as text (IPv6 in brackets), or empty.
std::string address_of(const std::string& host, std::string& error) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int result = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (result != 0 || !found) {
    error = "cannot find the peer " + host + ": " + gai_strerror(result);
    return std::string();
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owned(found, freeaddrinfo);
  char text[NI_MAXHOST];
  if (getnameinfo(found->ai_addr, found->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) {
    error = "cannot find the peer " + host;
    return std::string();
  }
  return found->ai_family == AF_INET6 ? "[" + std::string(text) + "]" : std::string(text);
}

}  // namespace

bool peer_items(const std::vector<std::string>& peers, std::vector<SEED_TRACKER_ITEM>& items, std::string& error) {
  for (const std::string& peer : peers) {
    std::string host;
    unsigned short port = 0;
    if (!split_host_port(peer, host, port)) {
      error = "not a peer: " + peer;
      return false;
    }
    const std::string address = address_of(host, error);
    if (address.empty()) return false;
    const std::string url = "peer://" + address + ":" + std::to_string(port);
    SEED_TRACKER_ITEM item{};
    item.url_len = static_cast<ULONG>(url.size());
    std::memcpy(item.url, url.data(), url.size());
    items.push_back(item);
  }
  return true;
}

double upload_ratio(ULONGLONG sent_all, ULONGLONG received_all, ULONGLONG wanted) {
  const ULONGLONG base = received_all > 0 ? received_all : wanted;
  return base == 0 ? 0.0 : static_cast<double>(sent_all) / static_cast<double>(base);
}

transfer_task::~transfer_task() {
  if (attached_) task_->DetachEvents(events_.get());
}

HRESULT transfer_task::create(const task_request& request) {
  using create_operation = HRESULT (STDMETHODCALLTYPE IBitTorrent::*)(tagSTRING, tagSTRING, ULONG, const ULONG*, ULONG,
                                                                    const SEED_TRACKER_ITEM*, IBtTask**);
  create_operation operation = &IBitTorrent::CreateNewTask;
  if (request.how == task_creation::continued) operation = &IBitTorrent::CreateContinuedTask;
  if (request.how == task_creation::upload) operation = &IBitTorrent::CreateUploadTask;
  com_ptr<IBtTask> created;
  const HRESULT hr = (session_.shell()->*operation)(
      to_tag_string(request.seed), to_tag_string(request.data_folder), static_cast<ULONG>(request.files.size()),
      request.files.empty() ? nullptr : request.files.data(), static_cast<ULONG>(request.extras.size()),
      request.extras.empty() ? nullptr : request.extras.data(), created.put());
  if (FAILED(hr) || !created) return FAILED(hr) ? hr : E_FAIL;
  if (FAILED(created.query(IID_IBtTask3, task_))) return E_NOINTERFACE;
  // A kernel's own task is no proxy and answers no IVirtualTask.
  made_before_kernel_ = SUCCEEDED(created.query(IID_IVirtualTask, virtual_task_));
  if (!made_before_kernel_) created.query(IID_IBtTaskDetails, details_);
  const HRESULT attached = task_->AttachEvents(events_.get());
  if (FAILED(attached)) return attached;
  attached_ = true;
  return S_OK;
}

bool transfer_task::fetch_kernel() {
  if (!virtual_task_) return true;
  session_.host().downloader()->complete_pending();
  if (virtual_task_->IsModuleDownloadFailed() == S_OK) return false;
  com_ptr<ITask> real;
  if (FAILED(virtual_task_->GetRealTask(real.put())) || !real) return false;
  // The proxy does not serve the details; its real task may.
  real.query(IID_IBtTaskDetails, details_);
  return true;
}

HRESULT transfer_task::stop() {
  const HRESULT hr = task_->StopTask();
  if (attached_ && SUCCEEDED(task_->DetachEvents(events_.get()))) attached_ = false;
  return hr;
}

tagTASK_INFO transfer_task::info() const {
  tagTASK_INFO info{};
  task_->GetTaskInfo(&info);
  return info;
}

LONG transfer_task::failure() const {
  LONG code = 0;
  task_->GetFailureDetail(&code);
  return code;
}

std::string transfer_task::failure_text() const {
  std::string text;
  CStringSetter setter(&text);
  if (!details_ || FAILED(details_->GetFailureText(&setter))) return std::string();
  return text;
}

transfer_totals transfer_task::totals() const {
  tagBT_TRANSFER_TOTALS exact{};
  if (details_ && SUCCEEDED(details_->GetTransferTotals(&exact)))
    return {exact.received, exact.sent, exact.received_all, exact.sent_all};
  tagRESOURCE_STATISTIC statistic{};
  task_->GetResourceStatistic(&statistic);
  const ULONGLONG received = ULONGLONG{statistic.values[7]} * 1024, sent = ULONGLONG{statistic.values[8]} * 1024;
  return {received, sent, received, sent};
}

swarm_state transfer_task::swarm() const {
  swarm_state swarm;
  ULONG trackers = 0, peers = 0;
  if (!details_ || FAILED(details_->GetTrackerCount(&trackers)) || FAILED(details_->GetSeenPeerCount(&peers)))
    return swarm;
  swarm.known = true;
  // The lists may shrink between the count and the item: an index past the
  // end ends the list.
  for (ULONG i = 0; i < trackers; ++i) {
    tracker_state tracker;
    CStringSetter url(&tracker.url), answer(&tracker.answer);
    if (FAILED(details_->GetTrackerInfo(i, &url, &answer, &tracker.info))) break;
    swarm.trackers.push_back(std::move(tracker));
  }
  for (ULONG i = 0; i < peers; ++i) {
    std::string peer;
    CStringSetter text(&peer);
    if (FAILED(details_->GetSeenPeer(i, &text))) break;
    swarm.peers_seen.push_back(std::move(peer));
  }
  return swarm;
}

std::vector<peer_state> transfer_task::peers(ULONG count) const {
  std::vector<peer_state> peers;
  for (ULONG i = 0; i < count; ++i) {
    tagRESOURCE_INFO info{};
    if (FAILED(task_->GetResourceInfo(i, &info))) break;
    peer_state p;
    const std::string text(reinterpret_cast<const char*>(info.data), std::min<ULONG>(info.value2, sizeof info.data));
    p.endpoint = text.substr(0, text.find(' '));
    const std::size_t colon = p.endpoint.rfind(':');
    p.address = p.endpoint.substr(0, colon);
    if (p.address.size() >= 2 && p.address.front() == '[') p.address = p.address.substr(1, p.address.size() - 2);
    p.port = colon == std::string::npos ? 0 : static_cast<unsigned>(std::atoi(p.endpoint.c_str() + colon + 1));
    if (text.size() > p.endpoint.size()) p.client = text.substr(p.endpoint.size() + 1);
    p.flags = info.value1;
    p.down_rate = info.value3;
    p.up_rate = info.value4;
    p.progress = info.value5;
    peers.push_back(std::move(p));
  }
  return peers;
}

task_file_state transfer_task::file_state(ULONG index) const {
  tagFILE_INFO_PAIR size{}, done{};
  task_file_state state;
  if (FAILED(task_->GetFileInfo(index, &size, &done, &state.state))) return state;
  state.size = ULONGLONG{size.value2} << 32 | size.value1;
  state.done = ULONGLONG{done.value2} << 32 | done.value1;
  return state;
}

std::string transfer_task::disk_path(ULONG index) const {
  std::string inside, on_disk;
  CStringSetter inside_setter(&inside), on_disk_setter(&on_disk);
  if (FAILED(task_->GetFileIdInfo(index, &inside_setter, &on_disk_setter))) return std::string();
  return on_disk;
}

}  // namespace btshell
