#include "settings/MarketsTab.h"

#include "api/Color.h"
#include "platform/storage/Defaults.h"
#include "platform/session/UrlOpener.h"
#include "settings/ConfigRow.h"
#include "settings/ConfigSection.h"
#include "settings/FocusRing.h"
#include "settings/SettingsKit.h"
#include "settings/SettingsLook.h"
#include "settings/WatchlistEditor.h"
#include "ticker/StripConfig.h"
#include "ticker/StripServices.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace SettingsKit;

namespace {

const QColor kProblem(0xF8, 0x71, 0x71);

} // namespace

MarketsTab::MarketsTab(FeedStore& store, QWidget* parent, MarketsStore* markets, Defaults* defaults)
    : QWidget(parent),
      m_markets(markets ? *markets : MarketsStore::shared()),
      m_defaults(defaults ? *defaults : Defaults::standard())
{
    Q_UNUSED(store);
    QVBoxLayout* page = makePage(this, Page::Editor);

    auto* key = new ConfigSection(QStringLiteral("FINNHUB KEY"), this);
    m_keyField = new QLineEdit(this);
    m_keyField->setEchoMode(QLineEdit::Password);
    m_keyField->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    m_keyField->setMinimumWidth(260);
    m_saveKey = button(QStringLiteral("Save"), this);
    m_removeKey = button(QStringLiteral("Remove"), this);
    key->addRow(new ConfigRow(QStringLiteral("API key"), line(this, {m_keyField, m_saveKey, m_removeKey})));
    m_keyStatus = textLabel(QString(), this, Color::mutedText(), true);
    m_keyStatus->setMinimumWidth(300);
    key->addRow(new ConfigRow(QStringLiteral("Status"), m_keyStatus));
    m_register = button(QStringLiteral("Get a free key at finnhub.io"), this);
    m_register->setFlat(true);
    m_register->setCursor(Qt::PointingHandCursor);
    QPalette linkPalette = m_register->palette();
    linkPalette.setColor(QPalette::ButtonText, Color::accentBlue());
    m_register->setPalette(linkPalette);
    FocusRing::attach(m_register);  // a flat button draws no focus frame
    key->addRow(new ConfigRow(QStringLiteral("No key yet?"), m_register));
    page->addWidget(key);
    page->addWidget(textLabel(QStringLiteral("Stocks and ETFs are priced by Finnhub with your own key, kept in your "
                                            "keyring. Coins come from CoinGecko and need no key."),
                             this, Color::mutedText(), true));

    m_watchlist = new WatchlistEditor(m_markets, this);
    page->addWidget(m_watchlist);

    auto* strip = new ConfigSection(QStringLiteral("SECOND TICKER"), this);
    m_secondTicker = button(QStringLiteral("Show on second ticker"), this);
    m_secondTickerState = textLabel(QString(), this, Color::mutedText());
    strip->addRow(new ConfigRow(QStringLiteral("Market quotes"), line(this, {m_secondTicker, m_secondTickerState})));
    page->addWidget(strip);
    page->addStretch(1);

    connect(m_saveKey, &QPushButton::clicked, this, &MarketsTab::saveKey);
    connect(m_keyField, &QLineEdit::returnPressed, this, &MarketsTab::saveKey);
    connect(m_keyField, &QLineEdit::textChanged, this, &MarketsTab::showKey);
    connect(m_removeKey, &QPushButton::clicked, this, [this] {
        m_unsavedKey.clear();
        m_markets.setFinnhubKey(QString());
        showKey();
    });
    connect(&m_markets, &MarketsStore::keyWriteFinished, this, &MarketsTab::keySaved);
    connect(m_register, &QPushButton::clicked, this,
            [] { UrlOpener::system().open(MarketsStore::finnhubRegisterURL()); });
    connect(&m_markets, &MarketsStore::keyStatusChanged, this, &MarketsTab::showKey);
    connect(&m_markets, &MarketsStore::hasFinnhubKeyChanged, this, &MarketsTab::showKey);
    connect(m_secondTicker, &QPushButton::clicked, this, [this] { showOnSecondTicker(marketsMix); });
    connect(&m_defaults, &Defaults::changed, this, [this](const QString& changed) {
        if (changed == StripConfig::stripsKey || changed == StripConfig::enabledKey
            || changed == StripConfig::legacyMixesKey)
            showSecondTicker();
    });

    showKey();
    showSecondTicker();
}

QString MarketsTab::keyStatusText(const MarketsStore::KeyStatus& status)
{
    using Kind = MarketsStore::KeyStatus::Kind;
    switch (status.kind) {
    case Kind::Error:
    case Kind::Waiting:
        return status.message;
    case Kind::None:
        return QStringLiteral("No key stored");
    case Kind::Checking:
        return QStringLiteral("Checking the key…");
    case Kind::Ok:
        return QStringLiteral("Key accepted");
    case Kind::Rejected:
        return QStringLiteral("Finnhub rejected this key");
    }
    return {};
}

void MarketsTab::saveKey()
{
    const QString typed = m_keyField->text();
    if (typed.trimmed().isEmpty())
        return;
    // The field lets go of the key at once: it is kept only until the
    // keyring has it, so that a save that fails need not be typed again.
    m_unsavedKey = typed;
    m_keyField->clear();
    m_markets.setFinnhubKey(typed);
    showKey();
}

void MarketsTab::keySaved(bool written)
{
    if (m_unsavedKey.isEmpty())
        return;
    if (written) {
        // Taken back after the keyring answered late: the field lets go again.
        if (m_keyField->text() == m_unsavedKey)
            m_keyField->clear();
        m_unsavedKey.clear();
    } else if (m_keyField->text().isEmpty()) {
        // Back in the field (still masked) to save again; what the user has
        // typed since stays.
        m_keyField->setText(m_unsavedKey);
    }
}

void MarketsTab::showKey()
{
    using Kind = MarketsStore::KeyStatus::Kind;
    const MarketsStore::KeyStatus& status = m_markets.keyStatus();
    m_keyStatus->setText(keyStatusText(status));
    SettingsLook::setTextColor(m_keyStatus, status.kind == Kind::Ok                                   ? Color::okGreen()
                              : status.kind == Kind::Error || status.kind == Kind::Rejected ? kProblem
                                                                                            : Color::mutedText());
    const bool stored = m_markets.hasFinnhubKey();
    m_keyField->setPlaceholderText(stored ? QStringLiteral("A key is stored; paste another to replace it")
                                          : QStringLiteral("Paste your Finnhub key"));
    m_saveKey->setEnabled(!m_keyField->text().trimmed().isEmpty());
    m_removeKey->setEnabled(stored);
}

void MarketsTab::showOnSecondTicker(const QString& mix)
{
    QList<StripConfig> strips = StripConfig::load(m_defaults);
    strips.first().mix = mix;
    StripConfig::save(strips, m_defaults);
    m_defaults.setAndSave(StripConfig::enabledKey, true);
    StripServices::installed().reposition();
}

void MarketsTab::showSecondTicker()
{
    const bool enabled = m_defaults.boolValue(StripConfig::enabledKey, false);
    const bool markets = StripConfig::load(m_defaults).first().mix == marketsMix;
    m_secondTicker->setEnabled(!(enabled && markets));
    m_secondTickerState->setText(enabled && markets ? QStringLiteral("Shown on the second ticker")
                                 : enabled          ? QStringLiteral("The second ticker shows another mix")
                                                    : QStringLiteral("The second ticker is off"));
}
