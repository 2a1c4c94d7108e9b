#pragma once

#include <QString>

// The desktop clipboard (plain text only).
class Clipboard {
public:
    virtual ~Clipboard() = default;
    virtual void setText(const QString& text) = 0;
    virtual QString text() const = 0;

    static Clipboard& system();           // QClipboard, or the installed one
    static void setSystem(Clipboard* clipboard);  // test hook; nullptr restores
};

class FakeClipboard final : public Clipboard {
public:
    void setText(const QString& text) override { m_text = text; ++writes; }
    QString text() const override { return m_text; }
    int writes = 0;

private:
    QString m_text;
};
