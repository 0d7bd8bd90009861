// Memory running out inside the module, at every allocation of whole
// scenarios: the lazy kernel with proxies and their replay, and the seed
// services, each between the plugin's start and stop.
//
// This executable provides the module's memory pool itself (mp_gt, mp_gv,
// mp_ms, exported so that libbt_shell.so binds to them instead of libmp's).
// A sweep first counts the module's allocations in a clean run of a
// scenario, then runs it once for every N, with the Nth allocation failing.
// Every call must give its normal answer or a clean failure
// (E_OUTOFMEMORY, or the documented code of the failing step); a run whose
// calls all answered normally must end as the clean run did; and every run
// must leave nothing of the module alive (it unloads). Under
// AddressSanitizer the leak check at exit covers every run.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "host/download_lib/p2p_hub.h"
#include "interfaces/IAcceleratable.h"
#include "support/recording_sink.h"
#include "tests/bt_shell/seed_builder.h"
#include "tests/integration/module_fixture.h"

namespace {

// Allocations of the shell module left before the one that fails; negative:
// none fails.
std::atomic<long> g_fail_after{-1};
std::atomic<long> g_module_allocations{0};

bool from_shell_module(const void* caller) {
  Dl_info info{};
  if (!dladdr(caller, &info) || !info.dli_fname) return false;
  const char* slash = std::strrchr(info.dli_fname, '/');
  return std::strcmp(slash ? slash + 1 : info.dli_fname, "libbt_shell.so") == 0;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* mp_gt(size_t size) {
  if (from_shell_module(__builtin_return_address(0))) {
    ++g_module_allocations;
    if (g_fail_after.load() >= 0 && g_fail_after-- == 0) return nullptr;
  }
  return std::malloc(size);
}

extern "C" __attribute__((visibility("default"))) void mp_gv(void* p) { std::free(p); }

extern "C" __attribute__((visibility("default"))) size_t mp_ms(void* p) { return p ? malloc_usable_size(p) : 0; }

namespace {

tagSTRING tag(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.data()}; }

// One run of a scenario: judges each answer and gathers what the run left
// behind (the kernel's journal, the hub's notices).
struct run {
  explicit run(long failing) : failing(failing) {}

  long failing;  // the allocation that fails (0-based), or -1
  bool all_normal = true;
  std::vector<std::string> outcome;

  // True for the normal answer; false for a clean failure (later steps that
  // need this one are skipped); anything else fails the test.
  bool answered(const char* step, HRESULT got, HRESULT normal, std::vector<HRESULT> also = {}) {
    if (got == normal) return true;
    all_normal = false;
    also.push_back(E_OUTOFMEMORY);
    if (std::find(also.begin(), also.end(), got) == also.end())
      ADD_FAILURE() << step << " answered 0x" << std::hex << static_cast<ULONG>(got) << " with allocation "
                    << std::dec << failing << " failing";
    return false;
  }
};

class OutOfMemory : public bts_test::module_fixture {
 protected:
  using scenario = std::function<void(run&)>;

  // The host, with the plugin loaded on it when `r` says the load answered.
  bool start(run& r, download_lib_options options = {}) {
    options.modules_dir = dir_.file("modules");
    host_ = download_lib::create(options);
    loader_ = std::make_unique<plugin_host>(host_.get());
    if (!r.answered("load", loader_->load(dir_.file("module/libbt_shell.so")), S_OK)) return false;
    shell_ = loader_->shell();
    return true;
  }

  void finish(run& r) {
    const HRESULT unloaded = loader_ ? loader_->unload() : S_OK;
    EXPECT_EQ(unloaded, S_OK) << "objects of the module outlive the run with allocation " << r.failing << " failing";
    if (host_) host_->shutdown();
    loader_.reset();
    host_.reset();
    shell_ = nullptr;
  }

  // Runs `play` cleanly, then once with each of its allocations failing.
  void sweep(const scenario& play) {
    std::filesystem::copy_file(BTS_KERNEL_MODULE, dir_.file("modules/libbt_kernel.so"));
    run clean(-1);
    g_fail_after = -1;
    g_module_allocations = 0;
    play(clean);
    const long allocations = g_module_allocations;
    ASSERT_TRUE(clean.all_normal);
    ASSERT_GT(allocations, 0);
    RecordProperty("module_allocations", static_cast<int>(allocations));
    for (long n = 0; n < allocations; ++n) {
      run failing(n);
      g_fail_after = n;
      play(failing);
      if (failing.all_normal) {
        EXPECT_EQ(failing.outcome, clean.outcome) << "allocation " << n << " failing";
      }
    }
    g_fail_after = -1;
  }
};

TEST_F(OutOfMemory, LazyKernelWithProxiesAndReplay) {
  const std::string data = dir_.make_dirs("data/");
  sweep([&](run& r) {
    if (!start(r)) return finish(r);
    std::vector<std::string> events;
    com_ptr<recording_sink> sink = recording_sink::create("host", &events);
    const ULONG first[] = {4, 5};
    SEED_TRACKER_ITEM tracker{};
    tracker.url_len = 2;
    std::memcpy(tracker.url, "t1", 2);
    const ULONG order[] = {3, 1, 2};

    com_ptr<IBtTask> fresh, continued;
    r.answered("CreateNewTask", shell_->CreateNewTask(tag("/seeds/s.torrent"), tag(data), 0, nullptr, 0, nullptr,
                                                      fresh.put()),
               S_OK);
    r.answered("CreateContinuedTask", shell_->CreateContinuedTask(tag("/seeds/s.torrent"), tag(data), 2, first, 1,
                                                                  &tracker, continued.put()),
               S_OK);
    if (fresh) {
      r.answered("AttachEvents", fresh->AttachEvents(sink.get()), S_OK);
      r.answered("SetDispatchStrategy", fresh->SetDispatchStrategy(2), S_OK);
      r.answered("StartTask", fresh->StartTask(), S_OK);
      r.answered("SetFileDownOrder", fresh->SetFileDownOrder(3, order), S_OK);
      r.answered("SetStatParam", fresh->SetStatParam(tag("key"), tag("value"), tag(""), 7), S_OK);
      com_ptr<IAcceleratable> accelerate;
      fresh.query(IID_IAcceleratable, accelerate);
      r.answered("Accelerate", accelerate->Accelerate(tag("certification")), S_OK);
    }
    if (continued) {
      r.answered("StartTask", continued->StartTask(), S_OK);
      r.answered("StopTask", continued->StopTask(), S_OK);
    }
    r.answered("StartReimportTask", shell_->StartReimportTask(tag("a"), tag("b"), tag("c")), S_OK);

    host_->downloader()->complete_pending();  // the hand-over
    kernel_probe kernel = kernel_of_host();
    if (fresh && kernel.valid()) {
      kernel.raise_task_event(1, 2, 7);
      r.answered("SetDispatchStrategy after the hand-over", fresh->SetDispatchStrategy(3), S_OK);
      r.answered("DetachEvents", fresh->DetachEvents(sink.get()), S_OK, {E_UNEXPECTED});
    }
    r.answered("CreateCfgFile", shell_->CreateCfgFile(1, 2, 3, 4, 5, 6, 7, 8), S_OK);
    fresh.reset();  // never stopped
    continued.reset();
    if (kernel.valid()) {
      EXPECT_EQ(kernel.tasks_alive(), 0u) << "allocation " << r.failing << " failing";
      r.outcome = kernel.journal();
    }
    finish(r);
  });
}

TEST_F(OutOfMemory, SeedServices) {
  const std::string seed = bts_test::seed_builder()
                               .name("album")
                               .file({"a", "b.txt"}, 3)
                               .file({"c.txt"}, 4)
                               .announce("http://tracker")
                               .write(dir_, "album.torrent");
  const std::string data = dir_.make_dirs("data/");
  dir_.write("data/c.txt.bt.td", "partial");
  // What a seed service answers when it cannot read its seed.
  const std::vector<HRESULT> unreadable = {-13, -24};
  sweep([&](run& r) {
    download_lib_options options;
    options.p2p_hub = true;
    if (!start(r, options)) return finish(r);
    SEED_FILE_INFO* info = nullptr;
    if (r.answered("ParseSeedFile", shell_->ParseSeedFile(tag(seed), &info), S_OK, unreadable)) {
      r.outcome.push_back(std::string(info->title, info->title_len));
      shell_->ReleaseSeedFileInfo(info);
    }
    DATA_FILE_LIST* list = nullptr;
    if (r.answered("GetDataFileList", shell_->GetDataFileList(tag(data), tag(seed), &list), S_OK, unreadable)) {
      for (ULONG i = 0; i < list->count; ++i) r.outcome.emplace_back(list->items[i].name, list->items[i].name_len);
      shell_->ReleaseDataFileList(list);
    }
    if (r.answered("GetCfgFileList", shell_->GetCfgFileList(tag(seed), &list), S_OK, unreadable))
      shell_->ReleaseDataFileList(list);
    r.answered("IsTempFileExist", shell_->IsTempFileExist(tag(""), tag(seed)), 1, unreadable);
    if (r.answered("NotifyHubBtDeleted", shell_->NotifyHubBtDeleted(tag("/dl/"), tag(seed)), S_OK, unreadable))
      for (const p2p_hub::notice& notice : host_->hub()->notices()) r.outcome.push_back(notice.path);
    finish(r);
  });
}

}  // namespace
