// A shell on a module context bound to a fake host, as the plugin's Init
// leaves it, and the recording kernel a test lets arrive when it wants one.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "bt_shell/BtShell.h"
#include "bt_shell/bt_shell_task.h"
#include "bt_shell/module_context.h"
#include "support/temp_dir.h"
#include "tests/bt_shell/fakes.h"

namespace bts_test {

using strings = std::vector<std::string>;

inline tagSTRING text(const std::string& s) { return tagSTRING{static_cast<ULONG>(s.size()), s.c_str()}; }

inline bt_shell_task* proxy_of(IBtTask3* task) { return static_cast<bt_shell_task*>(task); }

// `object` answers each identifier with the face given beside it (null: E_NOINTERFACE and a null face).
inline void expect_faces(IUnknown* object, std::initializer_list<std::pair<IID, void*>> faces) {
  for (const auto& [iid, face] : faces) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(iid, &out), face ? S_OK : E_NOINTERFACE);
    EXPECT_EQ(out, face);
    if (out) static_cast<IUnknown*>(out)->Release();
  }
}

class shell_fixture : public ::testing::Test {
 protected:
  void SetUp() override { start(); }
  void TearDown() override { stop(); }

  void start(fake_host_options options = {}) {
    log_ = std::make_shared<journal>();
    host_ = com_ptr<fake_host>::adopt(new fake_host(log_, options));
    dir_.write("bt_shell.ini", "[bt_kernel]\nversion=1.2\n");
    context_ = std::make_shared<module_context>(dir_.path(), [] { return now_; });
    context_->bind(host_.get());
    shell_ = com_ptr<CBtShell>::adopt(new CBtShell(context_));
    shell_->init();
  }

  // What the plugin's Uninit does to the shell and to the context.
  void uninit() {
    if (!context_) return;
    shell_->uninit();
    std::exchange(context_, nullptr)->unbind();
  }

  // Whatever a test left of the shell, the context and the fakes goes.
  void stop() {
    uninit();
    shell_.reset();
    kernel_.reset();
    host_.reset();
  }

  // Registers the kernel (made on first use) with the host.
  fake_kernel& register_kernel() {
    if (!kernel_) kernel_ = std::make_unique<fake_kernel>(log_);
    host_->RegisterInstance(IID_IBitTorrentKernel, kernel_->object());
    return *kernel_;
  }

  // The kernel registers itself and the downloader reports it installed.
  fake_kernel& arrive() {
    register_kernel();
    host_->complete(0);
    return *kernel_;
  }

  std::string data_folder() const { return dir_.file("data"); }

  // A proxy made while the kernel is on its way (the first call requests it).
  com_ptr<IBtTask3> make_proxy() {
    IBtTask* raw = nullptr;
    EXPECT_EQ(shell_->CreateNewTask(text("/seeds/a.torrent"), text(data_folder()), 0, nullptr, 0, nullptr, &raw), S_OK);
    EXPECT_EQ(shell_->status(), bt_shell_status::kernel_loading);
    return com_ptr<IBtTask3>::adopt(static_cast<IBtTask3*>(raw));
  }

  static inline std::time_t now_ = 1000;
  temp_dir dir_;
  std::shared_ptr<journal> log_;
  com_ptr<fake_host> host_;
  std::shared_ptr<module_context> context_;
  com_ptr<CBtShell> shell_;
  std::unique_ptr<fake_kernel> kernel_;
};

}  // namespace bts_test
