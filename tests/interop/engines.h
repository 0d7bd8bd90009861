// The independent BitTorrent engines of Debian, as the round-trip table
// (interop_test.cpp) drives them: aria2c, transmission-daemon (through
// transmission-remote), rtorrent and ctorrent. Each runs on its own loopback
// address (interop_fixture.h) with DHT, local peer discovery, port mapping
// and peer exchange off where it has them, its settings and state in the
// test's folder; each is a child_process of the fixture, stopped by its
// process id when the test ends. Each engine's quirks are handled, and told,
// in engines.cpp.
#pragma once

#include <string>
#include <vector>

#include "tests/interop/interop_fixture.h"

namespace bts_test {

// A download an engine is running.
struct leecher {
  child_process* process = nullptr;
  std::string complete_marker;  // the file it makes once it has every piece ("": it ends instead)
};

struct engine {
  const char* name;     // in the test's name
  const char* program;  // what must be installed
  const char* address;  // its loopback address
  // Seeds `t` from t.data_root, checking the data first; its output and
  // state go to <log>.* and <log>/ (aria2c: aria2-seeder.*).
  void (*start_seeder)(interop_fixture& fixture, const made_torrent& t, const std::string& log);
  // Downloads `t` into `dir` (its files under dir + t.name + "/"); likewise
  // (aria2c: aria2-leecher.*).
  leecher (*start_leecher)(interop_fixture& fixture, const made_torrent& t, const std::string& dir,
                           const std::string& log);
  // Waits until the leecher has all of `t`; false when it failed or took too long.
  bool (*wait_complete)(const leecher& l);
};

const std::vector<engine>& engines();

}  // namespace bts_test
