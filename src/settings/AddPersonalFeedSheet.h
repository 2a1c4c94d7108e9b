#pragma once

#include "personal/PersonalFeedStore.h"

#include <QDialog>
#include <QString>

class OutcomeLine;
class PillButton;
class QLineEdit;
class QPushButton;
class QToolButton;

// The modal sheet in which the user pastes the address of a feed to follow
// privately. Checks the address locally, hands it to the personal-feed
// store and shows the store's answer as one line; it stays open after a
// success so that several feeds can be added in a row.
class AddPersonalFeedSheet : public QDialog {
    Q_OBJECT
public:
    struct SubmitState {
        enum class Kind { Done, Failed, Idle, Checking };
        Kind kind = Kind::Idle;
        QString text;  // Done: the success line; Failed: why
        friend bool operator==(const SubmitState&, const SubmitState&) = default;
    };

    // `store` defaults to PersonalFeedStore::shared().
    explicit AddPersonalFeedSheet(QWidget* parent = nullptr, PersonalFeedStore* store = nullptr);

    const SubmitState& state() const { return m_state; }
    // Not checking, and the store would accept the address as typed.
    bool canSubmit() const;
    // Starts one submission; does nothing unless canSubmit().
    void submit();

    // The line the user reads for an answer of the store.
    static SubmitState outcome(const PersonalFeedStore::AddResult& result);

    QLineEdit* addressField() const { return m_field; }
    PillButton* submitButton() const { return m_submit; }
    QPushButton* closeButton() const { return m_close; }
    QToolButton* headerCloseButton() const { return m_headerClose; }
    OutcomeLine* outcomeLine() const { return m_outcome; }

    QSize sizeHint() const override;

Q_SIGNALS:
    void stateChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    class OutcomeArea;
    static QCoro::Task<void> awaitAnswer(QPointer<AddPersonalFeedSheet> self,
                                         QCoro::Task<PersonalFeedStore::AddResult> answer);
    void setState(SubmitState state);
    void refresh();

    PersonalFeedStore& m_store;
    SubmitState m_state;
    QLineEdit* m_field;
    OutcomeLine* m_outcome;
    OutcomeArea* m_outcomeArea;
    QToolButton* m_headerClose;
    QPushButton* m_close;
    PillButton* m_submit;
};

// The sheet's outcome: a symbol and a text, green for a success and orange
// for a failure.
class OutcomeLine : public QWidget {
    Q_OBJECT
public:
    explicit OutcomeLine(QWidget* parent = nullptr);
    void showOutcome(const QString& text, bool success);
    QString text() const;
    bool isSuccess() const { return m_success; }

private:
    class Symbol;
    Symbol* m_symbol;
    class ParagraphLabel* m_text;
    bool m_success = false;
};
