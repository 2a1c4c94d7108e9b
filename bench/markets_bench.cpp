// The market strip's hot paths: building its quote list, measuring and
// painting quote cells, and formatting prices.
#include "markets/MarketsStore.h"
#include "markets/MoneyFormat.h"
#include "markets/QuoteRowLayout.h"

#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

const QLocale kEnUS(QLocale::English, QLocale::UnitedStates);

MarketQuote sampleQuote(int i)
{
    MarketQuote q;
    q.symbol = QStringLiteral("SYM%1").arg(i);
    q.name = QStringLiteral("Sample Holdings %1 Inc").arg(i);
    q.kind = i % 5 == 0 ? QStringLiteral("fx") : QStringLiteral("equity");
    q.currency = QStringLiteral("USD");
    q.cadence = QuoteCadence(i % 3);
    q.price = 100.0 + i * 37.25;
    q.changePct = (i % 7) - 3.0;
    q.source = QStringLiteral("finnhub");
    q.ok = i % 11 != 0;
    return q;
}

void BM_FormatMoney(benchmark::State& state)
{
    double v = 0.5;
    for (auto _ : state) {
        benchmark::DoNotOptimize(formatMoney(v, false, kEnUS));
        v += 17.3;
    }
}
BENCHMARK(BM_FormatMoney);

void BM_StripQuotes(benchmark::State& state)
{
    QList<MarketQuote> house, own;
    QList<WatchSymbol> watchlist;
    for (int i = 0; i < state.range(0); ++i) {
        house.append(sampleQuote(i));
        if (i % 2 == 0)
            own.append(sampleQuote(i));
        if (i % 4 == 0)
            watchlist.append({QStringLiteral("SYM%1").arg(i), WatchSymbol::Kind::Stock, QString(), {}, 2.0, 50.0});
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(MarketsStore::applyHoldings(watchlist, MarketsStore::mergeQuotes(house, own)));
}
BENCHMARK(BM_StripQuotes)->Arg(20)->Arg(40);

void BM_QuoteRowLayout(benchmark::State& state)
{
    int i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(QuoteRowLayout::make(sampleQuote(i++ % 50), int(state.range(0)), kEnUS));
}
BENCHMARK(BM_QuoteRowLayout)->Arg(1)->Arg(4);

void BM_QuoteRowPaint(benchmark::State& state)
{
    const QuoteRowLayout layout = QuoteRowLayout::make(sampleQuote(3), int(state.range(0)), kEnUS);
    QImage image(layout.idealSize.toSize() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        layout.paint(painter);
    }
}
BENCHMARK(BM_QuoteRowPaint)->Arg(1)->Arg(4);

} // namespace
