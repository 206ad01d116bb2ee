#include "gui/qt_dialogs.h"

#include <QCoreApplication>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

namespace {
QString titleOrApplication(const QString& title)
{
    return title.isEmpty() ? QString::fromLatin1(kApplicationTitle) : title;
}

QMessageBox::Icon boxIcon(Icon icon)
{
    switch (icon) {
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Information: return QMessageBox::Information;
    case Icon::None: break;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QTranslator* installQtTranslation()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))
        || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return nullptr;
    }
    return translator;
}

void QtDialogs::message(const QString& text, Icon icon, const QString& title)
{
    QMessageBox box(boxIcon(icon), titleOrApplication(title), text, QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::confirm(const QString& text, const QString& title)
{
    QMessageBox box(QMessageBox::Question, titleOrApplication(title), text,
                    QMessageBox::Yes | QMessageBox::No, parent_);
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> QtDialogs::input(const QString& prompt, const QString& title)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent_, titleOrApplication(title), prompt,
                                                 QLineEdit::Normal, QString(), &ok);
    if (!ok)
        return std::nullopt;
    return answer;
}

void QtDialogs::trace(const QString& line)
{
    // With the window, its log and status line show the progress.
    if (text_)
        text_->trace(line);
}

void QtDialogs::alert(const QString& text, Icon icon)
{
    // With the window, its log shows the alert.
    if (text_)
        text_->alert(text, icon);
}
