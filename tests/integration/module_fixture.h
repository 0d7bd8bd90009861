// The real plugin module in a folder of its own (with bt_shell.ini beside
// it), a folder for the kernel module, and the host runtime a test loads the
// plugin on.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>

#include "host/kernel_probe/kernel_probe.h"
#include "host/download_lib/download_lib.h"
#include "host/download_lib/host_service.h"
#include "host/download_lib/module_downloader.h"
#include "host/download_lib/plugin_host.h"
#include "interfaces/IBitTorrent.h"
#include "support/temp_dir.h"

namespace bts_test {

class module_fixture : public ::testing::Test {
 protected:
  void SetUp() override {
    namespace fs = std::filesystem;
    fs::create_directories(dir_.file("module"));
    fs::create_directories(dir_.file("modules"));
    fs::copy_file(BTS_SHELL_MODULE, dir_.file("module/libbt_shell.so"));
    dir_.write("module/bt_shell.ini", "[bt_kernel]\nversion=1.2\n");
  }
  void TearDown() override {
    if (loader_) loader_->unload();
    if (host_) host_->shutdown();
    loader_.reset();
  }

  kernel_probe kernel_of_host() const {
    com_ptr<IUnknown> k;
    host_->GetInstance(IID_IBitTorrentKernel, k.put_void());
    return kernel_probe(k.get());
  }

  temp_dir dir_;
  com_ptr<download_lib> host_;
  std::unique_ptr<plugin_host> loader_;
  IBitTorrent2* shell_ = nullptr;
};

}  // namespace bts_test
