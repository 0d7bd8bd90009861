#include "com_utility/EventsRaiser.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "com_utility/UnknownBase.h"
#include "support/log_capture.h"

namespace {

// {0F8C41D2-7E43-4C25-9E36-5A1F2C7B9D01}
constexpr IID IID_ITestEvents = {0x0F8C41D2, 0x7E43, 0x4C25, {0x9E, 0x36, 0x5A, 0x1F, 0x2C, 0x7B, 0x9D, 0x01}};

struct ITestEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnOne(ULONG value) = 0;
  virtual HRESULT STDMETHODCALLTYPE OnTwo(ULONG a, ULONG b) = 0;
};

// A sink that records its calls in a shared journal and can run an action
// from inside an event.
class sink : public ITestEvents, public CUnknownMultiThread {
 public:
  sink(std::string name, std::vector<std::string>* journal, HRESULT answer = S_OK)
      : CUnknownMultiThread("sink"), name_(std::move(name)), journal_(journal), answer_(answer) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
  HRESULT STDMETHODCALLTYPE OnOne(ULONG value) override {
    journal_->push_back(name_ + ":" + std::to_string(value));
    if (on_event) on_event();
    return answer_;
  }
  HRESULT STDMETHODCALLTYPE OnTwo(ULONG a, ULONG b) override {
    journal_->push_back(name_ + ":" + std::to_string(a) + "," + std::to_string(b));
    return answer_;
  }
  ULONG count() const { return ref_count(); }

  std::function<void()> on_event;

 private:
  std::string name_;
  std::vector<std::string>* journal_;
  HRESULT answer_;
};

using raiser = CEventsRaiser<ITestEvents, 0xFFFFFFFF>;

TEST(EventsRaiser, BroadcastReachesSinksInAttachOrderDespiteFailures) {
  std::vector<std::string> journal;
  sink a("A", &journal, E_FAIL), b("B", &journal);
  {
    raiser r(IID_ITestEvents);
    ASSERT_EQ(r.AttachEvents(&a), S_OK);
    ASSERT_EQ(r.AttachEvents(&b), S_OK);
    r.broadcast(&ITestEvents::OnOne, 7u);
    r.broadcast(&ITestEvents::OnTwo, 1u, 2u);
    EXPECT_EQ(journal, (std::vector<std::string>{"A:7", "B:7", "A:1,2", "B:1,2"}));
    EXPECT_EQ(r.DetachEvents(&a), S_OK);
    EXPECT_EQ(r.DetachEvents(&b), S_OK);
  }
  EXPECT_EQ(a.count(), 1u);
  EXPECT_EQ(b.count(), 1u);
}

TEST(EventsRaiser, DoubleAttachAbsentDetachAndAFullListAreRefused) {
  std::vector<std::string> journal;
  sink a("A", &journal);
  raiser r(IID_ITestEvents);
  EXPECT_EQ(r.DetachEvents(&a), E_UNEXPECTED);
  EXPECT_EQ(r.AttachEvents(&a), S_OK);
  EXPECT_EQ(r.AttachEvents(&a), E_UNEXPECTED);
  EXPECT_EQ(a.count(), 2u);
  EXPECT_EQ(r.sink_count(), 1u);
  EXPECT_EQ(r.DetachEvents(&a), S_OK);
  EXPECT_EQ(a.count(), 1u);
  // A full list refuses an attach but still lets its sinks go.
  CEventsRaiser<ITestEvents, 1> full(IID_ITestEvents);
  EXPECT_EQ(full.AttachEvents(&a), S_OK);
  EXPECT_EQ(full.AttachEvents(&a), E_FAIL);
  EXPECT_EQ(full.DetachEvents(&a), S_OK);
}

TEST(EventsRaiser, LogLines) {
  bts_test::log_capture cap;
  std::vector<std::string> journal;
  sink a("A", &journal);
  {
    raiser r(IID_ITestEvents);
    r.AttachEvents(&a);
    r.DetachEvents(&a);
    r.AttachEvents(&a);
  }
  const std::string iid = "{0F8C41D2-7E43-4C25-9E36-5A1F2C7B9D01}";
  const auto debug = cap.texts("CEventsRaiser", log4cplus::DEBUG_LOG_LEVEL);
  ASSERT_EQ(debug.size(), 3u);
  EXPECT_EQ(debug[0].rfind("AttachEvents. Event [" + iid + "] at [test_com_utility:0x", 0), 0u) << debug[0];
  EXPECT_NE(debug[0].find("] attach to [0x"), std::string::npos) << debug[0];
  EXPECT_EQ(debug[1].rfind("DetachEvents. Event [" + iid + "] at [test_com_utility:0x", 0), 0u) << debug[1];
  EXPECT_NE(debug[1].find("] detach to [0x"), std::string::npos) << debug[1];
  const auto fatal = cap.texts("CEventsRaiser", log4cplus::FATAL_LOG_LEVEL);
  ASSERT_EQ(fatal.size(), 1u);
  EXPECT_EQ(fatal[0].rfind("Event [" + iid + "] at [test_com_utility:0x", 0), 0u) << fatal[0];
  EXPECT_EQ(fatal[0].substr(fatal[0].size() - 23), "] didn't DetachEvents!!");
  EXPECT_EQ(a.count(), 1u);  // released by the destructor
}

TEST(EventsRaiser, SinkDetachingItselfAndAnotherDuringABroadcast) {
  std::vector<std::string> journal;
  raiser r(IID_ITestEvents);
  // Only the raiser holds B and C: detaching them mid-broadcast would free
  // them under the broadcast's feet unless it holds its own references.
  auto* a = new sink("A", &journal);
  auto* b = new sink("B", &journal);
  auto* c = new sink("C", &journal);
  r.AttachEvents(a);
  r.AttachEvents(b);
  r.AttachEvents(c);
  b->Release();
  c->Release();
  a->on_event = [&] {
    r.DetachEvents(a);
    r.DetachEvents(c);
  };
  b->on_event = [&] { r.DetachEvents(b); };
  r.broadcast(&ITestEvents::OnOne, 1u);
  // The broadcast that started with A, B, C reaches all three; the next one none.
  EXPECT_EQ(journal, (std::vector<std::string>{"A:1", "B:1", "C:1"}));
  EXPECT_EQ(r.sink_count(), 0u);
  r.broadcast(&ITestEvents::OnOne, 2u);
  EXPECT_EQ(journal.size(), 3u);
  a->Release();
}

TEST(EventsRaiser, SinkAttachedDuringABroadcastHearsOnlyLaterEvents) {
  std::vector<std::string> journal;
  sink a("A", &journal), late("L", &journal);
  raiser r(IID_ITestEvents);
  r.AttachEvents(&a);
  bool attached = false;
  a.on_event = [&] {
    if (!attached) r.AttachEvents(&late);
    attached = true;
  };
  r.broadcast(&ITestEvents::OnOne, 1u);
  r.broadcast(&ITestEvents::OnOne, 2u);
  EXPECT_EQ(journal, (std::vector<std::string>{"A:1", "A:2", "L:2"}));
  r.DetachEvents(&a);
  r.DetachEvents(&late);
}

}  // namespace
