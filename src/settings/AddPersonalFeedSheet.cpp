#include "settings/AddPersonalFeedSheet.h"

#include "api/Color.h"
#include "api/Palette.h"
#include "platform/storage/Defaults.h"
#include "widgets/ParagraphLabel.h"
#include "settings/FocusRing.h"
#include "settings/PillButton.h"
#include "settings/SettingsLook.h"
#include "ticker/TickerSymbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
constexpr int kSheetWidth = 460;
constexpr int kPadding = 20;
using Kind = PersonalFeedStore::AddResult::Kind;
} // namespace

// The outcome line, as tall as all its lines at the sheet's width; only a
// sheet that would reach past the screen leaves it less, and it scrolls.
class AddPersonalFeedSheet::OutcomeArea : public QScrollArea {
public:
    OutcomeArea(OutcomeLine* line, int width, QWidget* parent) : QScrollArea(parent), m_width(width)
    {
        setFrameShape(QFrame::NoFrame);
        setFocusPolicy(Qt::NoFocus);  // a line to read: the keyboard goes from the field to the buttons
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setWidget(line);
        // The sheet's colour shows through.
        viewport()->setAutoFillBackground(false);
        line->setAutoFillBackground(false);
    }

    QSize sizeHint() const override { return {m_width, widget()->heightForWidth(m_width)}; }
    QSize minimumSizeHint() const override
    {
        return {0, std::min(sizeHint().height(), 3 * fontMetrics().lineSpacing())};
    }

    // Gives the line its height at the width it has: a scroll bar beside
    // it only when it is cut.
    void fit()
    {
        setVerticalScrollBarPolicy(height() < sizeHint().height() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
        const int width = viewport()->width();
        widget()->resize(width, widget()->heightForWidth(width));
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QScrollArea::resizeEvent(event);
        fit();
    }

private:
    int m_width;
};

// A check in a filled circle, or an exclamation mark in a filled triangle,
// drawn in the line's colour with the mark cut out.
class OutcomeLine::Symbol : public QWidget {
public:
    explicit Symbol(QWidget* parent) : QWidget(parent) { setFixedSize(13, 13); }
    void set(bool success, QColor color)
    {
        m_success = success;
        m_color = std::move(color);
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath shape;
        QPainterPath mark;
        if (m_success) {
            shape.addEllipse(box);
            mark.moveTo(box.left() + box.width() * 0.28, box.top() + box.height() * 0.52);
            mark.lineTo(box.left() + box.width() * 0.44, box.top() + box.height() * 0.68);
            mark.lineTo(box.left() + box.width() * 0.72, box.top() + box.height() * 0.34);
        } else {
            shape.moveTo(box.center().x(), box.top());
            shape.lineTo(box.bottomRight());
            shape.lineTo(box.bottomLeft());
            shape.closeSubpath();
            mark.moveTo(box.center().x(), box.top() + box.height() * 0.35);
            mark.lineTo(box.center().x(), box.top() + box.height() * 0.65);
            mark.moveTo(box.center().x(), box.top() + box.height() * 0.82);
            mark.lineTo(box.center().x(), box.top() + box.height() * 0.83);
        }
        QPainterPathStroker stroker;
        stroker.setWidth(1.6);
        stroker.setCapStyle(Qt::RoundCap);
        stroker.setJoinStyle(Qt::RoundJoin);
        painter.fillPath(shape.subtracted(stroker.createStroke(mark)), m_color);
    }

private:
    bool m_success = false;
    QColor m_color;
};

OutcomeLine::OutcomeLine(QWidget* parent)
    : QWidget(parent), m_symbol(new Symbol(this)),
      m_text(SettingsLook::paragraphLabel(QString(), SettingsLook::font(11, QFont::Medium), Qt::white, this))
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(m_symbol, 0, Qt::AlignTop);
    // A sentence of ours around the feed's title or the site's answer: it
    // reads in the sheet's direction, and a word too long for the sheet
    // breaks inside it.
    m_text->setWordWrap(true);
    m_text->setDirection(ParagraphLabel::Direction::OfWidget);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);  // its first line beside the symbol
    layout->addWidget(m_text, 1);
}

void OutcomeLine::showOutcome(const QString& text, bool success)
{
    m_success = success;
    const QColor color = success ? Color::okGreen() : Palette::orange();
    m_symbol->set(success, color);
    m_text->setText(text);
    SettingsLook::setTextColor(m_text, color);
    QWidget::show();
}

