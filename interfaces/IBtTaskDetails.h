// What a kernel task tells besides IBtTask3: exact byte counts, the failure
// in words, its trackers with their last answers, and the peers it has met.
// A host obtains it by QueryInterface(IID_IBtTaskDetails) on a kernel's task
// (through a proxy: on IVirtualTask::GetRealTask's task); the shell's proxy
// does not serve it. A kernel that does not offer it answers E_NOINTERFACE.
//
// Texts come back through the caller's IStringSetter (any may be null);
// indexes past the end answer E_INVALIDARG with nothing written. Every
// operation may be called on any thread, as IBtTask3's.
#pragma once

#include "interfaces/IStringSetter.h"
#include "platform/types.h"
#include "platform/unknwn.h"

// {394AD375-664C-4B89-8F02-5A8CD1441C83}
inline constexpr IID IID_IBtTaskDetails = {0x394AD375, 0x664C, 0x4B89, {0x8F, 0x02, 0x5A, 0x8C, 0xD1, 0x44, 0x1C, 0x83}};

// GetTransferTotals: payload bytes, exact (IBtTask3's statistic counts KiB).
struct tagBT_TRANSFER_TOTALS {
  ULONGLONG received;      // 0: received in this run (since the task was made)
  ULONGLONG sent;          // 8: sent in this run
  ULONGLONG received_all;  // 16: over every run the task's state remembers
  ULONGLONG sent_all;      // 24
  ULONGLONG wasted;        // 32: received in this run and thrown away (failed the hash check, or redundant)
};
static_assert(sizeof(tagBT_TRANSFER_TOTALS) == 40);

enum bt_tracker_state : ULONG {
  bt_tracker_not_contacted = 0,  // no announce sent yet
  bt_tracker_announcing = 1,     // an announce is under way and none answered before
  bt_tracker_answered = 2,       // the last announce was answered
  bt_tracker_failed = 3,         // the last announce failed (the answer text says how)
};

// GetTrackerInfo's record. Counts that the tracker did not give are all ones.
struct tagBT_TRACKER_INFO {
  ULONG state;          // 0: a bt_tracker_state
  ULONG tier;           // 4: the announce-list tier, from 0
  ULONG peers;          // 8: peers in the last answer
  ULONG seeds;          // 12: seeds in the swarm, by the last answer or scrape
  ULONG leechers;       // 16: other peers in the swarm
  ULONG next_announce;  // 20: seconds until the next announce
  ULONG failures;       // 24: announces failed in a row
};
static_assert(sizeof(tagBT_TRACKER_INFO) == 28);

struct IBtTaskDetails : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE GetTransferTotals(tagBT_TRANSFER_TOTALS* totals) = 0;  // 3
  // Why the task failed, naming the file or folder concerned where there is
  // one; an empty text while it has not failed.
  virtual HRESULT STDMETHODCALLTYPE GetFailureText(IStringSetter* text) = 0;  // 4
  virtual HRESULT STDMETHODCALLTYPE GetTrackerCount(ULONG* count) = 0;       // 5
  // The tracker's URL and its last answer in words ("3 peers", the error it
  // sent, "not contacted yet").
  virtual HRESULT STDMETHODCALLTYPE GetTrackerInfo(ULONG index, IStringSetter* url, IStringSetter* answer,
                                                   tagBT_TRACKER_INFO* info) = 0;  // 6
  // The peers the task has been connected to in this run, at most 1000 (the
  // first ones), each as IBtTask3's peer text: "address:port", then the
  // client's name when it sent one (a peer that left within a second of
  // coming may be listed by its address alone).
  virtual HRESULT STDMETHODCALLTYPE GetSeenPeerCount(ULONG* count) = 0;              // 7
  virtual HRESULT STDMETHODCALLTYPE GetSeenPeer(ULONG index, IStringSetter* peer) = 0;  // 8
};
