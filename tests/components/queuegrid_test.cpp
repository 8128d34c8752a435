#include <gtest/gtest.h>

#include <QColor>
#include <memory>

#include "components/qrmt_queuegrid.h"

using namespace qrmt;

namespace {

std::unique_ptr<TCountQueueItem> Item(const std::string& path, const std::string& name, int64_t size, double date) {
  auto item = std::make_unique<TCountQueueItem>();
  item->Path = path;
  item->FileName = name;
  item->Size = size;
  item->SizeText = std::to_string(size);
  item->Date = date;
  item->DateText = std::to_string(date);
  return item;
}

QStringList Names(const TCountQueueModel& m) {
  QStringList names;
  for (int r = 0; r < m.rowCount(); ++r) names << m.index(r, 0).data().toString();
  return names;
}

}  // namespace

TEST(CountQueueModel, IndexFollowsAppendsRemovalsAndClear) {
  TCountQueueModel m;
  m.Append(Item("/a/", "x.c", 1, 1));
  m.Append(Item("/a/", "X.c", 1, 1));
  EXPECT_TRUE(m.Contains("/a/x.c"));
  EXPECT_TRUE(m.Contains("/a/X.c"));
  EXPECT_FALSE(m.Contains("/a/x.C"));
  EXPECT_EQ(m.rowCount(), 0);  // not shown before the flush
  EXPECT_EQ(m.Count(), 2);
  m.Flush();
  EXPECT_EQ(Names(m), (QStringList{"/a/x.c", "/a/X.c"}));
  m.RemoveRows({0, 0, 7});
  EXPECT_FALSE(m.Contains("/a/x.c"));
  EXPECT_EQ(Names(m), QStringList{"/a/X.c"});
  // Many rows at once take the other path; the index stays in step.
  for (int i = 0; i < 200; ++i) m.Append(Item("/b/", std::to_string(i) + ".c", i, i));
  std::vector<int> even;
  for (int r = 1; r <= 200; r += 2) even.push_back(r);
  m.RemoveRows(even);
  EXPECT_EQ(m.Count(), 101);
  EXPECT_FALSE(m.Contains("/b/0.c"));
  EXPECT_TRUE(m.Contains("/b/1.c"));
  m.Clear();
  EXPECT_FALSE(m.Contains("/a/X.c"));
  EXPECT_EQ(m.rowCount(), 0);
}

TEST(CountQueueModel, HeaderClicksCycleAndColourTheSortColumn) {
  TCountQueueModel m;
  m.Append(Item("/p/", "b.c", 30, 100.0));
  m.Append(Item("/p/", "A.c", 10, 101.5));
  m.Append(Item("/p/", "c.c", 20, 99.0));
  m.Flush();
  m.HeaderClick(TCountQueueModel::cqSize);
  EXPECT_EQ(Names(m), (QStringList{"/p/A.c", "/p/c.c", "/p/b.c"}));
  EXPECT_EQ(m.index(0, 1).data(Qt::BackgroundRole).value<QColor>(), QColor(0xF7, 0xF7, 0xF7));
  EXPECT_FALSE(m.index(0, 0).data(Qt::BackgroundRole).isValid());
  m.HeaderClick(TCountQueueModel::cqSize);
  EXPECT_EQ(Names(m), (QStringList{"/p/b.c", "/p/c.c", "/p/A.c"}));
  m.HeaderClick(TCountQueueModel::cqFileName);  // letter case folded
  EXPECT_EQ(Names(m), (QStringList{"/p/A.c", "/p/b.c", "/p/c.c"}));
  EXPECT_EQ(m.SortOrder(), Qt::AscendingOrder);
  EXPECT_FALSE(m.index(0, 1).data(Qt::BackgroundRole).isValid());
  // Rows added later go to the end.
  m.Append(Item("/p/", "0.c", 1, 1));
  m.Flush();
  EXPECT_EQ(Names(m).back(), "/p/0.c");
}

TEST(CountQueueModel, ModifiedComparesWholeDays) {
  const auto a = Item("/", "a", 0, 45000.0);
  const struct {
    double other;
    int sign;
  } cases[] = {{45000.0 + 23.0 / 24, 0}, {45000.0 - 23.0 / 24, 0}, {45001.0, -1}, {44998.9, 1}};
  for (const auto& c : cases) {
    const auto b = Item("/", "b", 0, c.other);
    const int got = TCountQueueModel::CompareRows(*a, *b, TCountQueueModel::cqModified);
    EXPECT_EQ((got > 0) - (got < 0), c.sign) << c.other;
  }
}
