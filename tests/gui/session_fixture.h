#pragma once
// The real window offscreen with a session on a scripted transfer control.
#include "gui/frmFTP.h"
#include "gui/ftp_session.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

// Readable failure output for commands.
inline std::ostream& operator<<(std::ostream& os, const FtpCommand& c) { return os << "FtpCommand(" << c.text().toStdString() << ')'; }

template <typename Control = FakeTransferControl>
struct SessionTest : ::testing::Test {
    frmFTP w;
    Control control;
    FakeDialogs dialogs;
    QString pastas = QStringLiteral("pedidos");
    std::unique_ptr<FtpSession> session;

    SessionTest()
    {
        session = std::make_unique<FtpSession>(w.remoteWidgets(), control, dialogs, [this] { return pastas; });
    }
    ~SessionTest() override { session.reset(); }

    QStringList executedTexts() const
    {
        QStringList t;
        for (const FtpCommand& c : control.executed)
            t << c.text();
        return t;
    }
    QStringList logLines() const { return session->logText().split(QLatin1Char('\n')); }
    QStringList remoteEntries() const
    {
        QStringList t;
        for (int i = 0; i < w.lstRemote->count(); ++i)
            t << w.lstRemote->item(i)->text();
        return t;
    }
    // The five controls that follow the connected state.
    std::vector<bool> fiveEnabled() const
    {
        return {w.cmdEnvia->isEnabled(), w.cmdRecebe->isEnabled(), w.cmdMkDir->isEnabled(),
                w.cmdDelete->isEnabled(), w.lstRemote->isEnabled()};
    }
    static FakeTransferControl::Reply answer(const QString& text)
    {
        FakeTransferControl::Reply r;
        r.answer = text;
        return r;
    }
};
