#pragma once
// The program's one window: a plain FTP client whose controls the FTP side and the local lists
// work on. Positions and sizes are given in twips (15 twips = 1 pixel).
#include "gui/remote_widgets.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QComboBox;

class frmFTP : public QWidget {
    Q_OBJECT
public:
    explicit frmFTP(QWidget* parent = nullptr);

    RemoteWidgets remoteWidgets() const;
    LocalWidgets localWidgets() const;

    // Controls, named as on the form.
    QGroupBox* fraFTP = nullptr;
    QLabel* lblAddress = nullptr;
    QLabel* lblUsername = nullptr;
    QLabel* lblPassword = nullptr;
    QLineEdit* txtAddress = nullptr;
    QLineEdit* txtUsername = nullptr;
    QLineEdit* txtPassword = nullptr;
    QGroupBox* fraStatus = nullptr;
    QLabel* lblStatus = nullptr;
    QPushButton* cmdConecta = nullptr;
    QPushButton* Command1 = nullptr;
    QGroupBox* fraLocal = nullptr;
    QComboBox* drvList = nullptr;
    QListWidget* dirList = nullptr;
    QListWidget* filList = nullptr;
    QPushButton* cmdEnvia = nullptr;
    QPushButton* cmdRecebe = nullptr;
    QGroupBox* fraRemote = nullptr;
    QLabel* lblRemoteDirectory = nullptr;
    QListWidget* lstRemote = nullptr;
    QPushButton* cmdMkDir = nullptr;
    QPushButton* cmdDelete = nullptr;
    QPlainTextEdit* txtLog = nullptr;

    // Twips of the form to pixels.
    static constexpr int twips(int t) { return t / 15; }
};
