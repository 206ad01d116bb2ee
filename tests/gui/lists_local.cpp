// The local drive, folder and file lists on the real window, over a temporary folder tree.
#include "gui/frmFTP.h"
#include "gui/local_lists.h"
#include "support/fake_dialogs.h"
#include "support/test_util.h"

#include <QComboBox>
#include <QDir>
#include <QListWidget>
#include <QTemporaryDir>

namespace {

QStringList texts(const QListWidget* list, int role = Qt::DisplayRole)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->data(role).toString();
    return out;
}

// Drives of a machine with a removable drive that holds no medium.
struct ScriptedDrives : IDrives {
    QList<Drive> list;
    QString failingRoot;
    QList<Drive> drives() const override { return list; }
    Opened open(const Drive& d) const override
    {
        return d.root == failingRoot ? Opened{QString(), "O dispositivo não está pronto."} : Opened{d.root, QString()};
    }
};

struct ListsLocal : ::testing::Test {
    QTemporaryDir tmp;
    QString a = tmp.filePath("A"), b = tmp.filePath("B");
    ScriptedDrives drives;
    FakeDialogs dialogs;
    frmFTP w;
    ListsLocal()
    {
        QDir(tmp.path()).mkpath("A/pedidos/importados");
        QDir(tmp.path()).mkpath("B");
        for (const QString& f : {a + "/pedidos/PED2.txt", a + "/pedidos/ped1.txt", a + "/pedidos/Notas.TXT", a + "/pedidos/.oculto.txt", b + "/B1.txt"})
            testutil::writeFile(f, "x");
        drives.list = {{"A: [DADOS]", a}, {"E:", tmp.filePath("E")}, {"B:", b}};
        drives.failingRoot = tmp.filePath("E");
    }
    void pickDrive(int index)
    {
        w.drvList->setCurrentIndex(index);
        emit w.drvList->activated(index);
    }
};

TEST_F(ListsLocal, DriveFolderAndFileListsMoveTogether)
{
    LocalLists lists(w.localWidgets(), dialogs, drives, a + "/pedidos/../pedidos//");
    // Every file, hidden ones too, in name order ignoring case; the folder path clean.
    EXPECT_EQ(lists.path(), a + "/pedidos");
    EXPECT_EQ(texts(w.filList), QStringList({".oculto.txt", "Notas.TXT", "ped1.txt", "PED2.txt"}));
    // The folder list: the ancestors from the root down to the open folder, then its subfolders.
    const QStringList tree = texts(w.dirList, LocalLists::PathRole);
    EXPECT_EQ(tree.front(), "/");
    EXPECT_EQ(tree.mid(tree.size() - 2), QStringList({a + "/pedidos", a + "/pedidos/importados"}));

    // A drive without a medium: "Drive Error"; the folder and file lists stay.
    pickDrive(1);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title + ": " + dialogs.messages[0].text, "Drive Error: O dispositivo não está pronto.");
    EXPECT_EQ(lists.path(), a + "/pedidos");
    EXPECT_EQ(lists.fileCount(), 4);

    // A ready drive moves both lists; back on the first drive, the folder last open there.
    pickDrive(2);
    EXPECT_EQ(texts(w.filList), QStringList{"B1.txt"});
    pickDrive(0);
    EXPECT_EQ(lists.path(), a + "/pedidos");
    EXPECT_EQ(dialogs.messages.size(), 1);
}

TEST_F(ListsLocal, FileListIsReadWhenSetOrRefreshedAndAVanishedFolderListsNothing)
{
    LocalLists lists(w.localWidgets(), dialogs, drives, b);
    testutil::writeFile(b + "/A0.txt", "x");
    EXPECT_EQ(texts(w.filList), QStringList{"B1.txt"});
    lists.refreshFiles();
    EXPECT_EQ(texts(w.filList), QStringList({"A0.txt", "B1.txt"}));

    EXPECT_FALSE(lists.setPath(tmp.filePath("sumiu")));
    EXPECT_EQ(lists.path(), b);
    ASSERT_TRUE(QDir(b).removeRecursively());
    lists.refreshFiles();
    EXPECT_EQ(lists.fileCount(), 0);   // never names that are no longer there
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.messages[1].text.startsWith("Não foi possível abrir a pasta " + b)) << dialogs.messages[1].text.toStdString();
}

TEST(SystemDrives, RootFirstAndThePlatformsReasonForADriveThatCannotBeOpened)
{
    EXPECT_EQ(SystemDrives().drives().value(0).root, "/");
    EXPECT_EQ(SystemDrives().open({"X:", "/nao/existe"}).error, "No such file or directory");
}

} // namespace
