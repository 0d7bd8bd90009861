// Transfers over loopback between kernels on libtorrent: a generated
// multi-file torrent, a seeding kernel object made in-process, and the host
// runtime with the real libbt_shell.so that installs the real kernel module
// on request (module_fixture). Both sessions listen on 127.0.0.1 only, with
// DHT, local peer discovery, UPnP and NAT-PMP off; peers are given directly.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "kernel/torrent_kernel.h"
#include "support/wait_until.h"
#include "tests/integration/module_fixture.h"

namespace bts_test {

// Settings of every test session.
extern const char kLoopbackSettings[];

struct generated_file {
  std::string path;  // inside the data folder
  std::size_t size;
  ULONG index = 0;   // in the torrent (set by generate())
};

// A speed limiter owned by the test (the kernel keeps no reference).
class fixed_speed_limit : public ISpeedLimit {
 public:
  explicit fixed_speed_limit(ULONG bytes_per_second) : limit_(bytes_per_second) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetSpeedLimit(ULONG* bytes_per_second) override {
    *bytes_per_second = limit_;
    return S_OK;
  }

 private:
  ULONG limit_;
};

tagTASK_INFO task_info(IBtTask* task);

class swarm_fixture : public module_fixture {
 protected:
  void TearDown() override;

  // Writes the files under seeder_data() and their seed (one piece every
  // 64 KiB; `hybrid` adds the v2 hashes and the padding they need); files()
  // then tells each file's index in the torrent.
  void generate(const std::vector<generated_file>& files, bool hybrid = false);
  // A kernel object of its own seeding the generated data.
  void start_seeder();
  // The host runtime with libbt_shell.so; the kernel module (with the
  // loopback settings beside it) is installed when the shell asks for it.
  void load_host();
  // Creates a download through the shell into leecher_data().
  com_ptr<IBtTask> download_through_shell();
  bool wait_for_status(IBtTask* task, ULONG status);

  std::string seed_path() const { return dir_.file("seeds/content.torrent"); }
  std::string seeder_data() const { return dir_.file("seeder/"); }
  std::string leecher_data() const { return dir_.file("leecher/"); }
  const std::vector<generated_file>& files() const { return files_; }

  com_ptr<torrent_kernel> seeder_;
  com_ptr<IBtTask> seeder_task_;

 private:
  std::vector<generated_file> files_;
};

}  // namespace bts_test
