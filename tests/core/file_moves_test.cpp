// Moving a finished file across file systems when the copy cannot be completed.
#include "core/file_moves.h"
#include "support/test_util.h"

#include <QDir>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {
dev_t deviceOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_dev : dev_t(-1);
}
} // namespace

// The archive on another file system fills up half-way through the copy: the order stays where
// it was, whole, and the archive keeps no piece of it.
TEST(FileMoves, AFailedCopyToAnotherFileSystemKeepsTheSourceAndDropsItsPartialCopy)
{
    QTemporaryDir here, there(QStringLiteral("/dev/shm/pedidos-mover-XXXXXX"));
    ASSERT_TRUE(here.isValid() && there.isValid());
    if (deviceOf(here.path()) == deviceOf(there.path()))
        GTEST_SKIP() << "no second file system";
    const QString source = here.filePath(QStringLiteral("PED1.txt"));
    const QByteArray order = QByteArray("ProdutoVendido: 7891234000019|caneta|1,50|1|1,50|0|\r\n").repeated(2000);
    testutil::writeFile(source, order);

    const QString what = testutil::failureWithFileSizeLimit(
        16 * 1024, [&] { files::moveToFreeName(source, there.path(), QStringLiteral("PED1.txt")); });
    EXPECT_TRUE(what.contains(source)) << what.toStdString();
    EXPECT_EQ(testutil::readFile(source), order);
    EXPECT_EQ(QDir(there.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}
