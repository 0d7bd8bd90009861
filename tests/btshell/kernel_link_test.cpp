// kernel_link over a recording kernel settings object: what reaches the
// kernel when a host applies every task's limits as it adds them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "host/btshell/kernel_link.h"
#include "interfaces/IBtKernelSettings.h"
#include "interfaces/string_types.h"

namespace {

// Keeps every SetTaskValue as "HASH key=value"; session values are those of
// `values`, and only its keys may be set. Not counted: lives on the test's stack.
struct recording_settings : IBtKernelSettings {
  std::vector<std::string> calls;
  std::map<std::string, std::string> values;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IBtKernelSettings) return E_NOINTERFACE;
    *ppv = static_cast<IBtKernelSettings*>(this);
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE SetValue(tagSTRING key, tagSTRING value) override {
    const auto found = values.find(to_std_string(key));
    if (found == values.end()) return E_INVALIDARG;
    found->second = to_std_string(value);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetValue(tagSTRING key, IStringSetter* value) override {
    const auto found = values.find(to_std_string(key));
    if (found == values.end()) return E_INVALIDARG;
    return value->SetString(static_cast<ULONG>(found->second.size()), found->second.data());
  }
  HRESULT STDMETHODCALLTYPE SetTaskValue(tagSTRING hash, tagSTRING key, tagSTRING value) override {
    calls.push_back(to_std_string(hash) + " " + to_std_string(key) + "=" + to_std_string(value));
    return S_OK;
  }
};

TEST(KernelLink, SendsOnlyWhatChangesAndForgetsBackToNone) {
  recording_settings kernel;
  const com_ptr<btshell::kernel_link> link = btshell::kernel_link::create();
  const std::string a(40, 'A'), b(40, 'B');
  link->set_task(a, {{"upload_rate_limit", "1024"}, {"connections_limit", "0"}});  // before the kernel: kept
  ASSERT_EQ(S_OK, link->OnRegisterInstance(IID_IBtKernelSettings, &kernel));
  EXPECT_EQ((std::vector<std::string>{a + " upload_rate_limit=1024", a + " connections_limit=0"}), kernel.calls);
  kernel.calls.clear();
  link->set_task(b, {{"upload_rate_limit", "0"}, {"connections_limit", "0"}});  // none, as the kernel has it
  link->set_task(a, {{"upload_rate_limit", "1024"}, {"connections_limit", "5"}});
  EXPECT_EQ((std::vector<std::string>{a + " connections_limit=5"}), kernel.calls);
  kernel.calls.clear();
  // A removed torrent's limits go back to none, so that added again it
  // starts where set_task assumes.
  link->forget_task(a);
  link->forget_task(b);
  EXPECT_EQ((std::vector<std::string>{a + " upload_rate_limit=0", a + " connections_limit=0"}), kernel.calls);
  kernel.calls.clear();
  link->set_task(a, {{"upload_rate_limit", "0"}});
  EXPECT_TRUE(kernel.calls.empty());
  link->close();
}

// What a host set before the kernel came: applied as it registers, the
// kernel's own values kept, a refusal told afterwards.
TEST(KernelLink, KeepsTheKernelsOwnValuesAndTellsRefusalsOfTheRegistration) {
  recording_settings kernel;
  kernel.values = {{"session.dht", "1"}, {"session.utp", "1"}};
  const com_ptr<btshell::kernel_link> link = btshell::kernel_link::create();
  link->set_session({{"session.dht", "0"}, {"session.nonsense", "x"}});
  ASSERT_EQ(S_OK, link->OnRegisterInstance(IID_IBtKernelSettings, &kernel));
  EXPECT_EQ(link->session_value("session.dht"), "0");
  EXPECT_EQ(link->own_value("session.dht"), "1");
  EXPECT_EQ(link->refused(), "session.nonsense=x");
  link->set_session({{"session.utp", "0"}});  // set after the registration: its own value kept the same
  EXPECT_EQ(link->own_value("session.utp"), "1");
  link->close();
}

}  // namespace
