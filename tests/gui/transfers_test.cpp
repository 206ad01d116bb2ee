// The window's transfer buttons on a scripted control: the download button runs the walk over
// the list as shown; upload, delete and make-folder send their commands, then list once.
#include "window_rig.h"

// The download button fetches from position 1 on whatever the selection, clears the marks in
// the list and shows the files it kept.
TEST(TransfersButtons, DownloadRunsTheWalkOverTheList)
{
    WindowRig rig;
    rig.session().remote().setEntries({"../", "PED1.txt", "PED2.txt"});
    rig.control.listed({"../", "PED1.txt", "PED2.txt"});
    for (int i = 0; i < 3; ++i)
        rig.w().lstRemote->item(i)->setSelected(true);
    rig.w().cmdRecebe->setEnabled(true);
    rig.w().cmdRecebe->click();
    EXPECT_EQ(rig.sent(), (QStringList{"recv PED1.txt " + rig.at("PED1.txt.part"), "recv PED2.txt " + rig.at("PED2.txt.part"),
                                       "dir", "delete PED1.txt", "delete PED2.txt"}));
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../*", "PED1.txt", "PED2.txt"}));
    EXPECT_EQ(rig.w().filList->count(), 2);
}

// Upload sends the selected files to the folder of the label (one ending in "/" gives a doubled
// slash); delete asks first, then removes a folder with rmdir, a file with delete, position 0
// like any other, going on after a refusal; make-folder sends the name as typed, blanks too, and
// nothing when cancelled or empty. Each ends with one listing, whose failure is reported.
TEST(TransfersButtons, EachSendsItsCommandsThenListsOnce)
{
    WindowRig rig;
    for (const char* name : {"A.txt", "B.txt", "C.txt"})
        writeFile(rig.at(name), "x");
    rig.app->localLists().refreshFiles();
    rig.w().filList->item(0)->setSelected(true);
    rig.w().filList->item(2)->setSelected(true);
    rig.session().remote().setPath("/pedidos/"); // a folder named with its "/": one separator before the name
    writeFile(rig.at("D.txt"), "x"); // appears meanwhile: shown after the upload
    for (QPushButton* b : {rig.w().cmdEnvia, rig.w().cmdDelete, rig.w().cmdMkDir})
        b->setEnabled(true);
    rig.w().cmdEnvia->click();
    EXPECT_EQ(rig.control.executed.value(1).args, (QStringList{rig.at("C.txt"), "/pedidos/C.txt"}));
    EXPECT_EQ(rig.w().filList->count(), 4);

    rig.session().remote().setEntries({"old/", "a.txt", "b.txt"});
    rig.w().lstRemote->item(0)->setSelected(true);
    rig.w().lstRemote->item(1)->setSelected(true);
    rig.w().cmdDelete->click(); // answered no
    EXPECT_EQ(rig.dialogs.confirmations, QStringList{"Confirma a operação ?"});
    rig.dialogs.confirmAnswer = true;
    rig.control.script("rmdir old", FakeTransferControl::refusal());
    rig.w().cmdDelete->click();
    EXPECT_EQ(rig.remoteEntries(), (QStringList{"../", "novo.txt"}));

    rig.w().cmdMkDir->click(); // cancelled
    rig.dialogs.inputAnswer = QString();
    rig.w().cmdMkDir->click();
    rig.dialogs.inputAnswer = QStringLiteral("  ");
    rig.control.failChunks = 35753; // the listing's answer cannot be read
    rig.w().cmdMkDir->click();
    EXPECT_EQ(rig.dialogs.inputs.size(), 3);
    EXPECT_EQ(rig.control.executed.value(8).args, QStringList{"  "});
    EXPECT_EQ(rig.sent(), QStringList({"send " + rig.at("A.txt") + " /pedidos/A.txt", "send " + rig.at("C.txt") + " /pedidos/C.txt",
                                       "dir", "pwd", "rmdir old", "delete a.txt", "dir", "pwd", "mkdir   ", "dir"}));
    ASSERT_EQ(rig.dialogs.messages.size(), 1);
    EXPECT_EQ(rig.dialogs.messages[0].text, "Não foi possivel efetuar operacao com : ftp.loja.com.br\r\n erro : 35753");
}
