#pragma once

#include "markets/MarketModels.h"
#include "markets/ProviderRecords.h"

#include <QByteArray>
#include <QUrl>
#include <optional>
#include <stop_token>

#include <qcoro/qcorotask.h>

class QNetworkAccessManager;

// One symbol to ask Finnhub for: shown as `symbol`/`name`/`kind`, sent as `finnhub`.
struct FinnhubRow {
    QString symbol;
    QString name;
    QString kind;
    QString finnhub;
};

// What one Finnhub quote request came to.
struct FinnhubOutcome {
    enum class Kind { Quote, Failed, NotOnPlan, Rejected };

    Kind kind = Kind::Failed;
    MarketQuote quote;     // Quote: converted, `ok` may be false
    QString failure;       // Failed: a text for the user
    bool rateLimited = false;  // Failed because of HTTP 429: stop asking until the next poll
};

// True when a Finnhub error body says the key's plan does not cover the
// symbol: a JSON object whose "error" text contains "have access".
bool isNotOnPlanError(const QByteArray& body);
// The non-empty "name" of a "/api/v1/stock/profile2" answer, else nothing.
std::optional<QString> companyNameFromProfile(const QByteArray& body);

// Finnhub's REST service under the user's own key. The key travels only in
// the "X-Finnhub-Token" header; addresses carry no secret.
class FinnhubClient {
public:
    FinnhubClient(QNetworkAccessManager* manager, QUrl base) : m_manager(manager), m_base(std::move(base)) {}

    // "/api/v1/quote" for the row.
    QCoro::Task<FinnhubOutcome> quote(FinnhubRow row, QString key, std::stop_token stop) const;
    // "/api/v1/stock/profile2": the non-empty "name" of a 200 answer, else nothing.
    QCoro::Task<std::optional<QString>> companyName(QString symbol, QString key, std::stop_token stop) const;
    // "/api/v1/search": the decoded results of a 200 answer, else an error.
    QCoro::Task<Result<FinnhubSearch>> search(QString query, QString key, std::stop_token stop) const;

    static QString rateLimitText();
    // The placeholder that stands for a row whose request failed.
    static MarketQuote placeholder(const FinnhubRow& row);

private:
    QNetworkAccessManager* m_manager;
    QUrl m_base;
};
