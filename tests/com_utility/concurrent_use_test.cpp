// Reference counting and the event raiser used from several threads at once.
// Meant for the ThreadSanitizer build as much as for the plain one.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "com_utility/EventsRaiser.h"
#include "com_utility/UnknownBase.h"
#include "platform/module.h"
#include "support/run_together.h"

namespace {

constexpr int kThreads = 4;

// Each thread leaves a note in an unguarded slot of its own before its last
// Release; the destructor reads them all. Only the count's ordering makes
// those reads safe, so a missing barrier shows as a race.
class noted : public CUnknownMultiThread {
 public:
  noted(std::atomic<int>* destroyed, int* sum) : CUnknownMultiThread("noted"), destroyed_(destroyed), sum_(sum) {}
  ~noted() override {
    for (int note : notes) *sum_ += note;
    destroyed_->fetch_add(1);
  }
  int notes[kThreads] = {};

 private:
  std::atomic<int>* destroyed_;
  int* sum_;
};

TEST(ConcurrentReferenceCount, LastReleaseOnAnyThreadSeesEveryWriteAndDestroysOnce) {
  const LONG locks = platform::module_lock_count();
  for (int round = 0; round < 100; ++round) {
    std::atomic<int> destroyed{0};
    int sum = 0;
    auto* object = new noted(&destroyed, &sum);
    for (int i = 1; i < kThreads; ++i) object->AddRef();  // one reference per thread
    bts_test::run_together(kThreads, [&](int i) {
      for (int k = 0; k < 100; ++k) {
        object->AddRef();
        object->Release();
      }
      object->notes[i] = i + 1;
      object->Release();
    });
    ASSERT_EQ(destroyed.load(), 1);
    ASSERT_EQ(sum, 1 + 2 + 3 + 4);
  }
  EXPECT_EQ(platform::module_lock_count(), locks);
}

// {5B0E7E2A-3C41-4B7F-9D52-0C6A1E8F4D13}
constexpr IID IID_ICountedEvents = {0x5B0E7E2A, 0x3C41, 0x4B7F, {0x9D, 0x52, 0x0C, 0x6A, 0x1E, 0x8F, 0x4D, 0x13}};

struct ICountedEvents : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE OnEvent(ULONG value) = 0;
};

using raiser = CEventsRaiser<ICountedEvents, 0xFFFFFFFF>;

// Counts the events it hears; a sink given a raiser detaches itself from it
// on its first event.
class counting_sink : public ICountedEvents, public CUnknownMultiThread {
 public:
  counting_sink(std::atomic<int>* destroyed, raiser* detach_from = nullptr)
      : CUnknownMultiThread("counting_sink"), destroyed_(destroyed), detach_from_(detach_from) {}
  ~counting_sink() override { destroyed_->fetch_add(1); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return CUnknownMultiThread::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return CUnknownMultiThread::Release(); }
  HRESULT STDMETHODCALLTYPE OnEvent(ULONG) override {
    heard.fetch_add(1);
    // Two broadcasts may both reach the sink before it is gone: the second
    // detach finds nothing.
    if (detach_from_) detach_from_->DetachEvents(this);
    return S_OK;
  }

  std::atomic<int> heard{0};

 private:
  std::atomic<int>* destroyed_;
  raiser* detach_from_;
};

TEST(ConcurrentEventsRaiser, BroadcastsReachSteadySinksWhileOthersComeAndGo) {
  constexpr int kBroadcasts = 300;
  constexpr int kPassingSinks = 300;
  std::atomic<int> destroyed{0};
  raiser r(IID_ICountedEvents);
  counting_sink steady(&destroyed), churned(&destroyed);
  ASSERT_EQ(r.AttachEvents(&steady), S_OK);

  bts_test::run_together(4, [&](int role) {
    switch (role) {
      case 0:
      case 1:
        for (int k = 0; k < kBroadcasts; ++k) r.broadcast(&ICountedEvents::OnEvent, static_cast<ULONG>(k));
        break;
      case 2:
        // Sinks held by the raiser alone, each gone once it has heard an event.
        for (int k = 0; k < kPassingSinks; ++k) {
          auto* passing = new counting_sink(&destroyed, &r);
          EXPECT_EQ(r.AttachEvents(passing), S_OK);
          passing->Release();
        }
        break;
      default:
        for (int k = 0; k < kBroadcasts; ++k) {
          EXPECT_EQ(r.AttachEvents(&churned), S_OK);
          EXPECT_EQ(r.DetachEvents(&churned), S_OK);
        }
        break;
    }
  });
  // Passing sinks attached after the last broadcast hear this one and go.
  r.broadcast(&ICountedEvents::OnEvent, 0u);

  EXPECT_EQ(steady.heard.load(), 2 * kBroadcasts + 1);
  EXPECT_EQ(destroyed.load(), kPassingSinks);
  EXPECT_EQ(r.sink_count(), 1u);
  EXPECT_EQ(r.DetachEvents(&steady), S_OK);
  // Only the creators' references are left.
  EXPECT_EQ(steady.AddRef(), 2u);
  EXPECT_EQ(churned.AddRef(), 2u);
  steady.Release();
  churned.Release();
}

}  // namespace
