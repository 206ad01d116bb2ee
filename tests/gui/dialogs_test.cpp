// The two dialog implementations: standard output and error without a display, Qt's boxes (in
// Portuguese) with one.
#include "core/headless_dialogs.h"
#include "gui/qt_dialogs.h"
#include "support/test_util.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>

#include <cstdio>
#include <functional>

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
// Answers the next modal box once it is open; what `act` returns is seen.
void onNextModal(QString* seen, std::function<QString(QWidget*)> act)
{
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [=] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->deleteLater();
            timer->stop();
            *seen = act(w);
        }
    });
    timer->start(10);
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
    EXPECT_FALSE(d.failureReported()); // neither a log line nor a warning is a failure
    d.message("Erro na aplicação FTP\r\nsegunda linha", Icon::Critical);
    EXPECT_TRUE(d.failureReported());
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
    onNextModal(&seen, [](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        const QString texts = box->windowTitle() + " " + box->button(QMessageBox::Yes)->text() + " " + box->button(QMessageBox::No)->text();
        box->defaultButton()->click();
        return texts;
    });
    EXPECT_TRUE(d.confirm("Apagar PED1.txt?", QString()));
    EXPECT_EQ(seen, "pedidosftp &Sim &Não");

    onNextModal(&seen, [](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        dlg->setTextValue("nova pasta");
        const QString cancel = dlg->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
        dlg->accept();
        return cancel;
    });
    EXPECT_EQ(d.input("Nome da pasta:", QString()), std::optional<QString>("nova pasta"));
    EXPECT_EQ(seen, "Cancelar");
    QCoreApplication::removeTranslator(portuguese);
    delete portuguese;
}
