// vkt_get_records over the module boundary: after a real download it hands
// over, in one call, the same records the field accessors read one by one.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "exports/module.h"
#include "support/serial_machine.h"
#include "vktsim/logger_sim.h"

namespace {

using vkt::testing::Module;

std::string field(void (*accessor)(int32_t, char*), int32_t row) {
  char text[64] = {};
  accessor(row, text);
  return text;
}

TEST(RecordCopyExport, GivesTheRecordsTheAccessorsRead) {
  vkt::test::SerialMachine machine;
  vktsim::SimOptions options;
  options.paced = false;
  vktsim::GeneratorOptions generator;
  generator.count = 300;
  generator.cross_new_year = true;  // the year changes half way
  options.records = vktsim::generate_records(generator);
  options.tree_root = machine.root().string();
  vktsim::LoggerSim sim(std::move(options));

  Module m;
  ASSERT_NO_FATAL_FAILURE(vkt::testing::search_open_connect(m));
  ASSERT_EQ(m.vkt_inputdata(), 1);
  const int32_t count = m.vkt_datacount();
  ASSERT_EQ(count, 300);

  std::vector<vkt_record> records(static_cast<std::size_t>(count));
  ASSERT_EQ(m.vkt_get_records(1, count, records.data()), count);
  const std::vector<std::string> lines = sim.record_lines();
  for (int32_t row = 1; row <= count; ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    const vkt_record& r = records[static_cast<std::size_t>(row - 1)];
    unsigned char block[VKTCOM_DATA_BLOCK_SIZE] = {};
    m.vkt_getdata(row, block);
    const std::vector<int> expected = {block[1], block[2], block[3], block[4], block[5], block[6], block[7],
                                       static_cast<signed char>(block[8]), static_cast<signed char>(block[9]),
                                       static_cast<signed char>(block[10]), static_cast<signed char>(block[11]),
                                       block[12], block[13]};
    const std::vector<int> copied = {r.month, r.year_tag, r.day, r.hour, r.min, r.sec, r.n,
                                     r.x,     r.y,        r.z,   r.deg,  r.msec, r.humi};
    ASSERT_EQ(copied, expected);
    ASSERT_EQ(r.row, row);
    ASSERT_EQ(r.decoded, 1);
    ASSERT_EQ(r.year, std::atoi(field(m.vkt_get_year, row).c_str()));
    ASSERT_EQ(std::string(r.data), lines[static_cast<std::size_t>(row - 1)]);
  }
  EXPECT_EQ(records.front().year + 1, records.back().year);
  m.com_close();
}

}  // namespace
