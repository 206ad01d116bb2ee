// The two dialog implementations: standard output and error without a display, Qt's boxes (in
// Portuguese) with one.
#include "core/headless_dialogs.h"
#include "gui/qt_dialogs.h"
#include "support/test_util.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace {
QByteArray contentOf(std::FILE* f)
{
    std::rewind(f);
    QFile file;
    file.open(f, QIODevice::ReadOnly);
    const QByteArray all = file.readAll();
    std::fclose(f);
    return all;
}
} // namespace

TEST(HeadlessDialogs, LogOnStandardOutputBoxesAndAlertsOnStandardErrorNothingWaits)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    HeadlessDialogs d(out, err);
    d.trace("Comando: cd /pedidos");
    EXPECT_FALSE(d.confirm("Apagar?", QString()));
    EXPECT_EQ(d.input("Nome da pasta:", "MkDir"), std::nullopt);
    d.alert("Atenção: NOTA.csv ficou na pasta local", Icon::Exclamation);
    d.message("Erro na aplicação FTP\r\nsegunda linha", Icon::Critical);
    EXPECT_EQ(contentOf(out), "Comando: cd /pedidos\n");
    EXPECT_EQ(QString::fromUtf8(contentOf(err)), "[PERGUNTA] Apagar? -> Não (sem tela para responder)\n"
                                                 "[ENTRADA] MkDir: Nome da pasta: -> sem resposta (sem tela para responder)\n"
                                                 "[AVISO] Atenção: NOTA.csv ficou na pasta local\n"
                                                 "[ERRO] Erro na aplicação FTP | segunda linha\n");
}

// The boxes carry the application's title; Yes is the default, so Enter answers it.
TEST(QtDialogs, BoxesCarryTheApplicationTitleAndYesIsTheDefault)
{
    QTranslator* portuguese = installQtTranslation();
    ASSERT_NE(portuguese, nullptr) << "qtbase_pt_BR.qm is missing (package qt6-translations-l10n)";
    QtDialogs d;
    QString seen;
    QTimer::singleShot(0, [&] { // the box is open by then
        // A missing box or button fails the test instead of crashing it.
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            seen = "<no message box>";
            return;
        }
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        QAbstractButton* no = box->button(QMessageBox::No);
        if (!yes || !no || box->defaultButton() != yes) {
            seen = "<buttons: " + QString::number(box->buttons().size()) + ">";
            box->reject();
            return;
        }
        seen = box->windowTitle() + " " + yes->text() + " " + no->text();
        box->defaultButton()->click();
    });
    EXPECT_TRUE(d.confirm("Apagar PED1.txt?", QString()));
    EXPECT_EQ(seen, "pedidosftp &Sim &Não");
    QCoreApplication::removeTranslator(portuguese);
    delete portuguese;
}
