// The two dialog implementations: standard error without a display, Qt's boxes with one.
#include "core/headless_dialogs.h"
#include "gui/qt_dialogs.h"

#include <QApplication>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
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

TEST(HeadlessDialogs, EveryBoxIsOneLineOnStandardErrorAndNothingWaits)
{
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    HeadlessDialogs d(out);
    EXPECT_TRUE(d.headless());
    EXPECT_FALSE(d.failureReported());

    d.trace(QStringLiteral("Comando: cd /pedidos"));
    EXPECT_FALSE(d.failureReported());   // a trace line is no failure
    EXPECT_FALSE(d.confirm(QStringLiteral("Apagar?"), QString()));
    EXPECT_EQ(d.input(QStringLiteral("Nome da pasta:"), QStringLiteral("MkDir")), std::nullopt);
    EXPECT_FALSE(d.failureReported());
    d.message(QStringLiteral("Erro na aplicação FTP\r\nsegunda linha"), Icon::Critical);
    EXPECT_TRUE(d.failureReported());
    d.message(QStringLiteral("Drive Error"), Icon::Exclamation, QStringLiteral("Disco"));

    const QList<QByteArray> lines = contentOf(out).split('\n');
    ASSERT_EQ(lines.size(), 6) << contentOf(out).toStdString();
    EXPECT_EQ(lines[0], "Comando: cd /pedidos");
    EXPECT_TRUE(lines[1].startsWith("[PERGUNTA] Apagar?"));
    EXPECT_TRUE(lines[2].startsWith("[ENTRADA] MkDir: Nome da pasta:"));
    EXPECT_EQ(QString::fromUtf8(lines[3]), QStringLiteral("[ERRO] Erro na aplicação FTP | segunda linha"));
    EXPECT_EQ(lines[4], "[AVISO] Disco: Drive Error");
    EXPECT_EQ(lines[5], "");
    std::fclose(out);

    HeadlessDialogs quiet(std::tmpfile());
    quiet.markFailure();
    EXPECT_TRUE(quiet.failureReported());
}

TEST(QtDialogs, BoxesCarryTheApplicationTitleAndAnswerAsClicked)
{
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
        dlg->setTextValue(QStringLiteral("nova pasta"));
        dlg->accept();
    });
    EXPECT_EQ(d.input(QStringLiteral("Nome da pasta:"), QString()), std::optional<QString>("nova pasta"));
    onNextModal([](QWidget* w) { qobject_cast<QInputDialog*>(w)->reject(); });
    EXPECT_EQ(d.input(QStringLiteral("Nome da pasta:"), QString()), std::nullopt);
}
