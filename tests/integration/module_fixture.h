// A host runtime that loads the real plugin module from a folder of its own
// (with bt_shell.ini beside it) and installs the real kernel module from
// another folder on request.
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

  // Makes the kernel module installable and loads the plugin.
  void load() {
    std::filesystem::copy_file(BTS_KERNEL_MODULE, dir_.file("modules/libbt_kernel.so"));
    download_lib_options options;
    options.modules_dir = dir_.file("modules");
    host_ = download_lib::create(options);
    loader_ = std::make_unique<plugin_host>(host_.get());
    ASSERT_EQ(loader_->load(dir_.file("module/libbt_shell.so")), S_OK) << loader_->last_error();
    shell_ = loader_->shell();
    ASSERT_NE(shell_, nullptr);
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
