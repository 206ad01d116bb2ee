#pragma once
// The program's dialogs with a display: Qt's modal boxes, owned by the window.
#include "core/dialogs.h"

class QTranslator;
class QWidget;

// Loads Qt's own Brazilian Portuguese texts (qtbase_pt_BR.qm of Qt's translations folder, Debian
// package qt6-translations-l10n), so standard buttons read "Sim", "Não", "Cancelar". Returns the
// translator, owned by the application, or null when the file is not installed (the buttons then
// stay in English).
QTranslator* installQtTranslation();

// Modal Qt boxes, owned by `parent` when given (the window).
class QtDialogs final : public IDialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    // Without a window to show the log and the alerts (an unattended run with a display), they
    // go to `text` instead: the headless dialogs' log on standard output, alerts on standard error.
    void setTextOutput(IDialogs* text) { text_ = text; }

    void message(const QString& text, Icon icon = Icon::None, const QString& title = QString()) override;
    bool confirm(const QString& text, const QString& title) override;
    std::optional<QString> input(const QString& prompt, const QString& title) override;
    void trace(const QString& line) override;
    void alert(const QString& text, Icon icon = Icon::Critical) override;
    bool headless() const override { return false; }

private:
    QWidget* parent_;
    IDialogs* text_ = nullptr;
};
