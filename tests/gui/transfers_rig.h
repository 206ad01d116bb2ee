#pragma once
// The real window with its FTP session on a scripted transfer control, the local lists on a
// temporary folder and the transfers wired to the buttons.
#include "gui/frmFTP.h"
#include "gui/local_lists.h"
#include "gui/ftp_session.h"
#include "gui/transfers.h"
#include "support/fake_dialogs.h"
#include "support/fake_transfer_control.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <chrono>
#include <memory>
#include <ostream>

static inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

// Dialogs double that also keeps the titles of the questions and input boxes.
struct TitledDialogs : FakeDialogs {
    QStringList titles;
    bool confirm(const QString& text, const QString& title) override
    {
        titles << title;
        return FakeDialogs::confirm(text, title);
    }
    std::optional<QString> input(const QString& prompt, const QString& title) override
    {
        titles << title;
        return FakeDialogs::input(prompt, title);
    }
};

// A control whose answers cannot be read: the listing itself fails, not its commands.
struct UnreadableAnswerControl : FakeTransferControl {
    bool failChunks = false;
    QString GetChunk(int size) override
    {
        if (failChunks)
            throw TransferError(35753, QStringLiteral("resposta ilegível"));
        return FakeTransferControl::GetChunk(size);
    }
};

inline void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(content);
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<ausente>");
}

struct TransferRig {
    QTemporaryDir tmp;
    QString folder = tmp.path();
    frmFTP w;
    UnreadableAnswerControl control;
    TitledDialogs dialogs;
    SystemDrives drives;
    FtpSession session{w.remoteWidgets(), control, dialogs, [] { return QStringLiteral("/pedidos"); }};
    std::unique_ptr<LocalLists> local;
    std::unique_ptr<Transfers> transfers;

    TransferRig()
    {
        w.txtAddress->setText(QStringLiteral("ftp.loja.com.br"));
        // Every "recv" that succeeds leaves the server's text at the local path, as the
        // adapter does once the download is complete.
        FakeTransferControl::Reply recv;
        recv.effect = [](const FtpCommand& c) {
            QFile f(c.args.value(1));
            if (f.open(QIODevice::WriteOnly))
                f.write(content(c.args.value(0)));
        };
        control.script(QStringLiteral("recv"), recv);
        FakeTransferControl::Reply dir;
        dir.answer = QStringLiteral("./\r\n../\r\nnovo.txt\r\n");
        control.script(QStringLiteral("dir"), dir);
        FakeTransferControl::Reply pwd;
        pwd.answer = QStringLiteral("/pedidos");
        control.script(QStringLiteral("pwd"), pwd);
        reopen();
    }

    // (Re)creates the lists on the folder, e.g. after files were put there.
    void reopen()
    {
        transfers.reset();
        local = std::make_unique<LocalLists>(w.localWidgets(), dialogs, drives, folder);
        transfers = std::make_unique<Transfers>(session, *local);
    }

    // The remote list as a listing left it, and the control's listing behind it: each file
    // with the size of what "recv" writes for it, listed long enough ago for the walk not to wait.
    void showRemote(const QStringList& entries, bool selectAll = false)
    {
        w.lstRemote->clear();
        w.lstRemote->addItems(entries);
        for (int i = 0; selectAll && i < w.lstRemote->count(); ++i)
            w.lstRemote->item(i)->setSelected(true);
        control.listing = RemoteListing{};
        control.listing.listedAt = std::chrono::steady_clock::now() - std::chrono::seconds(2);
        for (const QString& e : entries) {
            if (!e.endsWith(QLatin1Char('/')))
                control.listing.sizes.insert(e, content(e).size());
        }
    }

    // What "recv" writes for a remote file.
    static QByteArray content(const QString& name) { return "pedido " + name.toUtf8(); }

    QStringList sent() const
    {
        QStringList out;
        for (const FtpCommand& c : control.executed)
            out << c.text();
        return out;
    }

    QString at(const QString& name) const { return folder + QLatin1Char('/') + name; }
    // The command that fetches `name` into its ".part", and those of a whole walk over `names`
    // that all arrive unchanged.
    QString recv(const QString& name) const { return "recv " + name + " " + at(name) + ".part"; }
    QStringList walk(const QStringList& names) const
    {
        QStringList out;
        for (const QString& n : names)
            out << recv(n);
        out << QStringLiteral("dir");
        for (const QString& n : names)
            out << "delete " + n;
        return out;
    }

    QStringList localFiles() const
    {
        QStringList out;
        for (int i = 0; i < local->fileCount(); ++i)
            out << local->fileAt(i);
        return out;
    }

    QStringList remoteEntries() const
    {
        QStringList out;
        for (int i = 0; i < w.lstRemote->count(); ++i)
            out << w.lstRemote->item(i)->text();
        return out;
    }

    int selectedRemote() const { return static_cast<int>(w.lstRemote->selectedItems().size()); }
};
