#pragma once
// Dialogs double: records every box and answers confirmations and input boxes from a script.
#include "core/dialogs.h"

#include <QList>
#include <QStringList>

class FakeDialogs : public IDialogs {
public:
    struct Box {
        QString text;
        Icon icon;
        QString title;
    };
    QList<Box> messages;
    QStringList confirmations;      // texts asked
    QStringList inputs;             // prompts asked
    QStringList traces;
    QStringList alerts;
    bool confirmAnswer = false;
    std::optional<QString> inputAnswer;
    bool failed = false;

    void message(const QString& text, Icon icon, const QString& title) override
    {
        messages.append({text, icon, title});
        failed = true;
    }
    bool confirm(const QString& text, const QString&) override
    {
        confirmations << text;
        return confirmAnswer;
    }
    std::optional<QString> input(const QString& prompt, const QString&) override
    {
        inputs << prompt;
        return inputAnswer;
    }
    void trace(const QString& line) override { traces << line; }
    void alert(const QString& text, Icon icon) override
    {
        alerts << text;
        if (icon == Icon::Critical)
            failed = true;
    }
    bool headless() const override { return false; }
    void markFailure() override { failed = true; }
    bool failureReported() const override { return failed; }
};
