#include "tests/interop/fault_suite.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "com_utility/StringSetter.h"

namespace bts_test {

namespace {

std::vector<fault_row>& registry() {
  static std::vector<fault_row> rows;
  return rows;
}

class Faults : public interop_fixture, public ::testing::WithParamInterface<fault_row> {};
// A build may hold no rows yet.
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(Faults);

TEST_P(Faults, Row) {
  RecordProperty("fault", GetParam().fault);
  GetParam().run(*this);
}

// The rows are read when the tests are registered, after every static
// `fault_rows` has run.
INSTANTIATE_TEST_SUITE_P(, Faults, ::testing::ValuesIn(all_fault_rows()),
                         [](const ::testing::TestParamInfo<fault_row>& row) { return std::string(row.param.name); });

}  // namespace

fault_rows::fault_rows(std::initializer_list<fault_row> rows) {
  registry().insert(registry().end(), rows.begin(), rows.end());
}

const std::vector<fault_row>& all_fault_rows() { return registry(); }

std::string beside_seed(const made_torrent& t, const std::string& suffix) {
  std::string hash = t.hash;
  std::transform(hash.begin(), hash.end(), hash.begin(), [](unsigned char c) { return std::toupper(c); });
  return std::filesystem::path(t.seed).parent_path().string() + "/" + hash + suffix;
}

in_process_task new_kernel_task(const std::string& ini, const std::string& seed, const std::string& data) {
  in_process_task made;
  made.kernel = torrent_kernel::create(read_kernel_settings(ini));
  if (made.kernel && made.kernel->CreateNewTask(to_tag_string(seed), to_tag_string(data), 0, nullptr, 0, nullptr,
                                                made.task.put()) == S_OK)
    made.task.query(IID_IBtTask3, made.task3);
  return made;
}

}  // namespace bts_test
