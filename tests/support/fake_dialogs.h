#pragma once
// Dialogs double: records every box and answers confirmations and input boxes from a script.
#include "core/dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

class FakeDialogs : public IDialogs {
public:
    struct Box { QString text; Icon icon; QString title; };
    QList<Box> messages;
    QStringList confirmations, inputs, traces, alerts; // texts asked, prompts asked, log, warnings
    bool confirmAnswer = false;
    std::optional<QString> inputAnswer;
    std::function<void(const QString&)> onTrace; // hears each log line as it is written

    void message(const QString& text, Icon icon, const QString& title) override
    {
        messages.append({text, icon, title});
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
    void trace(const QString& line) override
    {
        traces << line;
        if (onTrace)
            onTrace(line);
    }
    void alert(const QString& text, Icon icon) override
    {
        (void)icon;
        alerts << text;
    }
    bool headless() const override { return false; }
};
