// The local drive, folder and file lists on the real window, over a temporary folder tree.
#include "gui/frmFTP.h"
#include "gui/local_lists.h"
#include "support/fake_dialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QStorageInfo>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

static void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write("x");
}

QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

QStringList folderPaths(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->data(LocalLists::PathRole).toString();
    return out;
}

// Drives of a machine with a removable drive that holds no medium.
class ScriptedDrives : public IDrives {
public:
    QList<Drive> list;
    QString failingRoot;
    QList<Drive> drives() const override { return list; }
    Opened open(const Drive& d) const override
    {
        if (d.root == failingRoot)
            return {QString(), QStringLiteral("O dispositivo não está pronto.")};
        return {d.root, QString()};
    }
};

struct Tree {
    QTemporaryDir tmp;
    QString root, a, b, media;
    Tree()
    {
        root = tmp.path();
        a = root + QStringLiteral("/A");
        b = root + QStringLiteral("/B");
        media = root + QStringLiteral("/E");
        QDir(root).mkpath(QStringLiteral("A/pedidos/importados"));
        QDir(root).mkpath(QStringLiteral("A/outra"));
        QDir(root).mkpath(QStringLiteral("B"));
        touch(a + QStringLiteral("/pedidos/PED2.txt"));
        touch(a + QStringLiteral("/pedidos/ped1.txt"));
        touch(a + QStringLiteral("/pedidos/Notas.TXT"));
        touch(a + QStringLiteral("/pedidos/.oculto.txt"));
        touch(b + QStringLiteral("/B1.txt"));
    }
};

struct ListsLocal : ::testing::Test {
    Tree t;
    ScriptedDrives drives;
    FakeDialogs dialogs;
    frmFTP w;
};

} // namespace

TEST_F(ListsLocal, DriveFolderAndFileListsMoveTogether)
{
    drives.list = {{QStringLiteral("A: [DADOS]"), t.a}, {QStringLiteral("E:"), t.media}, {QStringLiteral("B:"), t.b}};
    drives.failingRoot = t.media;
    LocalLists lists(w.localWidgets(), dialogs, drives, t.a + QStringLiteral("/pedidos"));

    // Opens on the start folder and its drive; the file list shows every file, in name order
    // ignoring case, folders left out.
    EXPECT_EQ(lists.path(), t.a + QStringLiteral("/pedidos"));
    EXPECT_EQ(w.drvList->count(), 3);
    EXPECT_EQ(w.drvList->currentIndex(), 0);
    EXPECT_EQ(w.drvList->currentText(), QStringLiteral("A: [DADOS]"));
    EXPECT_EQ(texts(w.filList), (QStringList{".oculto.txt", "Notas.TXT", "ped1.txt", "PED2.txt"}));
    EXPECT_EQ(lists.fileCount(), 4);
    EXPECT_EQ(lists.fileAt(2), QStringLiteral("ped1.txt"));
    EXPECT_EQ(lists.fileAt(9), QString());

    // The folder list: the ancestors from the root down to the open folder, then its subfolders.
    const QStringList tree = folderPaths(w.dirList);
    ASSERT_GE(tree.size(), 3);
    EXPECT_EQ(tree.front(), QStringLiteral("/"));
    EXPECT_EQ(tree[tree.size() - 2], t.a + QStringLiteral("/pedidos"));
    EXPECT_EQ(tree.back(), t.a + QStringLiteral("/pedidos/importados"));
    EXPECT_EQ(w.dirList->currentItem()->data(LocalLists::PathRole).toString(), t.a + QStringLiteral("/pedidos"));
    EXPECT_EQ(w.dirList->currentItem()->text().trimmed(), QStringLiteral("pedidos"));

    // Several names can be selected at once.
    w.filList->item(1)->setSelected(true);
    w.filList->item(3)->setSelected(true);
    EXPECT_TRUE(lists.fileSelected(1));
    EXPECT_FALSE(lists.fileSelected(2));
    EXPECT_TRUE(lists.fileSelected(3));
    EXPECT_FALSE(lists.fileSelected(-1));

    // A drive without a medium: "Drive Error", folder and file lists stay, the drive list
    // keeps showing the drive just chosen.
    const QStringList dirBefore = texts(w.dirList);
    const QStringList filBefore = texts(w.filList);
    w.drvList->setCurrentIndex(1);
    emit w.drvList->activated(1);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(dialogs.messages[0].text, QStringLiteral("O dispositivo não está pronto."));
    EXPECT_EQ(dialogs.messages[0].icon, Icon::Exclamation);
    EXPECT_EQ(dialogs.messages[0].title, QStringLiteral("Drive Error"));
    EXPECT_EQ(lists.path(), t.a + QStringLiteral("/pedidos"));
    EXPECT_EQ(texts(w.dirList), dirBefore);
    EXPECT_EQ(texts(w.filList), filBefore);
    EXPECT_TRUE(lists.fileSelected(1));
    EXPECT_EQ(w.drvList->currentIndex(), 1);

    // A ready drive afterwards moves both lists.
    w.drvList->setCurrentIndex(2);
    emit w.drvList->activated(2);
    EXPECT_EQ(dialogs.messages.size(), 1);
    EXPECT_EQ(lists.path(), t.b);
    EXPECT_EQ(texts(w.filList), QStringList{"B1.txt"});
    EXPECT_EQ(w.dirList->currentItem()->data(LocalLists::PathRole).toString(), t.b);

    // Back on the first drive: the folder last open there.
    w.drvList->setCurrentIndex(0);
    emit w.drvList->activated(0);
    EXPECT_EQ(lists.path(), t.a + QStringLiteral("/pedidos"));
}

