#pragma once
// The controls of the window frmFTP that the remote view and the local lists work on; the
// window owns them.
#include <QList>

class QLabel;
class QWidget;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QComboBox;

struct RemoteWidgets {
    QLineEdit* txtAddress = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblRemoteDirectory = nullptr;
    QListWidget* lstRemote = nullptr;   // several entries selectable
    QPushButton* cmdConecta = nullptr;
    QPushButton* cmdEnvia = nullptr;
    QPushButton* cmdRecebe = nullptr;
    QPushButton* cmdMkDir = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPlainTextEdit* txtLog = nullptr;   // read-only, append only

    // The controls enabled only while connected: the four command buttons and the list.
    QList<QWidget*> connectedOnly() const;
};

struct LocalWidgets {
    QComboBox* drvList = nullptr;       // the machine's drives
    QListWidget* dirList = nullptr;     // folder tree of the open folder
    QListWidget* filList = nullptr;     // its files, several selectable
};
