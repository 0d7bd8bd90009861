// Guesses the code page of a narrow text through the MLang object the host
// provides (or the platform's built-in detector).
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "common/singleton.h"
#include "platform/com_ptr.h"
#include "platform/mlang.h"

class charset_analyser : public singleton<charset_analyser> {
 public:
  // Lowest confidence of a guess that detect() accepts.
  static constexpr INT kMinConfidence = 51;

  charset_analyser() = default;
  // Checks that the MLang object was let go and every user detached; a
  // failed check raises the release assertion.
  virtual ~charset_analyser() noexcept(false);
  charset_analyser(const charset_analyser&) = delete;
  charset_analyser& operator=(const charset_analyser&) = delete;

  // Counts one more user; holds (and AddRefs) `mlang` when no object is held
  // yet and it is not null. Always true.
  bool attach(IMultiLanguage2* mlang);
  // Counts one user less; the last one lets the object go. A detach without a
  // matching attach is reported and ignored.
  void detach();
  // The code page of `text`, or 0 when it cannot be told. Holds its own
  // reference on the object while it calls it.
  UINT detect(const std::string& text) const;

  // A run of detections that takes the lock and a reference on the object
  // once for all of them: what each detect() takes for itself. The object
  // held stays alive while the batch lives, even past the last detach.
  class batch {
   public:
    explicit batch(const charset_analyser& analyser);
    // As detect().
    UINT detect(const char* text, std::size_t size) const;
    // Whether an object is held (detect() asks it rather than failing).
    bool attached() const { return static_cast<bool>(mlang_); }

   private:
    com_ptr<IMultiLanguage2> mlang_;
  };
  // attach, detach and detect may be called from any thread.

  IMultiLanguage2* mlang() const { return _pi_mlang.load(); }
  LONG ref_count() const { return _ref_count.load(); }

  // The plugin's start: the instance (made now if needed) attaches `mlang`.
  static bool init(IMultiLanguage2* mlang);
  // The plugin's stop: detaches once and destroys the instance when no user
  // is left. With users left (the plugin was started more often than
  // stopped) the instance stays, and the broken balance is reported.
  static void uninit();

 private:
  std::atomic<IMultiLanguage2*> _pi_mlang{nullptr};
  std::atomic<LONG> _ref_count{0};
  // Changes the pointer and the count together, so that a user attaching
  // while the last one detaches finds the object held, and detect() takes
  // its reference before the last detach can let the object go.
  mutable std::mutex _lock;
};
