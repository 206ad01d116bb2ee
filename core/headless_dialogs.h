#pragma once
// The program's dialogs without a display: a scheduled run on a server must never wait for a
// click, so every box becomes a line of text.
#include "core/dialogs.h"

#include <cstdio>

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
