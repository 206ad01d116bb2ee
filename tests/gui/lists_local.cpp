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

TEST(ListsLocal, DriveFolderAndFileListsMoveTogether)
{
    QTemporaryDir tmp;
    const QString a = tmp.filePath("A"), b = tmp.filePath("B");
    QDir(tmp.path()).mkpath("A/pedidos/importados");
    QDir(tmp.path()).mkpath("B");
    for (const QString& f : {a + "/pedidos/PED2.txt", a + "/pedidos/ped1.txt", a + "/pedidos/Notas.TXT", a + "/pedidos/.oculto.txt", b + "/B1.txt"})
        testutil::writeFile(f, "x");
    ScriptedDrives drives;
    drives.list = {{"A: [DADOS]", a}, {"E:", tmp.filePath("E")}, {"B:", b}};
    drives.failingRoot = tmp.filePath("E");
    FakeDialogs dialogs;
    frmFTP w;
    const auto pickDrive = [&](int index) {
        w.drvList->setCurrentIndex(index);
        emit w.drvList->activated(index);
    };

    LocalFolder folder(dialogs);
    LocalLists lists(w.localWidgets(), folder, dialogs, drives, a + "/pedidos/../pedidos//");
    // Every file, hidden ones too, in name order ignoring case; the folder path clean; the folder
    // list from the root down to the open folder, then its subfolders.
    EXPECT_EQ(lists.path(), a + "/pedidos");
    EXPECT_EQ(texts(w.filList), QStringList({".oculto.txt", "Notas.TXT", "ped1.txt", "PED2.txt"}));
    const QStringList tree = texts(w.dirList, LocalLists::PathRole);
    EXPECT_EQ(tree.front(), "/");
    EXPECT_EQ(tree.mid(tree.size() - 2), QStringList({a + "/pedidos", a + "/pedidos/importados"}));

    // A drive without a medium: "Drive Error"; the lists stay. A ready drive moves them; back on
    // the first drive, the folder last open there.
    pickDrive(1);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].title + ": " + dialogs.messages[0].text, "Drive Error: O dispositivo não está pronto.");
    EXPECT_EQ(lists.path(), a + "/pedidos");
    EXPECT_EQ(lists.fileCount(), 4);
    pickDrive(2);
    EXPECT_EQ(texts(w.filList), QStringList{"B1.txt"});
    pickDrive(0);
    EXPECT_EQ(lists.path(), a + "/pedidos");

    // A folder that vanished lists nothing and says so.
    ASSERT_TRUE(QDir(a + "/pedidos").removeRecursively());
    lists.refreshFiles();
    EXPECT_EQ(lists.fileCount(), 0);
    ASSERT_EQ(dialogs.messages.size(), 2);
    EXPECT_TRUE(dialogs.messages[1].text.startsWith("Não foi possível abrir a pasta " + a)) << dialogs.messages[1].text.toStdString();
}

} // namespace
