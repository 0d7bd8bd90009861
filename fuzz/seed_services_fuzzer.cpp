// The shell's seed-file services on a seed written from the input, called
// through IBitTorrent2 as a host calls them: ParseSeedFile, IsTempFileExist,
// GetCfgFileList, GetDataFileList and the two P2P hub notices, with a host
// runtime that has a P2P hub and a data folder laid out for the generated
// sample seed.
//
// Properties: a failure hands out no record; a record keeps every text within
// its field and its counts agree with its arrays; every listed entry is an existing file, never a folder;
// the hub hears only of paths inside the folders it was given (never of a
// folder itself: notices follow the seed, not the disk), and nothing
// when the notice fails; a seed ParseSeedFile refuses (-24) every other
// service refuses too.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "bt_shell/DownloadLibPlugin.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/sample_download.h"
#include "host/download_lib/download_lib.h"
#include "host/download_lib/p2p_hub.h"
#include "interfaces/IBitTorrent.h"
#include "platform/codepage.h"
#include "platform/com_ptr.h"

namespace {

namespace fs = std::filesystem;

// The host, the plugin started on it, the shell it published, and the
// folders of the download. Made once; lives as long as the process.
struct session {
  fs::path root;
  std::string seed_path;
  std::string data_folder;  // with its trailing separator
  com_ptr<download_lib> host;
  com_ptr<CDownloadLibPlugin> plugin;
  com_ptr<IBitTorrent2> shell;
};

session* g_session = nullptr;

void write_file(const fs::path& path, const char* data, std::size_t size) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(data, static_cast<std::streamsize>(size));
  out.close();
  FUZZ_CHECK(static_cast<bool>(out));
}

void remove_session_folder() {
  if (g_session == nullptr) return;
  std::error_code ec;
  fs::remove_all(g_session->root, ec);
}

bool is_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}


bool starts_with(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

void check_seed_info(HRESULT hr, const SEED_FILE_INFO* info) {
  if (hr != S_OK) {
    FUZZ_CHECK(info == nullptr);
    return;
  }
  FUZZ_CHECK(info != nullptr);
  FUZZ_CHECK(info->title_len <= SEED_TITLE_MAX && info->publisher_len <= SEED_PUBLISHER_MAX &&
             info->publisher_url_len <= SEED_PUBLISHER_URL_MAX);
  FUZZ_CHECK((info->file_count == 0) == (info->files == nullptr));
  FUZZ_CHECK((info->tracker_count == 0) == (info->trackers == nullptr));
  for (ULONG i = 0; i < info->file_count; ++i)
    FUZZ_CHECK(info->files[i].path_len <= SEED_FILE_PATH_MAX && info->files[i].name_len <= SEED_FILE_NAME_MAX);
  for (ULONG i = 0; i < info->tracker_count; ++i) FUZZ_CHECK(info->trackers[i].url_len <= SEED_TRACKER_URL_MAX);
}

void check_file_list(HRESULT hr, const DATA_FILE_LIST* list) {
  if (hr != S_OK) {
    FUZZ_CHECK(list == nullptr);
    return;
  }
  FUZZ_CHECK(list != nullptr);
  FUZZ_CHECK(list->count == 0 || list->items != nullptr);
  for (ULONG i = 0; i < list->count; ++i) {
    const DATA_FILE_ITEM& item = list->items[i];
    FUZZ_CHECK(item.folder_len <= DATA_FILE_FOLDER_MAX && item.name_len <= DATA_FILE_NAME_MAX);
    FUZZ_CHECK(is_file(std::string(item.folder, item.folder_len) + std::string(item.name, item.name_len)));
  }
}

void check_notices(HRESULT hr, p2p_hub& hub, const std::string& folder, const std::string& new_folder) {
  const std::vector<p2p_hub::notice> notices = hub.notices();
  if (hr != S_OK) FUZZ_CHECK(notices.empty());
  for (const p2p_hub::notice& n : notices) {
    FUZZ_CHECK(starts_with(n.path, folder) && n.path.size() > folder.size());
    if (n.kind == p2p_hub::notice::moved)
      FUZZ_CHECK(starts_with(n.new_path, new_folder) &&
                 n.path.substr(folder.size()) == n.new_path.substr(new_folder.size()));
  }
  hub.clear();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::init_logging(log4cplus::TRACE_LOG_LEVEL);
  platform::set_ansi_code_page(936);

  std::string pattern = (fs::temp_directory_path() / "bts_fuzz_XXXXXX").string();
  FUZZ_CHECK(mkdtemp(pattern.data()) != nullptr);
  g_session = new session;
  g_session->root = pattern;
  std::atexit(remove_session_folder);
  g_session->seed_path = (g_session->root / "seeds" / fuzz::kSampleSeedName).string();
  const fs::path data = g_session->root / "data";
  g_session->data_folder = data.string() + "/";
  fs::create_directories(g_session->root / "seeds");
  for (const fuzz::sample_file& file : fuzz::kSampleFiles)
    if (file.on_disk) write_file(data / file.on_disk, "x", 1);
  write_file(data / fuzz::kSampleSeedName, "d4:infodee", 10);  // the seed's copy

  download_lib_options options;
  options.p2p_hub = true;
  g_session->host = download_lib::create(options);
  g_session->plugin = com_ptr<CDownloadLibPlugin>::adopt(new CDownloadLibPlugin);
  g_session->plugin->Init(g_session->host.get());
  FUZZ_CHECK(SUCCEEDED(g_session->host->GetInstance(IID_IBitTorrent, g_session->shell.put_void())));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  session& s = *g_session;
  write_file(s.seed_path, reinterpret_cast<const char*>(data), size);
  IBitTorrent2& shell = *s.shell.get();
  p2p_hub& hub = *s.host->hub();
  const tagSTRING seed = to_tag_string(s.seed_path);
  const tagSTRING folder = to_tag_string(s.data_folder);

  SEED_FILE_INFO* info = nullptr;
  HRESULT hr = shell.ParseSeedFile(seed, &info);
  check_seed_info(hr, info);
  if (info) FUZZ_CHECK(shell.ReleaseSeedFileInfo(info) == S_OK);
  // One rule decides which seeds are usable: a seed refused here is refused
  // by every service.
  const bool refused = hr == -24;

  hr = shell.IsTempFileExist(to_tag_string(""), seed);
  FUZZ_CHECK(hr == 0 || hr == 1);
  FUZZ_CHECK(!refused || hr == 1);

  DATA_FILE_LIST* list = nullptr;
  hr = shell.GetCfgFileList(seed, &list);
  check_file_list(hr, list);
  FUZZ_CHECK(!refused || hr == -24);
  if (list) FUZZ_CHECK(shell.ReleaseDataFileList(list) == S_OK);

  list = nullptr;
  hr = shell.GetDataFileList(folder, seed, &list);
  check_file_list(hr, list);
  FUZZ_CHECK(refused == (hr == -24));
  if (list) FUZZ_CHECK(shell.ReleaseDataFileList(list) == S_OK);

  hr = shell.NotifyHubBtDeleted(folder, seed);
  check_notices(hr, hub, s.data_folder, "");
  FUZZ_CHECK(refused == (hr == -24));
  const std::string new_folder = "/elsewhere/";
  hr = shell.NotifyHubBtMoved(folder, seed, to_tag_string(new_folder));
  check_notices(hr, hub, s.data_folder, new_folder);
  return 0;
}
