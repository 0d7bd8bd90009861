#include "tests/interop/fault_suite.h"

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

}  // namespace bts_test
