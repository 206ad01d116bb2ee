#include "gui/remote_view.h"

#include "session/ftp_session.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>

namespace {
// The window is created with "&Conectar com o Host Remoto" (frmFTP); after a disconnect the
// button reads "&Conectar ao Host Remoto". Both begin with "&Con", which is how a click tells
// connecting from disconnecting.
const QString kConnectedCaption = QStringLiteral("D&esconectar do Host Remoto");
const QString kDisconnectedCaption = QStringLiteral("&Conectar ao Host Remoto");
} // namespace

RemoteView::RemoteView(const RemoteWidgets& widgets, FtpSession& session, std::function<QString()> readFolderSetting,
                       QObject* parent)
    : QObject(parent), w_(widgets), session_(session), readFolderSetting_(std::move(readFolderSetting))
{
    session_.setAddress(w_.txtAddress->text());
    session_.setUserName(w_.txtUsername->text());
    session_.setPassword(w_.txtPassword->text());
    connect(w_.txtAddress, &QLineEdit::textChanged, this, [this](const QString& t) { session_.setAddress(t); });
    connect(w_.txtUsername, &QLineEdit::textChanged, this, [this](const QString& t) { session_.setUserName(t); });
    connect(w_.txtPassword, &QLineEdit::textChanged, this, [this](const QString& t) { session_.setPassword(t); });

    connect(&session_, &FtpSession::logLine, w_.txtLog, &QPlainTextEdit::appendPlainText);
    connect(&session_, &FtpSession::statusChanged, this, &RemoteView::showStatus);
    connect(&session_, &FtpSession::notified, this, &RemoteView::showNewestLogLine);
    connect(&session_, &FtpSession::connectedChanged, this, &RemoteView::showConnected);
    connect(&session_, &FtpSession::addressMissing, w_.txtAddress, [this] { w_.txtAddress->setFocus(); });

    RemoteFolder& remote = session_.remote();
    connect(&remote, &RemoteFolder::entriesChanged, this, &RemoteView::showEntries);
    connect(&remote, &RemoteFolder::selectionChanged, this, [this](int index, bool selected) {
        if (QListWidgetItem* item = w_.lstRemote->item(index)) {
            showingSelection_ = true;
            item->setSelected(selected);
            showingSelection_ = false;
        }
    });
    connect(&remote, &RemoteFolder::pathChanged, this, [this](const QString& path) {
        w_.lblRemoteDirectory->setText(path);
        w_.lblRemoteDirectory->adjustSize();
    });
    // What the user selects becomes the folder's selection marks, row by row.
    connect(w_.lstRemote->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (showingSelection_)
                    return;
                for (const QModelIndex& i : selected.indexes())
                    session_.remote().setSelected(i.row(), true);
                for (const QModelIndex& i : deselected.indexes())
                    session_.remote().setSelected(i.row(), false);
            });
    w_.lblRemoteDirectory->setText(remote.path());

    connect(w_.cmdConecta, &QPushButton::clicked, this, [this] { cmdConecta_Click(); });
    connect(w_.lstRemote, &QListWidget::itemDoubleClicked, this, [this] { lstRemote_DblClick(); });
}

void RemoteView::cmdConecta_Click()
{
    if (session_.connected()) {
        session_.DESCONECTA();
        return;
    }
    session_.CONECTA();
    // The configured folder is entered whatever the connect achieved.
    session_.lastFolderCommand = FtpCommand{QStringLiteral("cd"), {readFolderSetting_ ? readFolderSetting_() : QString()}};
    session_.EXECUTA_COMANDO(session_.lastFolderCommand, true);
}

void RemoteView::lstRemote_DblClick()
{
    const QListWidgetItem* item = w_.lstRemote->currentItem();
    if (!item)
        return;
    const QString entry = item->text();
    if (!entry.endsWith(QLatin1Char('/')))
        return;
    session_.lastFolderCommand = FtpCommand{QStringLiteral("cd"), {entry.chopped(1)}};
    session_.EXECUTA_COMANDO(session_.lastFolderCommand, true);
}

QString RemoteView::logText() const
{
    return w_.txtLog->toPlainText();
}

void RemoteView::showStatus(const QString& status, bool fixedText)
{
    QLabel* label = w_.lblStatus;
    if (fixedText) {
        // The fixed texts fit the line: shown as they are, never measured.
        label->setText(status);
        if (!label->toolTip().isEmpty())
            label->setToolTip(QString());
        return;
    }
    // A report of any length stays inside the frame, cut with "…"; the whole text is the tooltip
    // (and a line of the log).
    const QString oneLine = QString(status).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    label->setText(label->fontMetrics().elidedText(oneLine, Qt::ElideRight, label->contentsRect().width()));
    label->setToolTip(status);
}

void RemoteView::showNewestLogLine()
{
    // The newest line in view, wherever the user left the caret or the scroll bar. Both calls
    // lay out only the lines around the end, however long the log is.
    QTextCursor caret = w_.txtLog->textCursor();
    if (!caret.atEnd() || caret.hasSelection()) {
        caret.movePosition(QTextCursor::End);
        w_.txtLog->setTextCursor(caret); // scrolls it into view
    } else {
        w_.txtLog->ensureCursorVisible();
    }
}

void RemoteView::showEntries()
{
    showingSelection_ = true;
    w_.lstRemote->clear();
    w_.lstRemote->addItems(session_.remote().entries());
    showingSelection_ = false;
}

void RemoteView::showConnected(bool connected)
{
    for (QWidget* c : w_.connectedOnly())
        c->setEnabled(connected);
    w_.cmdConecta->setText(connected ? kConnectedCaption : kDisconnectedCaption);
}