QString OutcomeLine::text() const
{
    return m_text->text();
}

AddPersonalFeedSheet::AddPersonalFeedSheet(QWidget* parent, PersonalFeedStore* store)
    : QDialog(parent), m_store(store ? *store : PersonalFeedStore::shared())
{
    setWindowTitle(QStringLiteral("Add a Feed"));
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setFixedWidth(kSheetWidth);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kPadding, kPadding, kPadding, kPadding);
    layout->setSpacing(16);

    auto* header = new QHBoxLayout;
    header->addWidget(SettingsLook::label(QStringLiteral("ADD A FEED"), SettingsLook::font(13, QFont::Bold, true),
                                          Color::accentBlue()));
    header->addStretch(1);
    m_headerClose = new QToolButton(this);
    m_headerClose->setAutoRaise(true);
    m_headerClose->setIcon(
        QIcon(TickerSymbols::pixmap(TickerSymbols::xmark, 11, Color::mutedText(), devicePixelRatioF())));
    m_headerClose->setIconSize(QSize(11, 11));
    m_headerClose->setAccessibleName(QStringLiteral("Close"));
    m_headerClose->setCursor(Qt::PointingHandCursor);
    FocusRing::attach(m_headerClose, 3);  // raised only under the pointer: no focus of its own
    connect(m_headerClose, &QToolButton::clicked, this, &QDialog::reject);
    header->addWidget(m_headerClose);
    layout->addLayout(header);

    layout->addWidget(SettingsLook::label(QStringLiteral("Your feed, on your ticker."),
                                          SettingsLook::font(16, QFont::Bold), Qt::white));

    auto* address = new QVBoxLayout;
    address->setSpacing(6);
    address->addWidget(SettingsLook::label(QStringLiteral("RSS OR ATOM URL"), SettingsLook::font(10, QFont::Bold, true),
                                           Color::mutedText()));
    m_field = new QLineEdit(this);
    m_field->setPlaceholderText(QStringLiteral("https://example.com/feed.xml"));
    m_field->setAccessibleName(QStringLiteral("RSS OR ATOM URL"));
    m_field->setFrame(false);
    m_field->setTextMargins(8, 8, 8, 8);
    m_field->setStyleSheet(QStringLiteral("QLineEdit { background: rgba(255, 255, 255, 18); border: none;"
                                          " border-radius: 4px; color: white; }"));
    FocusRing::attach(m_field, 4, FocusRing::When::AnyFocus);  // the field has no frame to light up
    address->addWidget(m_field);
    layout->addLayout(address);

    auto* explanation = SettingsLook::label(
        QStringLiteral("Fetched by this computer, shown only here, never sent to Tidewire. Up to %1 feeds, "
                       "%2 newest items each, refreshed every 15 minutes.")
            .arg(PersonalFeedStore::kMaxFeeds)
            .arg(PersonalFeedStore::kMaxItemsPerFeed),
        SettingsLook::font(11), Color::mutedText(), this);
    explanation->setWordWrap(true);
    layout->addWidget(explanation);

    m_outcome = new OutcomeLine;
    m_outcomeArea = new OutcomeArea(m_outcome, kSheetWidth - 2 * kPadding, this);
    m_outcomeArea->hide();
    layout->addWidget(m_outcomeArea);

    auto* footer = new QHBoxLayout;
    footer->addStretch(1);
    m_close = new QPushButton(QStringLiteral("CLOSE"), this);
    m_close->setFlat(true);
    m_close->setFont(SettingsLook::font(11, QFont::Bold, true));
    SettingsLook::setTextColor(m_close, Color::mutedText());
    m_close->setCursor(Qt::PointingHandCursor);
    FocusRing::attach(m_close);  // a flat button draws no focus frame
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    footer->addWidget(m_close);
    m_submit = new PillButton(QStringLiteral("ADD"), 11, QSize(16, 8), this);
    connect(m_submit, &PillButton::clicked, this, &AddPersonalFeedSheet::submit);
    footer->addWidget(m_submit);
    layout->addLayout(footer);

    // Return belongs to the field: it submits when it may and does nothing
    // otherwise, so no button may take it as the dialog's default.
    m_close->setAutoDefault(false);
    connect(m_field, &QLineEdit::returnPressed, this, [this] {
        if (canSubmit())
            submit();
    });
    connect(m_field, &QLineEdit::textChanged, this, &AddPersonalFeedSheet::refresh);
    refresh();
}

