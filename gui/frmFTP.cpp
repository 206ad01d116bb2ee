#include "gui/frmFTP.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

// The icon lives in a resource of this static library: register it before the first use.
static void initResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(pedidosftp);
        return true;
    }();
    (void)done;
}

namespace {
// A button whose caption wraps onto more lines when it is wider than the button, as the
// narrow "Gravar Configurações" button needs. Its text() is the caption as it stands.
class WrappingButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QStylePainter painter(this);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.text.clear();
        painter.drawControl(QStyle::CE_PushButton, option);
        const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &option, this);
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(area, Qt::AlignCenter | Qt::TextWordWrap | Qt::TextShowMnemonic, text());
    }
};

// Places a control at left, top, width, height given in twips, relative to its container.
template <typename W>
W* place(W* w, const char* name, int left, int top, int width, int height)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(frmFTP::twips(left), frmFTP::twips(top), frmFTP::twips(width), frmFTP::twips(height));
    return w;
}
} // namespace

frmFTP::frmFTP(QWidget* parent)
    : QWidget(parent)
{
    initResources();
    setObjectName(QStringLiteral("frmFTP"));
    setWindowTitle(QStringLiteral("FTP "));
    setWindowIcon(QIcon(QStringLiteral(":/pedidosftp.png")));
    setFixedSize(twips(8415) + 2, twips(7080 + 1215) + 2);

    fraFTP = place(new QGroupBox(QStringLiteral("FTP :"), this), "fraFTP", 1080, 0, 5775, 1575);
    lblAddress = place(new QLabel(QStringLiteral("Endereço :"), fraFTP), "lblAddress", 420, 360, 1140, 240);
    lblUsername = place(new QLabel(QStringLiteral("Usuário:"), fraFTP), "lblUsername", 420, 720, 885, 240);
    lblPassword = place(new QLabel(QStringLiteral("Senha :"), fraFTP), "lblPassword", 420, 1080, 795, 240);
    txtAddress = place(new QLineEdit(fraFTP), "txtAddress", 1620, 360, 3615, 285);
    txtUsername = place(new QLineEdit(fraFTP), "txtUsername", 1620, 720, 3615, 285);
    txtPassword = place(new QLineEdit(fraFTP), "txtPassword", 1620, 1080, 3615, 285);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));

    fraStatus = place(new QGroupBox(QStringLiteral("Status"), this), "fraStatus", 1080, 1560, 5775, 615);
    // The status line keeps the width of its frame: a longer text is cut to it by the session,
    // whole in the tooltip. Plain text: a server's reply is never taken for markup.
    lblStatus = place(new QLabel(QStringLiteral("Pronto"), fraStatus), "lblStatus", 480, 240, 5175, 255);
    lblStatus->setTextFormat(Qt::PlainText);

    cmdConecta = place(new QPushButton(QStringLiteral("&Conectar com o Host Remoto"), this), "cmdConecta", 1080, 2280, 5775, 375);
    Command1 = place(new WrappingButton(QStringLiteral("Gravar Configurações"), this), "Command1", 7080, 1920, 1335, 735);

    fraLocal = place(new QGroupBox(QStringLiteral("Local Host"), this), "fraLocal", 120, 2760, 4215, 4215);
    drvList = place(new QComboBox(fraLocal), "drvList", 120, 360, 1695, 315);
    dirList = place(new QListWidget(fraLocal), "dirList", 120, 840, 1695, 3015);
    filList = place(new QListWidget(fraLocal), "filList", 1920, 360, 2055, 3600);
    filList->setSelectionMode(QAbstractItemView::ExtendedSelection);

    cmdEnvia = place(new QPushButton(QStringLiteral("-->"), this), "cmdEnvia", 4440, 3720, 495, 495);
    cmdRecebe = place(new QPushButton(QStringLiteral("<--"), this), "cmdRecebe", 4440, 4320, 495, 495);

    fraRemote = place(new QGroupBox(QStringLiteral("Host Remoto"), this), "fraRemote", 5040, 2760, 3375, 4215);
    lblRemoteDirectory = place(new QLabel(QStringLiteral("/"), fraRemote), "lblRemoteDirectory", 240, 360, 2895, 240);
    lblRemoteDirectory->setTextFormat(Qt::PlainText); // a folder named "<b>" is shown as named
    lstRemote = place(new QListWidget(fraRemote), "lstRemote", 240, 720, 2895, 2595);
    lstRemote->setSelectionMode(QAbstractItemView::ExtendedSelection);
    cmdMkDir = place(new QPushButton(QStringLiteral("&MkDir"), fraRemote), "cmdMkDir", 240, 3360, 1215, 375);
    cmdDelete = place(new QPushButton(QStringLiteral("&Delete"), fraRemote), "cmdDelete", 240, 3720, 1215, 375);

    txtLog = place(new QPlainTextEdit(this), "txtLog", 0, 7080, 8415, 1215);
    txtLog->setReadOnly(true);
    txtLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    for (QWidget* w : remoteWidgets().connectedOnly())
        w->setEnabled(false);

    // Tab order of the form: txtLog (0), cmdConecta (1), fraFTP (2) ... Command1 (22).
    // Frames and labels take no focus, so the chain runs over the focusable controls only.
    const QList<QWidget*> order = {txtLog, cmdConecta, txtAddress, txtUsername, txtPassword, lstRemote,
                                   drvList, dirList, filList, cmdEnvia, cmdRecebe, cmdMkDir, cmdDelete, Command1};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
}

RemoteWidgets frmFTP::remoteWidgets() const
{
    RemoteWidgets w;
    w.txtAddress = txtAddress;
    w.txtUsername = txtUsername;
    w.txtPassword = txtPassword;
    w.lblStatus = lblStatus;
    w.lblRemoteDirectory = lblRemoteDirectory;
    w.lstRemote = lstRemote;
    w.cmdConecta = cmdConecta;
    w.cmdEnvia = cmdEnvia;
    w.cmdRecebe = cmdRecebe;
    w.cmdMkDir = cmdMkDir;
    w.cmdDelete = cmdDelete;
    w.txtLog = txtLog;
    return w;
}

LocalWidgets frmFTP::localWidgets() const
{
    LocalWidgets w;
    w.drvList = drvList;
    w.dirList = dirList;
    w.filList = filList;
    return w;
}

QList<QWidget*> RemoteWidgets::connectedOnly() const
{
    return {cmdEnvia, cmdRecebe, cmdMkDir, cmdDelete, lstRemote};
}
