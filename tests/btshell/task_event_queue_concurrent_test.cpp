// The host's event queue on a task: a kernel raises events on its own thread
// while btshell waits for them and takes them on another. Meant for the
// ThreadSanitizer build as much as for the plain one.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "host/btshell/task_event_queue.h"

namespace {

using btshell::task_event_queue;

TEST(ConcurrentTaskEventQueue, EventsRaisedOnOtherThreadsAreTakenOnceEachInTheirOrder) {
  constexpr int kThreads = 3, kEvents = 2000;
  com_ptr<task_event_queue> queue = task_event_queue::create();
  std::vector<std::thread> raisers;
  for (int t = 0; t < kThreads; ++t)
    raisers.emplace_back([&queue, t] {
      IBtTaskEvents* sink = queue.get();
      for (int i = 0; i < kEvents; ++i) (t == 0 ? sink->OnBtTaskEvent2(i) : sink->OnBtTaskEvent3(t * kEvents + i));
    });
  std::vector<task_event_queue::event> taken;
  while (taken.size() < static_cast<std::size_t>(kThreads * kEvents)) {
    queue->wait(std::chrono::milliseconds(50));
    for (const task_event_queue::event& e : queue->take()) taken.push_back(e);
  }
  for (std::thread& t : raisers) t.join();

  EXPECT_TRUE(queue->take().empty());
  EXPECT_FALSE(queue->wait(std::chrono::milliseconds(0)));
  const std::vector<task_event_queue::event> heard = queue->heard();
  ASSERT_EQ(heard.size(), taken.size());
  ULONG_PTR next[kThreads] = {};
  for (std::size_t i = 0; i < taken.size(); ++i) {
    EXPECT_EQ(heard[i].number, taken[i].number);
    EXPECT_EQ(heard[i].value, taken[i].value);
    const int thread = taken[i].number == 2 ? 0 : static_cast<int>(taken[i].value / kEvents);
    ASSERT_EQ(taken[i].value, thread * kEvents + next[thread]) << i;  // each thread's events in its order
    ++next[thread];
  }
}

}  // namespace