QSize AddPersonalFeedSheet::sizeHint() const
{
    // Its fixed width: a window is sized to the height its layout takes at
    // the width its hint names, and the texts that wrap take more lines at
    // the sheet's width than at the width they would rather have.
    return {kSheetWidth, QDialog::sizeHint().height()};
}

bool AddPersonalFeedSheet::canSubmit() const
{
    return m_state.kind != SubmitState::Kind::Checking && PersonalFeedStore::normalizedURL(m_field->text());
}

void AddPersonalFeedSheet::submit()
{
    if (!canSubmit())
        return;
    const QString text = m_field->text();
    setState({SubmitState::Kind::Checking, {}});
    awaitAnswer(this, m_store.add(text));
}

QCoro::Task<void> AddPersonalFeedSheet::awaitAnswer(QPointer<AddPersonalFeedSheet> self,
                                                    QCoro::Task<PersonalFeedStore::AddResult> answer)
{
    const PersonalFeedStore::AddResult result = co_await std::move(answer);
    // A sheet closed meanwhile has nothing left to show; the store kept the feed.
    if (!self)
        co_return;
    if (result.kind == Kind::Added)
        self->m_field->clear();
    self->setState(outcome(result));
}

AddPersonalFeedSheet::SubmitState AddPersonalFeedSheet::outcome(const PersonalFeedStore::AddResult& result)
{
    using State = SubmitState::Kind;
    switch (result.kind) {
    case Kind::Added:
        // Listed for this run, but not in the settings file: that is no success.
        if (!result.notKept.isEmpty())
            return {State::Failed, QStringLiteral("\u201C%1\u201D couldn't be kept. %2 It's on your ticker only until "
                                                  "Tidewire quits.")
                                       .arg(result.title, result.notKept)};
        // One substitution pass: markers inside the feed's title stay as written.
        return {State::Done, QStringLiteral("\u201C%1\u201D is on your ticker now, %2 item%3.")
                                 .arg(result.title, QString::number(result.itemCount),
                                      result.itemCount == 1 ? QString() : QStringLiteral("s"))};
    case Kind::Failed:
        return {State::Failed, result.message};
    case Kind::InvalidURL:
        return {State::Failed, QStringLiteral("That doesn't look like a web address.")};
    case Kind::Duplicate:
        return {State::Failed, QStringLiteral("That feed is already in your list.")};
    case Kind::Full:
        return {State::Failed, QStringLiteral("You're at %1 feeds. Remove one to add another.")
                                   .arg(PersonalFeedStore::kMaxFeeds)};
    case Kind::NotAFeed:
        return {State::Failed,
                QStringLiteral("That page isn't an RSS or Atom feed. Try the site's /feed or /rss URL.")};
    case Kind::NoItems:
        return {State::Failed,
                QStringLiteral("It's a feed, but it has no items yet. Try again once it has published something.")};
    }
    return {State::Failed, result.message};
}

void AddPersonalFeedSheet::setState(SubmitState state)
{
    if (state == m_state)
        return;
    m_state = std::move(state);
    switch (m_state.kind) {
    case SubmitState::Kind::Done:
        m_outcome->showOutcome(m_state.text, true);
        break;
    case SubmitState::Kind::Failed:
        m_outcome->showOutcome(m_state.text, false);
        break;
    case SubmitState::Kind::Idle:
    case SubmitState::Kind::Checking:
        break;
    }
    m_outcomeArea->setVisible(m_state.kind == SubmitState::Kind::Done || m_state.kind == SubmitState::Kind::Failed);
    refresh();
    // The outcome line comes and goes: the sheet takes the height its lines
    // need at its width (see sizeHint()), within the screen.
    adjustSize();
    layout()->activate();
    m_outcomeArea->fit();
    Q_EMIT stateChanged();
}

void AddPersonalFeedSheet::refresh()
{
    const bool checking = m_state.kind == SubmitState::Kind::Checking;
    m_submit->setBusy(checking);
    m_submit->setLabel(checking ? QStringLiteral("CHECKING\u2026") : QStringLiteral("ADD"));
    m_submit->setEnabled(canSubmit());
}

void AddPersonalFeedSheet::paintEvent(QPaintEvent*)
{
    // The strip's theme, read at each paint.
    const QString theme = Defaults::standard().stringValue(QStringLiteral("themeBackground"), QStringLiteral("Black"));
    QPainter painter(this);
    painter.fillRect(rect(), themeBackgroundColor(theme));
}

void AddPersonalFeedSheet::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_field->setFocus(Qt::OtherFocusReason);
}