TEST_F(ListsLocal, OpeningAFolderEntryMovesTheFileList)
{
    drives.list = {{QStringLiteral("A:"), t.a}};
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    LocalLists lists(w.localWidgets(), dialogs, drives, t.a);
    EXPECT_EQ(texts(w.filList), QStringList());

    // Double-click on a subfolder opens it; the file list follows.
    const int row = static_cast<int>(folderPaths(w.dirList).indexOf(t.a + QStringLiteral("/pedidos")));
    ASSERT_GE(row, 0);
    QListWidgetItem* item = w.dirList->item(row);
    w.dirList->scrollToItem(item);
    const QPoint at = w.dirList->visualItemRect(item).center();
    QTest::mouseClick(w.dirList->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(lists.path(), t.a); // a single click only marks the entry
    QTest::mouseDClick(w.dirList->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(lists.path(), t.a + QStringLiteral("/pedidos"));
    EXPECT_EQ(lists.fileCount(), 4);

    // Activating an ancestor goes up.
    const int up = static_cast<int>(folderPaths(w.dirList).indexOf(t.root));
    ASSERT_GE(up, 0);
    emit w.dirList->itemActivated(w.dirList->item(up));
    EXPECT_EQ(lists.path(), t.root);
    EXPECT_EQ(folderPaths(w.dirList).mid(folderPaths(w.dirList).indexOf(t.root) + 1),
              (QStringList{t.a, t.b}));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(ListsLocal, FileListIsReadOnlyWhenSetOrRefreshed)
{
    LocalLists lists(w.localWidgets(), dialogs, drives, t.b);
    EXPECT_EQ(texts(w.filList), QStringList{"B1.txt"});

    touch(t.b + QStringLiteral("/A0.txt"));
    QFile::remove(t.b + QStringLiteral("/B1.txt"));
    EXPECT_EQ(texts(w.filList), QStringList{"B1.txt"});
    lists.refreshFiles();
    EXPECT_EQ(texts(w.filList), QStringList{"A0.txt"});

    touch(t.b + QStringLiteral("/C.txt"));
    ASSERT_TRUE(lists.setPath(t.b));
    EXPECT_EQ(texts(w.filList), (QStringList{"A0.txt", "C.txt"}));
    EXPECT_TRUE(dialogs.messages.isEmpty());
}

TEST_F(ListsLocal, FolderListPathForm)
{
    drives.list = {{QStringLiteral("/"), QStringLiteral("/")}};
    LocalLists lists(w.localWidgets(), dialogs, drives, t.a);

    // A root keeps its one separator; its tree is the root and its subfolders.
    ASSERT_TRUE(lists.setPath(QStringLiteral("/")));
    EXPECT_EQ(lists.path(), QStringLiteral("/"));
    EXPECT_EQ(w.dirList->item(0)->data(LocalLists::PathRole).toString(), QStringLiteral("/"));
    EXPECT_EQ(w.dirList->currentRow(), 0);
    const QStringList rootTree = folderPaths(w.dirList);
    EXPECT_TRUE(rootTree.contains(QStringLiteral("/tmp"))) << rootTree.join(',').toStdString();
    EXPECT_FALSE(rootTree.contains(QStringLiteral("//tmp")));

    // Elsewhere: absolute, clean, no trailing separator.
    ASSERT_TRUE(lists.setPath(t.a + QStringLiteral("/")));
    EXPECT_EQ(lists.path(), t.a);
    ASSERT_TRUE(lists.setPath(t.a + QStringLiteral("/pedidos/../outra//")));
    EXPECT_EQ(lists.path(), t.a + QStringLiteral("/outra"));
    EXPECT_EQ(lists.filesPath(), lists.path());
}

TEST_F(ListsLocal, UnreadableFolderKeepsTheListsAndSaysWhy)
{
    LocalLists lists(w.localWidgets(), dialogs, drives, t.a + QStringLiteral("/pedidos"));
    const QStringList dirBefore = texts(w.dirList);
    const QStringList filBefore = texts(w.filList);

    // A folder named by a caller that does not exist.
    EXPECT_FALSE(lists.setPath(t.root + QStringLiteral("/sumiu")));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].text.startsWith(QStringLiteral("Não foi possível abrir a pasta ") + t.root + QStringLiteral("/sumiu")));
    EXPECT_TRUE(dialogs.messages[0].text.contains(QStringLiteral("No such file or directory")));
    EXPECT_EQ(dialogs.messages[0].icon, Icon::Exclamation);

    // A subfolder removed after the folder list showed it, then opened by the user.
    const int row = static_cast<int>(folderPaths(w.dirList).indexOf(t.a + QStringLiteral("/pedidos/importados")));
    ASSERT_GE(row, 0);
    ASSERT_TRUE(QDir(t.a + QStringLiteral("/pedidos/importados")).removeRecursively());
    emit w.dirList->itemActivated(w.dirList->item(row));
    EXPECT_EQ(dialogs.messages.size(), 2);
    EXPECT_EQ(lists.path(), t.a + QStringLiteral("/pedidos"));
    EXPECT_EQ(texts(w.dirList), dirBefore);
    EXPECT_EQ(texts(w.filList), filBefore);

    // A file path is not a folder.
    EXPECT_FALSE(lists.setPath(t.b + QStringLiteral("/B1.txt")));
    EXPECT_EQ(lists.path(), t.a + QStringLiteral("/pedidos"));

    // The open folder itself vanishes: the refresh lists nothing rather than names that are
    // no longer there, and says why.
    ASSERT_TRUE(QDir(t.a + QStringLiteral("/pedidos")).removeRecursively());
    lists.refreshFiles();
    EXPECT_EQ(lists.fileCount(), 0);
    EXPECT_EQ(dialogs.messages.size(), 4);
}

TEST(SystemDrives, ListTheRootAndRealVolumesOnly)
{
    SystemDrives drives;
    const QList<IDrives::Drive> list = drives.drives();
    ASSERT_FALSE(list.isEmpty());
    EXPECT_EQ(list.front().root, QStringLiteral("/"));
    for (const IDrives::Drive& d : list) {
        EXPECT_TRUE(d.text.startsWith(d.root)) << d.text.toStdString();
        for (const char* pseudo : {"/proc", "/sys", "/dev"})
            EXPECT_FALSE(d.root.startsWith(QLatin1String(pseudo))) << d.root.toStdString();
        if (d.root != QStringLiteral("/")) {
            EXPECT_NE(QStorageInfo(d.root).fileSystemType(), QByteArray("tmpfs")) << d.root.toStdString();
        }
    }
    QStringList roots;
    for (const IDrives::Drive& d : list)
        roots << d.root;
    EXPECT_EQ(roots.removeDuplicates(), 0);

    const IDrives::Opened root = drives.open(list.front());
    EXPECT_TRUE(root.ok());
    EXPECT_EQ(root.folder, QStringLiteral("/"));
    const IDrives::Opened missing = drives.open({QStringLiteral("X:"), QStringLiteral("/nao/existe/drive")});
    EXPECT_FALSE(missing.ok());
    EXPECT_EQ(missing.error, QStringLiteral("No such file or directory"));
}
