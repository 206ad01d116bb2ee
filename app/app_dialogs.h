#pragma once
// The two implementations of the program's dialogs: Qt's modal boxes when there is a display,
// standard error when there is none (a scheduled run on a server must never wait for a click).
#include "app/dialogs.h"

#include <cstdio>

class QWidget;

// The title of boxes that have none of their own.
inline constexpr const char* kApplicationTitle = "pedidosftp";

// Modal Qt boxes, owned by `parent` when given (the window).
class QtDialogs final : public IDialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(const QString& text, Icon icon = Icon::None, const QString& title = QString()) override;
    bool confirm(const QString& text, const QString& title) override;
    std::optional<QString> input(const QString& prompt, const QString& title) override;
    void trace(const QString& line) override;
    bool headless() const override { return false; }
    void markFailure() override { failed_ = true; }
    bool failureReported() const override { return failed_; }

private:
    QWidget* parent_;
    bool failed_ = false;
};

// No display: every box and trace line becomes one UTF-8 line on standard error (or the
// stream given, for tests). Nothing waits: a confirmation is answered No, an input box gets
// no answer.
class HeadlessDialogs final : public IDialogs {
public:
    explicit HeadlessDialogs(std::FILE* out = stderr) : out_(out) {}

    void message(const QString& text, Icon icon = Icon::None, const QString& title = QString()) override;
    bool confirm(const QString& text, const QString& title) override;
    std::optional<QString> input(const QString& prompt, const QString& title) override;
    void trace(const QString& line) override;
    bool headless() const override { return true; }
    void markFailure() override { failed_ = true; }
    bool failureReported() const override { return failed_; }

    // The line a box becomes: "[MENSAGEM] " / "[ERRO] " / "[AVISO] " ... + title + text, with
    // the text's own line breaks turned into " | " so one box is one line.
    static QString boxLine(const QString& kind, const QString& text, const QString& title);

private:
    void writeLine(const QString& line);

    std::FILE* out_;
    bool failed_ = false;
};
