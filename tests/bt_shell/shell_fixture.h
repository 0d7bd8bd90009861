// A host runtime with the plugin initialised on it, the shell it published,
// and an in-process stand-in kernel that a test registers when it wants one.
#pragma once

#include <gtest/gtest.h>

#include "bt_shell/BtShell.h"
#include "bt_shell/DownloadLibPlugin.h"
#include "host/recording_kernel/recording_kernel.h"
#include "host/recording_kernel/kernel_probe.h"
#include "host/download_lib/download_lib.h"
#include "host/download_lib/host_service.h"
#include "host/download_lib/module_downloader.h"
#include "support/temp_dir.h"

namespace bts_test {

class shell_fixture : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  void TearDown() override { stop(); }

  void start(download_lib_options options = {}) {
    host_ = download_lib::create(options);
    plugin_ = new CDownloadLibPlugin;
    plugin_->Init(host_.get());
    shell_ = plugin_->shell();
    shell_->AddRef();
    dir_.write("bt_shell.ini", "[bt_kernel]\nversion=1.2\n");
    shell_->set_config_dir(dir_.path());
  }

  // Whatever a test left of the plugin, the shell and the host goes.
  void stop() {
    if (plugin_) {
      plugin_->Uninit();
      plugin_->Release();
      plugin_ = nullptr;
    }
    if (shell_) shell_->Release();
    shell_ = nullptr;
    if (host_) host_->shutdown();
    host_.reset();
    kernel_.reset();
  }

  // Makes the stand-in kernel and registers it with the host.
  kernel_probe register_kernel() {
    if (!kernel_) kernel_ = recording_kernel::create();
    host_->RegisterInstance(IID_IBitTorrentKernel, static_cast<IBitTorrentKernel*>(kernel_.get()));
    return kernel_probe(static_cast<IBitTorrentKernel*>(kernel_.get()));
  }

  // The module downloader's answer for "bt_kernel".
  void complete_kernel_download(ULONG code = 0) {
    const char name[] = "bt_kernel";
    shell_->OnModuleInstallComplete(code, tagSTRING{9, name}, 1, 2);
  }

  std::vector<host_service::reported_event> host_events() const { return host_->service()->events(); }

  temp_dir dir_;
  com_ptr<download_lib> host_;
  CDownloadLibPlugin* plugin_ = nullptr;
  CBtShell* shell_ = nullptr;
  com_ptr<recording_kernel> kernel_;
};

}  // namespace bts_test
