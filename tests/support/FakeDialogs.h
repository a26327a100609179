#pragma once
// A dialog service for tests: records every message and answers confirmations from a queue.

#include "controls/Dialogs.h"

#include <QStringList>

#include <deque>

namespace kvt::test {

class FakeDialogs final : public DialogService {
public:
    FakeDialogs() { DialogService::setInstance(this); }
    ~FakeDialogs() override { DialogService::setInstance(nullptr); }

    void message(QWidget*, const QString& text, const QString& caption, Icon icon) override
    {
        messages << text;
        captions << caption;
        icons.push_back(icon);
    }
    bool confirm(QWidget*, const QString& text, const QString&) override
    {
        questions << text;
        if (answers.empty())
            return false;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }

    void showText(QWidget*, const QString& text, const QString& caption) override
    {
        texts << text;
        textCaptions << caption;
    }

    /// Texts of the message boxes shown, in order.
    QStringList messages;
    QStringList captions;
    std::deque<Icon> icons;
    /// Texts of the confirmations asked, in order.
    QStringList questions;
    /// Texts shown in windows of their own (reports), and their captions.
    QStringList texts;
    QStringList textCaptions;
    /// Answers for the next confirmations (an empty queue answers No).
    std::deque<bool> answers;

    void clear()
    {
        messages.clear();
        captions.clear();
        icons.clear();
        questions.clear();
        answers.clear();
        texts.clear();
        textCaptions.clear();
    }
};

} // namespace kvt::test
