// The two dialog implementations: standard output and error without a display, Qt's boxes (in
// Portuguese) with one.
#include "core/headless_dialogs.h"
#include "gui/qt_dialogs.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTranslator>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>

namespace {

QByteArray contentOf(std::FILE* f)
{
    std::fflush(f);
    std::rewind(f);
    QByteArray all;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        all.append(buf, static_cast<qsizetype>(n));
    return all;
}

// Acts on the next modal box as soon as it is open.
void onNextModal(std::function<void(QWidget*)> act)
{
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* w = QApplication::activeModalWidget()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        }
    });
    timer->start();
}

} // namespace

TEST(HeadlessDialogs, LogLinesOnStandardOutputBoxesAndAlertsOnStandardErrorNothingWaits)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    HeadlessDialogs d(out, err);
    EXPECT_TRUE(d.headless());
    EXPECT_FALSE(d.failureReported());

    d.trace(QStringLiteral("Comando: cd /pedidos"));
    EXPECT_FALSE(d.failureReported());   // a trace line is no failure
    EXPECT_FALSE(d.confirm(QStringLiteral("Apagar?"), QString()));
    EXPECT_EQ(d.input(QStringLiteral("Nome da pasta:"), QStringLiteral("MkDir")), std::nullopt);
    d.alert(QStringLiteral("Atenção: NOTA.csv ficou na pasta local"), Icon::Exclamation);
    EXPECT_FALSE(d.failureReported());   // a warning is no failure either
    d.trace(QStringLiteral("operacao Completa"));
    d.message(QStringLiteral("Erro na aplicação FTP\r\nsegunda linha"), Icon::Critical);
    EXPECT_TRUE(d.failureReported());
    d.message(QStringLiteral("Drive Error"), Icon::Exclamation, QStringLiteral("Disco"));
    d.alert(QStringLiteral("Comando \"recv PED1.txt\" sem sucesso"));

    EXPECT_EQ(contentOf(out), "Comando: cd /pedidos\noperacao Completa\n");
    const QList<QByteArray> lines = contentOf(err).split('\n');
    ASSERT_EQ(lines.size(), 7) << contentOf(err).toStdString();
    EXPECT_TRUE(lines[0].startsWith("[PERGUNTA] Apagar?"));
    EXPECT_TRUE(lines[1].startsWith("[ENTRADA] MkDir: Nome da pasta:"));
    EXPECT_EQ(QString::fromUtf8(lines[2]), QStringLiteral("[AVISO] Atenção: NOTA.csv ficou na pasta local"));
    EXPECT_EQ(QString::fromUtf8(lines[3]), QStringLiteral("[ERRO] Erro na aplicação FTP | segunda linha"));
    EXPECT_EQ(lines[4], "[AVISO] Disco: Drive Error");
    EXPECT_EQ(lines[5], "[ERRO] Comando \"recv PED1.txt\" sem sucesso");
    EXPECT_EQ(lines[6], "");
    std::fclose(out);
    std::fclose(err);

    HeadlessDialogs alerted(std::tmpfile(), std::tmpfile());
    alerted.alert(QStringLiteral("Sem conexão com 127.0.0.1"));
    EXPECT_TRUE(alerted.failureReported());
}

TEST(QtDialogs, BoxesCarryTheApplicationTitleAndAnswerAsClickedOnPortugueseButtons)
{
    QTranslator* portuguese = installQtTranslation();
    ASSERT_NE(portuguese, nullptr) << "qtbase_pt_BR.qm is missing (package qt6-translations-l10n)";
    QtDialogs d;
    EXPECT_FALSE(d.headless());

    QString seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::NoIcon;
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    d.message(QStringLiteral("Erro na aplicação FTP"), Icon::Critical);
    EXPECT_EQ(seenTitle, "pedidosftp");
    EXPECT_EQ(seenIcon, QMessageBox::Critical);
    EXPECT_TRUE(d.failureReported());

    // Yes is the default: Enter answers it.
    onNextModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        seenIcon = box->icon();
        seenTitle = box->windowTitle();
        EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
        EXPECT_EQ(box->button(QMessageBox::Yes)->text(), QStringLiteral("&Sim"));
        EXPECT_EQ(box->button(QMessageBox::No)->text(), QStringLiteral("&Não"));
        box->defaultButton()->click();
    });
    EXPECT_TRUE(d.confirm(QStringLiteral("Apagar PED1.txt?"), QStringLiteral("Apagar")));
    EXPECT_EQ(seenIcon, QMessageBox::Question);
    EXPECT_EQ(seenTitle, "Apagar");
    onNextModal([](QWidget* w) { qobject_cast<QMessageBox*>(w)->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(d.confirm(QStringLiteral("Apagar PED1.txt?"), QString()));

    onNextModal([](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dlg, nullptr);
        const auto* buttons = dlg->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
        dlg->setTextValue(QStringLiteral("nova pasta"));
        dlg->accept();
    });
    EXPECT_EQ(d.input(QStringLiteral("Nome da pasta:"), QString()), std::optional<QString>("nova pasta"));
    onNextModal([](QWidget* w) { qobject_cast<QInputDialog*>(w)->reject(); });
    EXPECT_EQ(d.input(QStringLiteral("Nome da pasta:"), QString()), std::nullopt);
    QCoreApplication::removeTranslator(portuguese);
    delete portuguese;
}
