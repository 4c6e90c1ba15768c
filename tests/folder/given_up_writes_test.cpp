// The journal of given-up writes survives a corrupt or planted file: only
// well-formed lines count, within bounds, and nothing there is waited on.
#include "folder/given_up_writes.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "platform/path_bytes.h"

namespace ornavex {
namespace {

TEST(GivenUpWritesTest, TakesOnlyWellFormedLinesWithinItsBounds) {
    const GivenUpWrite odd{pathFromBytes("/srv/\xff\n name"), {7, 42, 1000, 5}, {1234, 99}};
    const QByteArray line = formatGivenUpWrites({odd});
    EXPECT_EQ(parseGivenUpWrites(line), std::vector{odd});
    EXPECT_EQ(parseGivenUpWrites("1 2 5 6 3 4 2f61\n").size(), 1u);
    // Refused: letters for numbers, a relative path, half a byte, a NUL, a line
    // cut short, a number too large, a field too many or missing, no writer.
    for (const char* bad :
         {"x 2 5 6 3 4 2f61\n", "1 2 5 6 3 4 6162\n", "1 2 5 6 3 4 2f6\n", "1 2 5 6 3 4 2f0061\n",
          "1 2 5 6 3 4 2f61", "99999999999999999999999 2 5 6 3 4 2f61\n", "1 2 5 6 3 4 2f61 5\n",
          "1 2 5 6 3  2f61\n", "1 2 5 6 0 4 2f61\n"}) {
        EXPECT_TRUE(parseGivenUpWrites(QByteArray(bad)).empty()) << bad;
    }
    EXPECT_EQ(parseGivenUpWrites(line.repeated(1000)).size(), kMaxGivenUpWrites);
    EXPECT_TRUE(parseGivenUpWrites(QByteArray(4 * kMaxJournalBytes, 'a')).empty());
    // A FIFO planted as the journal is not waited on.
    QTemporaryDir dir;
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600), 0);
    EXPECT_TRUE(GivenUpWrites(dir.filePath("fifo")).takeEarlier().empty());
}

}  // namespace
}  // namespace ornavex
