#pragma once
// The program's dialogs without a display: a scheduled run on a server must never wait for a
// click, so every box becomes a line of text.
#include "core/dialogs.h"

#include <cstdio>

// No display: every box, alert and trace line becomes one UTF-8 line. Log and progress lines
// go to standard output; boxes and alerts, what a person must read, to standard error (a
// scheduler mails or records that stream). Tests pass streams of their own. Nothing waits: a
// confirmation is answered No, an input box gets no answer.
class HeadlessDialogs final : public IDialogs {
public:
    explicit HeadlessDialogs(std::FILE* out = stdout, std::FILE* err = stderr) : out_(out), err_(err) {}

    void message(const QString& text, Icon icon = Icon::None, const QString& title = QString()) override;
    bool confirm(const QString& text, const QString& title) override;
    std::optional<QString> input(const QString& prompt, const QString& title) override;
    void trace(const QString& line) override;
    void alert(const QString& text, Icon icon = Icon::Critical) override;
    bool headless() const override { return true; }

    // The line a box becomes: "[MENSAGEM] " / "[ERRO] " / "[AVISO] " ... + title + text, with
    // the text's own line breaks turned into " | " so one box is one line.
    static QString boxLine(const QString& kind, const QString& text, const QString& title);

private:
    static void writeLine(std::FILE* stream, const QString& line);

    std::FILE* out_;
    std::FILE* err_;
};
