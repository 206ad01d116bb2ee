// Upload, remote delete and make-folder buttons.
#include "transfers_rig.h"

#include <QPushButton>

namespace {
const QStringList kListing{"dir", "pwd"};
}

TEST(TransfersUpload, SendsTheSelectedFilesThenListsOnce)
{
    TransferRig rig;
    for (const char* name : {"A.txt", "B.txt", "C.txt"})
        writeFile(rig.at(QString::fromLatin1(name)), "x");
    rig.reopen();
    ASSERT_EQ(rig.localFiles(), (QStringList{"A.txt", "B.txt", "C.txt"}));
    rig.w.filList->item(0)->setSelected(true);
    rig.w.filList->item(2)->setSelected(true);
    rig.w.lblRemoteDirectory->setText(QStringLiteral("/pedidos"));
    writeFile(rig.at("D.txt"), "x"); // appears meanwhile: shown after the upload

    rig.w.cmdEnvia->setEnabled(true);
    rig.w.cmdEnvia->click();
    EXPECT_EQ(rig.sent(), QStringList({"send " + rig.at("A.txt") + " /pedidos/A.txt",
                                       "send " + rig.at("C.txt") + " /pedidos/C.txt"})
                              + kListing);
    EXPECT_EQ(rig.control.executed[0].args, (QStringList{rig.at("A.txt"), "/pedidos/A.txt"}));
    // Nothing deleted or unselected; the remote side shows the new listing.
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../", "novo.txt"}));
    EXPECT_EQ(rig.localFiles(), (QStringList{"A.txt", "B.txt", "C.txt", "D.txt"}));
    EXPECT_TRUE(QFile::exists(rig.at("A.txt")));

    // A label ending in "/" gives a doubled slash; nothing selected sends only the listing.
    rig.w.filList->item(1)->setSelected(true);
    rig.w.lblRemoteDirectory->setText(QStringLiteral("/pedidos/"));
    rig.control.executed.clear();
    rig.transfers->cmdEnvia_Click();
    EXPECT_EQ(rig.sent(), QStringList{"send " + rig.at("B.txt") + " /pedidos//B.txt"} + kListing);

    rig.w.filList->clearSelection();
    rig.control.executed.clear();
    rig.transfers->cmdEnvia_Click();
    EXPECT_EQ(rig.sent(), kListing);
    EXPECT_TRUE(rig.dialogs.messages.isEmpty());
}

TEST(TransfersUpload, FailedListingAfterUploadIsShownAndTheClickGoesOn)
{
    TransferRig rig;
    writeFile(rig.at("A.txt"), "x");
    rig.reopen();
    rig.w.filList->item(0)->setSelected(true);
    writeFile(rig.at("B.txt"), "x");
    rig.control.failChunks = true;

    rig.transfers->cmdEnvia_Click();
    EXPECT_EQ(rig.sent(), (QStringList{"send " + rig.at("A.txt") + " //A.txt", "dir"}));
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_EQ(rig.dialogs.messages[0].text,
              QStringLiteral("Não foi possivel efetuar operacao com : ftp.loja.com.br\r\n erro : 35753"));
    EXPECT_EQ(rig.dialogs.messages[0].icon, Icon::None);
    // The file list is still read again.
    EXPECT_EQ(rig.localFiles(), (QStringList{"A.txt", "B.txt"}));
}

TEST(TransfersDelete, AsksThenRemovesTheSelectedEntries)
{
    TransferRig rig;
    // No: nothing sent, nothing refreshed.
    rig.showRemote({"../", "old/", "a.txt", "b.txt"});
    rig.w.lstRemote->item(1)->setSelected(true);
    rig.w.lstRemote->item(2)->setSelected(true);
    rig.dialogs.confirmAnswer = false;
    rig.w.cmdDelete->setEnabled(true);
    rig.w.cmdDelete->click();
    EXPECT_TRUE(rig.control.executed.isEmpty());
    EXPECT_EQ(rig.dialogs.confirmations, QStringList{"Confirma a operação ?"});
    EXPECT_EQ(rig.dialogs.titles, QStringList{"Delete"});
    EXPECT_EQ(rig.remoteEntries().size(), 4);

    // Yes: a folder is removed with rmdir, a file with delete, then one listing.
    rig.dialogs.confirmAnswer = true;
    rig.w.cmdDelete->click();
    EXPECT_EQ(rig.sent(), QStringList({"rmdir old", "delete a.txt"}) + kListing);
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../", "novo.txt"}));

    // Position 0 is handled like any other; a refused delete does not stop the walk.
    rig.showRemote({"x.txt", "y.txt"}, true);
    FakeTransferControl::Reply refused;
    refused.ok = false;
    rig.control.script(QStringLiteral("delete x.txt"), refused);
    rig.control.executed.clear();
    rig.transfers->cmdDelete_Click();
    EXPECT_EQ(rig.sent(), QStringList({"delete x.txt", "delete y.txt"}) + kListing);

    // Yes with nothing selected: only the listing.
    rig.w.lstRemote->clearSelection();
    rig.control.executed.clear();
    rig.transfers->cmdDelete_Click();
    EXPECT_EQ(rig.sent(), kListing);

    // A listing that cannot be read is reported and the program goes on.
    rig.control.failChunks = true;
    rig.control.executed.clear();
    rig.transfers->cmdDelete_Click();
    EXPECT_EQ(rig.sent(), QStringList{"dir"});
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_TRUE(rig.dialogs.messages[0].text.endsWith(QStringLiteral(" erro : 35753")));
}

TEST(TransfersMkDir, SendsTheNameAsTypedOrNothing)
{
    TransferRig rig;
    rig.showRemote({"../", "a.txt"});

    // Cancelled, or an empty answer: nothing sent, no listing.
    rig.dialogs.inputAnswer = std::nullopt;
    rig.w.cmdMkDir->setEnabled(true);
    rig.w.cmdMkDir->click();
    rig.dialogs.inputAnswer = QString();
    rig.transfers->cmdMkDir_Click();
    EXPECT_TRUE(rig.control.executed.isEmpty());
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../", "a.txt"}));
    EXPECT_EQ(rig.dialogs.inputs, (QStringList{"Informe o nome da pasta", "Informe o nome da pasta"}));
    EXPECT_EQ(rig.dialogs.titles.front(), QStringLiteral("Cria Diretório"));

    // Blanks only are a name: sent untrimmed, then the folder is listed.
    rig.dialogs.inputAnswer = QStringLiteral("  ");
    rig.transfers->cmdMkDir_Click();
    EXPECT_EQ(rig.sent(), QStringList{"mkdir   "} + kListing);
    EXPECT_EQ(rig.control.executed[0].args, QStringList{"  "});

    rig.control.executed.clear();
    rig.dialogs.inputAnswer = QStringLiteral("Pedidos Web");
    rig.transfers->cmdMkDir_Click();
    EXPECT_EQ(rig.sent(), QStringList{"mkdir Pedidos Web"} + kListing);
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../", "novo.txt"}));
}
