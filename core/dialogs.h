#pragma once
// Message boxes, confirmation and input box of the program, behind one interface: with a
// display they are Qt's modal boxes; headless (a scheduler, a server) the boxes and what needs a
// person go to standard error, the log lines to standard output, and nothing waits for an
// answer. Tests use a double.
#include <QString>
#include <optional>

// The title of boxes that have none of their own.
inline constexpr const char* kApplicationTitle = "pedidosftp";

enum class Icon { None, Critical, Exclamation, Question, Information };

class IDialogs {
public:
    virtual ~IDialogs() = default;

    // A box with an OK button only. An empty title means the application's title.
    virtual void message(const QString& text, Icon icon = Icon::None, const QString& title = QString()) = 0;

    // Yes/No with the question icon, Yes the default. Headless: answered No.
    virtual bool confirm(const QString& text, const QString& title) = 0;

    // Input box with an empty answer field. Headless, or cancelled: no answer.
    virtual std::optional<QString> input(const QString& prompt, const QString& title) = 0;

    // A log or progress line (without line end). Headless: written to standard output;
    // with a display the window shows it and this does nothing.
    virtual void trace(const QString& line) = 0;

    // Something a person has to look at that the window shows in its log only, never in a box
    // (a command the server refused, an order booked without some of its products). Headless it
    // is a line on standard error, like a box; with a display this does nothing.
    virtual void alert(const QString& text, Icon icon = Icon::Critical)
    {
        (void)text;
        (void)icon;
    }

    virtual bool headless() const = 0;
};
