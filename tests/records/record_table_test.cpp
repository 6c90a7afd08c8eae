// The record table's compact rows read back as a table of text cells would:
// raw lines exactly as received, texts made from the decoded fields, year
// texts shared by consecutive rows, nothing left of an earlier download.
#include "records/record_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "records/download.h"
#include "record_fixture.h"

namespace vkt::records::test {
namespace {

std::vector<std::string> row_cells(Library& library, int row) {
  std::vector<std::string> cells;
  for (int c = 0; c < kColumns; ++c) cells.push_back(table(library).cell(c, row));
  return cells;
}

// A reply of the given lines, each ended by CR LF, and the terminator.
std::string reply_of(const std::vector<std::string>& lines) {
  std::string reply;
  for (const std::string& line : lines) reply += line + "\r\n";
  return reply + "#\r\n";
}

bool download(PortedLibrary& port, const std::string& reply) {
  if (!port.preload(reply)) return false;
  return DownloadDriver(port.lib->download_context());
}

// A record line with another year tag: the top two bits of digit 2 (its
// low two bits belong to the day).
std::string with_tag(std::string line, int tag) {
  const int digit = std::stoi(line.substr(1, 1), nullptr, 16);
  line[1] = "0123456789ABCDEF"[tag * 4 + (digit & 3)];
  return line;
}

TEST(RecordTable, GridReadsEveryColumnOfADecodedRow) {
  PortedLibrary port;
  ASSERT_EQ(port.opened, 1);
  port.lib->logger.param_year = "2009";
  ASSERT_TRUE(download(port, kExampleReply));
  EXPECT_EQ(row_cells(*port.lib, 1),
            (std::vector<std::string>{"1", kFirst, "3", "1", "15", "13", "45", "30", "5", "1", "-2", "64", "23", "25",
                                      "45", "2009/03/15", "13:45:30.25", "23.5"}));
  EXPECT_EQ(row_cells(*port.lib, 2),
            (std::vector<std::string>{"2", kSecond, "1", "2", "2", "0", "0", "5", "0", "-128", "127", "0", "-5", "0",
                                      "100", "2010/01/02", "00:00:05.00", "-5.0"}));
  EXPECT_EQ(row_cells(*port.lib, 0)[kDate], "DATE");
  // The memo shows the reply the rows point into.
  EXPECT_EQ(port.lib->monitor()->Memo1.text(), kFirst + "\r\n" + kSecond + "\r\n#");

  // A cell written with a text of its own reads that text, in the grid and
  // through the accessors; the row's other cells stay as decoded.
  ui::TextGrid& grid = table(*port.lib);
  grid.set_cell(kX, 1, "77");
  grid.set_cell(kCount, 2, "two");
  EXPECT_EQ(grid.cell(kX, 1), "77");
  EXPECT_EQ(text_of(*port.lib, TextField::X, 1), "77");
  EXPECT_EQ(block_of(*port.lib, 1)[8], 77);
  EXPECT_EQ(grid.cell(kY, 1), "-2");
  EXPECT_EQ(grid.cell(kCount, 2), "two");
  grid.clear_row(1);
  EXPECT_EQ(row_cells(*port.lib, 1), std::vector<std::string>(kColumns));
  EXPECT_EQ(text_of(*port.lib, TextField::All, 1), " /-     ");
}

// A failed length check keeps every line undecoded, exactly as received
// (trimmed): other lengths, lower-case digits, other characters.
TEST(RecordTable, LinesThatAreNotRecordsReadBackVerbatim) {
  PortedLibrary port;
  ASSERT_EQ(port.opened, 1);
  const std::vector<std::string> lines = {"  " + kFirst + " ", "abc", "35edb5e501fe4017192d",
                                          std::string(300, 'Z'), "x y\tz", kSecond};
  EXPECT_FALSE(download(port, reply_of(lines)));
  ASSERT_EQ(vkt_datacount(port.lib->record_parts()), 6);
  for (int row = 1; row <= 6; ++row) {
    const std::vector<std::string> cells = row_cells(*port.lib, row);
    EXPECT_EQ(cells[kCount], std::to_string(row));
    EXPECT_EQ(cells[kData], std::string(vkt::trimmed(lines[row - 1]))) << row;
    for (int c = kMonth; c < kColumns; ++c) EXPECT_EQ(cells[c], "") << row << "," << c;
    EXPECT_EQ(block_of(*port.lib, row)[1], 0xEE) << "no number in an undecoded row";
  }
}

// Consecutive rows of one year share its text; each change of tag is the
// next year, a roll-over from 3 to 0 included.
TEST(RecordTable, YearTextsFollowEveryRollOver) {
  PortedLibrary port;
  ASSERT_EQ(port.opened, 1);
  port.lib->logger.param_year = "2009";
  const int tags[] = {3, 3, 0, 0, 0, 1, 3, 3};
  std::vector<std::string> lines;
  for (int tag : tags) lines.push_back(with_tag(kFirst, tag));
  ASSERT_TRUE(download(port, reply_of(lines)));
  const char* years[] = {"2009", "2009", "2010", "2010", "2010", "2011", "2012", "2012"};
  for (int row = 1; row <= 8; ++row) {
    EXPECT_EQ(text_of(*port.lib, TextField::Year, row), years[row - 1]) << row;
    EXPECT_EQ(table(*port.lib).cell(kDate, row), std::string(years[row - 1]) + "/03/15") << row;
  }
  EXPECT_EQ(port.lib->logger.param_year, "2012");

  // A year that is no number cannot advance: the rows after the change are
  // dated without one, the rows before keep their text.
  port.lib->logger.param_year = "20x9";
  ASSERT_TRUE(download(port, reply_of({with_tag(kFirst, 0), with_tag(kFirst, 1), with_tag(kFirst, 1)})));
  EXPECT_EQ(table(*port.lib).cell(kDate, 1), "20x9/03/15");
  EXPECT_EQ(table(*port.lib).cell(kDate, 2), "/03/15");
  EXPECT_EQ(table(*port.lib).cell(kDate, 3), "/03/15");
}

TEST(RecordTable, ASmallerSecondDownloadLeavesNoTrace) {
  PortedLibrary port;
  ASSERT_EQ(port.opened, 1);
  port.lib->logger.param_year = "2009";
  ASSERT_TRUE(download(port, reply_of({kFirst, kSecond, kFirst, kSecond, kFirst})));
  ASSERT_EQ(vkt_datacount(port.lib->record_parts()), 5);
  ASSERT_TRUE(download(port, reply_of({kSecond})));
  EXPECT_EQ(vkt_datacount(port.lib->record_parts()), 1);
  EXPECT_EQ(table(*port.lib).cell(kData, 1), kSecond);
  for (int row = 2; row <= 6; ++row) {
    EXPECT_EQ(row_cells(*port.lib, row), std::vector<std::string>(kColumns)) << row;
    EXPECT_EQ(text_of(*port.lib, TextField::All, row), " /-     ") << row;
  }
  // Growing again brings nothing of the first download back.
  table(*port.lib).set_row_count(6);
  for (int row = 2; row <= 5; ++row) EXPECT_EQ(row_cells(*port.lib, row), std::vector<std::string>(kColumns));
}

// The table on its own: headers, rows written cell by cell, the row count.
TEST(RecordTable, CellsWrittenOneByOneActAsTextCells) {
  ui::TextGrid grid("StringGrid1", kColumns, kInitialRows, std::make_unique<RecordTable>());
  lay_out_record_table(grid);
  EXPECT_EQ(grid.cell(kCount, 0), "count");
  EXPECT_EQ(grid.cell(kDegText, 0), "DEG");
  EXPECT_EQ(grid.cell(kData, 4), "");
  grid.set_cell(kData, 3, kFirst);
  grid.set_cell(kDate, 3, "someday");
  grid.set_cell(kCount, 3, "3");
  EXPECT_EQ(grid.cell(kData, 3), kFirst);
  EXPECT_EQ(grid.cell(kDate, 3), "someday");
  EXPECT_EQ(grid.cell(kCount, 3), "3");
  EXPECT_EQ(grid.cell(kMonth, 3), "");
  grid.set_cell(kCount, 3, "");
  EXPECT_EQ(grid.cell(kCount, 3), "");
  grid.set_row_count(3);
  EXPECT_EQ(grid.cell(kData, 3), "") << "beyond the row count";
  grid.set_row_count(4);
  EXPECT_EQ(grid.cell(kDate, 3), "") << "a dropped row does not come back";
  EXPECT_EQ(grid.cell(kData, 3), "");
}

}  // namespace
}  // namespace vkt::records::test
