#include "com_utility/EventsRaiser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/recording_sink.h"

namespace {

using strings = std::vector<std::string>;
using raiser = CEventsRaiser<IBtTaskEvents, 0xFFFFFFFF>;

ULONG references_of(recording_sink* object) {
  object->AddRef();
  return object->Release();
}

TEST(EventsRaiser, BroadcastReachesSinksInAttachOrderDespiteFailuresAndRefusesMisuse) {
  strings journal;
  auto a = recording_sink::create("A", &journal), b = recording_sink::create("B", &journal);
  a->answer = E_FAIL;
  {
    raiser r(IID_IBtTaskEvents);
    EXPECT_EQ(r.DetachEvents(a.get()), E_UNEXPECTED);
    ASSERT_EQ(r.AttachEvents(a.get()), S_OK);
    EXPECT_EQ(r.AttachEvents(a.get()), E_UNEXPECTED);
    ASSERT_EQ(r.AttachEvents(b.get()), S_OK);
    EXPECT_EQ(references_of(a.get()), 2u);
    r.broadcast(&IBtTaskEvents::OnBtTaskEvent1, ULONG_PTR{7});
    r.broadcast(&IBtTaskEvents::OnBtTaskEvent2, ULONG_PTR{8});
    EXPECT_EQ(journal, (strings{"A.OnBtTaskEvent1(7)", "B.OnBtTaskEvent1(7)", "A.OnBtTaskEvent2(8)",
                                "B.OnBtTaskEvent2(8)"}));
    EXPECT_EQ(r.DetachEvents(a.get()), S_OK);
    EXPECT_EQ(r.DetachEvents(b.get()), S_OK);
  }
  EXPECT_EQ(references_of(a.get()), 1u);
  EXPECT_EQ(references_of(b.get()), 1u);
  // A full list refuses an attach but still lets its sinks go; a raiser lets
  // go of the sinks still attached when it goes.
  {
    CEventsRaiser<IBtTaskEvents, 1> full(IID_IBtTaskEvents);
    EXPECT_EQ(full.AttachEvents(a.get()), S_OK);
    EXPECT_EQ(full.AttachEvents(b.get()), E_FAIL);
    EXPECT_EQ(full.DetachEvents(a.get()), S_OK);
    EXPECT_EQ(full.AttachEvents(b.get()), S_OK);
  }
  EXPECT_EQ(references_of(b.get()), 1u);
}

// A broadcast works on the sinks attached when it began: a sink that leaves
// (or is made to leave) during it is still told, one that joins hears only
// later events.
TEST(EventsRaiser, SinksLeavingAndJoiningDuringABroadcast) {
  strings journal;
  raiser r(IID_IBtTaskEvents);
  // Only the raiser holds B and C: detaching them mid-broadcast would free
  // them under the broadcast's feet unless it holds its own references.
  auto a = recording_sink::create("A", &journal), late = recording_sink::create("L", &journal);
  IBtTaskEvents *b = nullptr, *c = nullptr;
  {
    auto b_held = recording_sink::create("B", &journal), c_held = recording_sink::create("C", &journal);
    r.AttachEvents(a.get());
    r.AttachEvents(b = b_held.get());
    r.AttachEvents(c = c_held.get());
    b_held->hook = [&r, b] { r.DetachEvents(b); };
  }
  a->hook = [&] {
    if (journal.size() > 1) return;
    r.DetachEvents(a.get());
    r.DetachEvents(c);
    r.AttachEvents(late.get());
  };
  r.broadcast(&IBtTaskEvents::OnBtTaskEvent1, ULONG_PTR{1});
  EXPECT_EQ(journal, (strings{"A.OnBtTaskEvent1(1)", "B.OnBtTaskEvent1(1)", "C.OnBtTaskEvent1(1)"}));
  EXPECT_EQ(r.sink_count(), 1u);
  r.broadcast(&IBtTaskEvents::OnBtTaskEvent1, ULONG_PTR{2});
  EXPECT_EQ(journal.back(), "L.OnBtTaskEvent1(2)");
  r.DetachEvents(late.get());
}

}  // namespace
