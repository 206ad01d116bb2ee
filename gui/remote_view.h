#pragma once
// The window's remote side bound to the FTP session: the log box, the status line, the remote
// list and folder label, the connected state of the buttons, and the address and login boxes
// the session connects with. The connect button and the double-click on the list are handled
// here; everything they do goes through the session.
#include "gui/remote_widgets.h"

#include <QObject>
#include <QString>
#include <functional>

class FtpSession;

class RemoteView : public QObject {
    Q_OBJECT
public:
    // `readFolderSetting` reads "PASTAS" of ftp.ini when the connect button is clicked. Widgets
    // and session must outlive the view.
    RemoteView(const RemoteWidgets& widgets, FtpSession& session, std::function<QString()> readFolderSetting,
               QObject* parent = nullptr);

    // Connect/disconnect toggle: connects and enters the configured folder (whatever the
    // connect achieved), or disconnects.
    void cmdConecta_Click();

    // Double-click on the remote list: a folder entry (ending in "/") is entered and listed.
    void lstRemote_DblClick();

    // The log as plain text, lines separated by "\n".
    QString logText() const;

private:
    void showStatus(const QString& status, bool fixedText);
    void showNewestLogLine();
    void showEntries();
    void showConnected(bool connected);

    RemoteWidgets w_;
    FtpSession& session_;
    std::function<QString()> readFolderSetting_;
    // Set while the list shows the session's selection marks, so that the list's own
    // selection signals are not sent back.
    bool showingSelection_ = false;
};
